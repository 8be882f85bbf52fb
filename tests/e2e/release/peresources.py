"""Reads the resources of a PE image: the version record, the manifest and
the icons, as Windows finds them. Every offset and size read from the file
is checked; a bad one raises ValueError."""
import struct

RT_ICON = 3
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def _unpack(fmt, data, offset):
    if offset < 0 or offset + struct.calcsize(fmt) > len(data):
        raise ValueError(f"{struct.calcsize(fmt)} bytes at {offset:#x} lie outside the {len(data)}-byte data")
    return struct.unpack_from(fmt, data, offset)


def resources(image):
    """Every resource of the image: {(type, name, language): bytes}, with
    numeric identifiers as ints and names as str."""
    pe = _unpack("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    sections, optional_size = _unpack("<H", image, pe + 6)[0], _unpack("<H", image, pe + 20)[0]
    optional = pe + 24
    directories = optional + (112 if _unpack("<H", image, optional)[0] == 0x20B else 96)
    rsrc_rva, rsrc_size = _unpack("<II", image, directories + 2 * 8)
    table = optional + optional_size

    def file_offset(rva, size):
        for i in range(sections):
            vsize, vaddr, raw_size, raw = _unpack("<IIII", image, table + 40 * i + 8)
            if vaddr <= rva and rva + size <= vaddr + max(vsize, raw_size) and rva - vaddr + size <= raw_size:
                return raw + rva - vaddr
        raise ValueError(f"RVA {rva:#x} (+{size}) is in no section")

    base = file_offset(rsrc_rva, rsrc_size)
    rsrc = image[base:base + rsrc_size]

    def name_of(word):
        if not word & 0x80000000:
            return word
        at = word & 0x7FFFFFFF
        count = _unpack("<H", rsrc, at)[0]
        if at + 2 + 2 * count > len(rsrc):
            raise ValueError(f"resource name at {at:#x} runs past the section")
        return rsrc[at + 2:at + 2 + 2 * count].decode("utf-16-le")

    found = {}

    def walk(at, path, depth):
        named, numbered = _unpack("<HH", rsrc, at + 12)
        for i in range(named + numbered):
            word, target = _unpack("<II", rsrc, at + 16 + 8 * i)
            key = path + (name_of(word),)
            if target & 0x80000000:
                if depth == 2:
                    raise ValueError("resource tree deeper than type, name and language")
                walk(target & 0x7FFFFFFF, key, depth + 1)
            else:
                rva, size = _unpack("<II", rsrc, target)
                offset = file_offset(rva, size)
                found[key] = image[offset:offset + size]

    walk(0, (), 0)
    return found


def one(res, kind):
    """The single resource of a type: (name, bytes)."""
    items = [(key[1], data) for key, data in res.items() if key[0] == kind]
    if len(items) != 1:
        raise ValueError(f"{len(items)} resources of type {kind}, expected one")
    return items[0]


def _version_node(data, at):
    """One node of a version record: (key, value bytes, children, end)."""
    length, value_length, kind = _unpack("<HHH", data, at)
    end = at + length
    if length < 6 or end > len(data):
        raise ValueError(f"version node at {at:#x} of {length} bytes does not fit")
    key_end = at + 6
    while _unpack("<H", data, key_end)[0] != 0:
        key_end += 2
    key = data[at + 6:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value_size = 2 * value_length if kind == 1 else value_length
    value = data[value_at:value_at + value_size]
    children = []
    child = (value_at + value_size + 3) & ~3
    while child < end:
        node = _version_node(data, child)
        children.append(node)
        child = (node[3] + 3) & ~3
    return key, value, children, end


def version_record(data):
    """The version record: ((file version), (product version), {string: text})
    with each version as four numbers."""
    key, value, children, _ = _version_node(data, 0)
    if key != "VS_VERSION_INFO" or len(value) < 52 or value[:4] != b"\xbd\x04\xef\xfe":
        raise ValueError("no VS_VERSION_INFO with a fixed file information block")
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", value, 8)

    def numbers(ms, ls):
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    strings = {}
    for name, _, tables, _ in children:
        if name == "StringFileInfo":
            for _, _, entries, _ in tables:
                for entry_key, text, _, _ in entries:
                    strings[entry_key] = text.decode("utf-16-le").rstrip("\0")
    return numbers(file_ms, file_ls), numbers(product_ms, product_ls), strings


def icon_images(res):
    """The images of the icon group: [(width, height, bytes)] in the
    group's order, each image the RT_ICON resource the group names."""
    _, group = one(res, RT_GROUP_ICON)
    reserved, kind, count = _unpack("<HHH", group, 0)
    if reserved != 0 or kind != 1:
        raise ValueError("not an icon group")
    icons = {key[1]: data for key, data in res.items() if key[0] == RT_ICON}
    images = []
    for i in range(count):
        width, height, _, _, _, _, size, ident = _unpack("<BBBBHHIH", group, 6 + 14 * i)
        if ident not in icons or len(icons[ident]) != size:
            raise ValueError(f"icon group entry #{i} names no icon of {size} bytes (id {ident})")
        images.append((width or 256, height or 256, icons[ident]))
    return images


def ico_images(data):
    """The images of an .ico file: [(width, height, bytes)]."""
    reserved, kind, count = _unpack("<HHH", data, 0)
    if reserved != 0 or kind != 1:
        raise ValueError("not an .ico file")
    images = []
    for i in range(count):
        width, height, _, _, _, _, size, offset = _unpack("<BBBBHHII", data, 6 + 16 * i)
        if offset + size > len(data):
            raise ValueError(f"image #{i} lies outside the file")
        images.append((width or 256, height or 256, data[offset:offset + size]))
    return images
