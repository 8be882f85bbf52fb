#!/usr/bin/env python3
"""Writes the identity of one launcher: who it says it is.

Produces, in the output directory:
  identity.rc        the icon (every image of the .ico file), the
                     application manifest, the version record and the
                     RCDATA "IDENTITY" (language 1033)
  launcher.manifest  the manifest, from installer/stub.manifest.in
  identity.bin       what the code shows at run time (installer/identity.h),
                     resource "IDENTITY": the 8 bytes "QuorIdV1", then the
                     product title, the product name in sentences, the
                     version text and the single-instance mutex's name,
                     each UTF-8 and NUL-terminated

Usage:
  make-identity.py --output-dir DIR --manifest-template FILE --file-name NAME.exe
                   --product-name=TEXT --company-name=TEXT --copyright=TEXT
                   --version=N[.N[.N[.N]]] --version-text=TEXT --icon=FILE.ico
                   --execution-level=LEVEL --dpi-aware=ON|OFF --long-path-aware=ON|OFF
                   --mutex-name=NAME
The values are those of add_stub_installer's options of the same names
(cmake/StubInstaller.cmake, where the defaults are); every one is checked,
and a bad one stops the build with a message naming the option and the
value.
"""
import argparse
import os
import re
import sys

EXECUTION_LEVELS = ("requireAdministrator", "highestAvailable", "asInvoker")
# CMake's own spellings of a boolean.
TRUE_WORDS = ("ON", "YES", "TRUE", "Y", "1")
FALSE_WORDS = ("OFF", "NO", "FALSE", "N", "0")
# Kernel object names are at most MAX_PATH UTF-16 units long; a backslash
# only ends the namespace prefix.
MAX_MUTEX_NAME = 260
# The longest text the launcher takes into its identity, in UTF-8 bytes.
MAX_IDENTITY_TEXT = 512
IDENTITY_MAGIC = b"QuorIdV1"
MUTEX_NAMESPACES = ("Global\\", "Local\\")
# The demo's title, whose sentences ("Forces Marrowdale to get
# re-installed") name the product without the word "Installer". Any other
# title is the name in those sentences too.
NAMES_IN_SENTENCES = {"Marrowdale Installer": "Marrowdale"}
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


class IdentityError(Exception):
    pass


def refuse(option, value, why):
    raise IdentityError(f"{option} '{value}': {why}")


def check_text(option, value, required):
    if required and not value:
        refuse(option, value, "must not be empty")
    bad = next((c for c in value if ord(c) < 0x20 or ord(c) == 0x7F), None)
    if bad is not None:
        refuse(option, value, f"holds the control character U+{ord(bad):04X}")
    return value


def check_identity_text(option, value):
    """A text the launcher shows: required, and within its maximum."""
    check_text(option, value, True)
    if len(value.encode("utf-8")) > MAX_IDENTITY_TEXT:
        refuse(option, value, f"is longer than {MAX_IDENTITY_TEXT} bytes in UTF-8")
    return value


def check_version(value):
    """One to four numbers 0..65535 separated by dots: (numbers padded to
    four, the text as given)."""
    if not value:
        refuse("VERSION", value, "must not be empty; give one to four numbers 0..65535 separated by dots")
    parts = value.split(".")
    if not all(re.fullmatch(r"[0-9]+", p) for p in parts):
        refuse("VERSION", value, "must be one to four numbers 0..65535 separated by dots")
    if len(parts) > 4:
        refuse("VERSION", value, f"has {len(parts)} numbers; at most four")
    big = next((p for p in parts if int(p) > 65535), None)
    if big is not None:
        refuse("VERSION", value, f"the number {big} is larger than 65535")
    return [int(p) for p in parts] + [0] * (4 - len(parts))


def check_bool(option, value):
    if value.upper() in TRUE_WORDS:
        return True
    if value.upper() in FALSE_WORDS:
        return False
    refuse(option, value, "must be ON or OFF")


def check_mutex_name(value):
    check_identity_text("MUTEX_NAME", value)
    rest = next((value[len(ns):] for ns in MUTEX_NAMESPACES if value.startswith(ns)), value)
    if not rest:
        refuse("MUTEX_NAME", value, "names a namespace but no mutex")
    if "\\" in rest:
        refuse("MUTEX_NAME", value, "may hold a backslash only after the namespace Global or Local")
    if len(utf16_units(value)) > MAX_MUTEX_NAME:
        refuse("MUTEX_NAME", value, f"is longer than {MAX_MUTEX_NAME} characters")
    return value


def check_icon(path):
    """Refuses a file that is no .ico file with its directory and images
    within the file (the resource compiler takes every image of it)."""
    if not os.path.isfile(path):
        refuse("ICON", path, "no such file")
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 6 or data[:4] != b"\0\0\1\0":
        what = "a PNG picture; convert it to an .ico file" if data.startswith(PNG_SIGNATURE) else "no icon header"
        refuse("ICON", path, f"not an .ico file ({what})")
    count = int.from_bytes(data[4:6], "little")
    end_of_directory = 6 + 16 * count
    if count == 0 or len(data) < end_of_directory:
        refuse("ICON", path, f"not an .ico file (its directory of {count} images does not fit the file)")
    for i in range(count):
        entry = data[6 + 16 * i:6 + 16 * (i + 1)]
        size, offset = int.from_bytes(entry[8:12], "little"), int.from_bytes(entry[12:16], "little")
        image = data[offset:offset + size]
        if size == 0 or offset < end_of_directory or offset + size > len(data):
            refuse("ICON", path, f"not an .ico file (image #{i} lies outside the file)")
        if not image.startswith(PNG_SIGNATURE) and int.from_bytes(image[:4], "little") != 40:
            refuse("ICON", path, f"not an .ico file (image #{i} is neither a PNG nor a bitmap)")


def utf16_units(text):
    raw = text.encode("utf-16-le")
    return [int.from_bytes(raw[i:i + 2], "little") for i in range(0, len(raw), 2)]


def rc_string(text):
    """A wide string literal for the resource compiler: everything but plain
    ASCII as \\x escapes of UTF-16 units, four digits each."""
    return 'L"' + "".join(chr(u) if 0x20 <= u < 0x7F and chr(u) not in '"\\' else f"\\x{u:04x}"
                          for u in utf16_units(text)) + '"'


def rc_path(path):
    return '"' + os.path.abspath(path).replace("\\", "/").replace('"', '""') + '"'


def xml_text(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


def assembly_name(product, internal_name):
    """The manifest's assembly name: the product's words joined by dots
    (the names take no blanks), or the file's own name."""
    words = re.findall(r"[A-Za-z0-9]+", product) or re.findall(r"[A-Za-z0-9]+", internal_name) or ["Launcher"]
    return ".".join(words)


def windows_settings(dpi_aware, long_path_aware):
    settings = []
    if dpi_aware:
        settings.append('      <dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>')
    if long_path_aware:
        settings.append('      <longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">'
                        'true</longPathAware>')
    if not settings:
        return ""
    return ('  <application xmlns="urn:schemas-microsoft-com:asm.v3">\n    <windowsSettings>\n'
            + "\n".join(settings) + "\n    </windowsSettings>\n  </application>\n")


def manifest(template, ident):
    values = {"NAME": assembly_name(ident.product_name, ident.internal_name),
              "VERSION": ".".join(str(n) for n in ident.version),
              "DESCRIPTION": xml_text(ident.product_name),
              "EXECUTION_LEVEL": ident.execution_level,
              "WINDOWS_SETTINGS": windows_settings(ident.dpi_aware, ident.long_path_aware)}
    # The template's comments are for its readers, not for the launcher.
    text = re.sub(r"\n?[ \t]*<!--.*?-->", "", template, flags=re.S)
    return re.sub(r"@([A-Z_]+)@\n?", lambda m: values[m.group(1)], text)


def resource_script(ident, manifest_path, identity_path):
    numbers = ", ".join(str(n) for n in ident.version)
    strings = [("CompanyName", ident.company_name),
               ("FileDescription", ident.product_name),
               ("FileVersion", ".".join(str(n) for n in ident.version)),
               ("InternalName", ident.internal_name),
               ("LegalCopyright", ident.copyright),
               ("OriginalFilename", ident.file_name),
               ("ProductName", ident.product_name),
               ("ProductVersion", ident.version_text)]
    values = [f"            VALUE \"{key}\", {rc_string(value)}" for key, value in strings if value]
    return "\n".join([
        "/* Generated by tools/make-identity.py: the launcher's icon, manifest and version record. */",
        "#include <winver.h>",
        "",
        f"1 ICON {rc_path(ident.icon)}",
        "/* RT_MANIFEST (24), id 1: the manifest of a process's executable. */",
        f"1 24 {rc_path(manifest_path)}",
        "",
        "VS_VERSION_INFO VERSIONINFO",
        f"FILEVERSION {numbers}",
        f"PRODUCTVERSION {numbers}",
        "FILEFLAGSMASK VS_FFI_FILEFLAGSMASK",
        "FILEFLAGS 0",
        "FILEOS VOS_NT_WINDOWS32",
        "FILETYPE VFT_APP",
        "FILESUBTYPE VFT2_UNKNOWN",
        "BEGIN",
        "    BLOCK \"StringFileInfo\"",
        "    BEGIN",
        "        BLOCK \"040904B0\" /* English (United States), Unicode */",
        "        BEGIN",
        *values,
        "        END",
        "    END",
        "    BLOCK \"VarFileInfo\"",
        "    BEGIN",
        "        VALUE \"Translation\", 0x409, 1200",
        "    END",
        "END",
        "",
        "/* What the code shows: the title, the name in sentences, the version text, the mutex. */",
        "LANGUAGE 0x09, 0x01 /* English (United States), 1033 */",
        f"IDENTITY RCDATA {rc_path(identity_path)}",
    ]) + "\n"


def identity_blob(ident):
    """The launcher's identity resource (installer/identity.h)."""
    name = NAMES_IN_SENTENCES.get(ident.product_name, ident.product_name)
    texts = (ident.product_name, name, ident.version_text, ident.mutex_name)
    return IDENTITY_MAGIC + b"".join(t.encode("utf-8") + b"\0" for t in texts)


def write_if_changed(path, data):
    if isinstance(data, str):
        data = data.encode("utf-8")
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except OSError:
        pass
    with open(path, "wb") as f:
        f.write(data)


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    for opt in ("output-dir", "manifest-template", "file-name", "product-name", "company-name", "copyright",
                "version", "version-text", "icon", "execution-level", "dpi-aware", "long-path-aware", "mutex-name"):
        p.add_argument("--" + opt, required=True)
    return p.parse_args(argv)


def check_identity(args):
    ident = argparse.Namespace(file_name=args.file_name, icon=args.icon)
    ident.internal_name = os.path.splitext(args.file_name)[0]
    ident.product_name = check_identity_text("PRODUCT_NAME", args.product_name)
    ident.company_name = check_text("COMPANY_NAME", args.company_name, False)
    ident.copyright = check_text("COPYRIGHT", args.copyright, False)
    ident.version = check_version(args.version)
    ident.version_text = check_identity_text("VERSION_TEXT", args.version_text)
    check_icon(args.icon)
    if args.execution_level not in EXECUTION_LEVELS:
        refuse("EXECUTION_LEVEL", args.execution_level, "must be one of " + ", ".join(EXECUTION_LEVELS))
    ident.execution_level = args.execution_level
    ident.dpi_aware = check_bool("DPI_AWARE", args.dpi_aware)
    ident.long_path_aware = check_bool("LONG_PATH_AWARE", args.long_path_aware)
    ident.mutex_name = check_mutex_name(args.mutex_name)
    return ident


def main(argv):
    args = parse_args(argv)
    try:
        ident = check_identity(args)
        with open(args.manifest_template, encoding="utf-8") as f:
            template = f.read()
    except (IdentityError, OSError) as e:
        print(f"make-identity: error: {e}", file=sys.stderr)
        return 1
    out = args.output_dir
    os.makedirs(out, exist_ok=True)
    manifest_path = os.path.join(out, "launcher.manifest")
    write_if_changed(manifest_path, manifest(template, ident))
    identity_path = os.path.join(out, "identity.bin")
    write_if_changed(identity_path, identity_blob(ident))
    write_if_changed(os.path.join(out, "identity.rc"), resource_script(ident, manifest_path, identity_path))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
