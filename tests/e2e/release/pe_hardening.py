#!/usr/bin/env python3
"""The PE header hardening of release launchers, read from the images.

For each image, by its machine type (x86 or x86-64), every item of the
expected table below must hold exactly:

  DllCharacteristics  the exact flag set: DYNAMIC_BASE, NX_COMPAT and
                      TERMINAL_SERVER_AWARE on both; HIGH_ENTROPY_VA on
                      x86-64; NO_SEH on x86
  TimeDateStamp       0 (reproducible builds carry no link time)
  CheckSum            present and correct (the loader checks it for
                      drivers and some services; signing tools keep it)
  relocations         the base-relocation directory is present and inside
                      the .reloc section, and the file header does not say
                      they were stripped (a randomised base needs them)
  sections            exactly the expected names in order: on x86 no
                      DWARF unwind section (.eh_frame), which code without
                      exceptions does not need
  SEH frames (x86)    no instruction of the image touches fs:[0], the head
                      of the thread's SEH frame list, so no frame is ever
                      registered (checked in objdump's disassembly)

Usage: pe_hardening.py [--objdump-prefix DIR] IMAGE...
Prints one line per image and check; exit code 0 when all held, 1 otherwise.
"""
import argparse
import re
import struct
import subprocess
import sys

# IMAGE_DLLCHARACTERISTICS_*
HIGH_ENTROPY_VA = 0x0020
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
NO_SEH = 0x0400
TERMINAL_SERVER_AWARE = 0x8000
FLAG_NAMES = {HIGH_ENTROPY_VA: "HIGH_ENTROPY_VA", DYNAMIC_BASE: "DYNAMIC_BASE", NX_COMPAT: "NX_COMPAT",
              NO_SEH: "NO_SEH", TERMINAL_SERVER_AWARE: "TERMINAL_SERVER_AWARE"}

IMAGE_FILE_RELOCS_STRIPPED = 0x0001
DIR_BASERELOC = 5

# The expected table, per machine type. Section names as a stripped image
# stores them (at most 8 characters: no string table to hold longer ones).
EXPECTED = {
    0x014C: {
        "arch": "x86",
        "objdump": "i686-w64-mingw32-objdump",
        "dll_characteristics": DYNAMIC_BASE | NX_COMPAT | NO_SEH | TERMINAL_SERVER_AWARE,
        "sections": [".text", ".data", ".rdata", ".mdstub", ".bss", ".idata", ".CRT", ".rsrc", ".reloc"],
        "seh_frames": True,
    },
    0x8664: {
        "arch": "x86-64",
        "objdump": "x86_64-w64-mingw32-objdump",
        "dll_characteristics": HIGH_ENTROPY_VA | DYNAMIC_BASE | NX_COMPAT | TERMINAL_SERVER_AWARE,
        "sections": [".text", ".data", ".rdata", ".mdstub", ".pdata", ".xdata", ".bss", ".idata", ".CRT", ".rsrc", ".reloc"],
        "seh_frames": False,
    },
}


class BadImage(Exception):
    pass


def flag_names(value):
    names = [name for bit, name in sorted(FLAG_NAMES.items()) if value & bit]
    rest = value & ~sum(FLAG_NAMES)
    if rest:
        names.append(f"{rest:#x}")
    return "|".join(names) or "0"


def pe_checksum(data, checksum_offset):
    """The PE image checksum: the file as 16-bit little-endian words with
    the checksum field taken as zero, summed with the carry folded back
    into 16 bits after every addition, plus the file's length."""
    buf = bytearray(data)
    buf[checksum_offset:checksum_offset + 4] = b"\0\0\0\0"
    if len(buf) % 2:
        buf.append(0)
    total = 0
    for (word,) in struct.iter_unpack("<H", buf):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def read_pe(data):
    """The header fields the checks need; every offset is checked first."""
    def need(off, size, what):
        if off < 0 or off + size > len(data):
            raise BadImage(f"{what} lies outside the file ({off:#x}+{size} > {len(data):#x})")

    need(0, 64, "DOS header")
    if data[:2] != b"MZ":
        raise BadImage("no MZ signature")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    need(pe, 24, "PE header")
    if data[pe:pe + 4] != b"PE\0\0":
        raise BadImage("no PE signature")
    machine, n_sections, timestamp, _, _, opt_size, characteristics = struct.unpack_from("<HHIIIHH", data, pe + 4)
    opt = pe + 24
    need(opt, opt_size, "optional header")
    magic = struct.unpack_from("<H", data, opt)[0]
    if magic == 0x10B:
        dll_off, ndirs_off, dirs_off = 70, 92, 96
    elif magic == 0x20B:
        dll_off, ndirs_off, dirs_off = 70, 108, 112
    else:
        raise BadImage(f"unknown optional header magic {magic:#x}")
    need(opt, dirs_off, "optional header fields")
    checksum_offset = opt + 64
    checksum = struct.unpack_from("<I", data, checksum_offset)[0]
    dll_characteristics = struct.unpack_from("<H", data, opt + dll_off)[0]
    n_dirs = struct.unpack_from("<I", data, opt + ndirs_off)[0]
    reloc_dir = (0, 0)
    if n_dirs > DIR_BASERELOC and dirs_off + 8 * (DIR_BASERELOC + 1) <= opt_size:
        reloc_dir = struct.unpack_from("<II", data, opt + dirs_off + 8 * DIR_BASERELOC)
    sections = []
    sec = opt + opt_size
    need(sec, 40 * n_sections, "section table")
    for i in range(n_sections):
        raw_name, vsize, rva = struct.unpack_from("<8sII", data, sec + 40 * i)
        sections.append((raw_name.rstrip(b"\0").decode("latin-1"), rva, vsize))
    return {
        "machine": machine, "timestamp": timestamp, "characteristics": characteristics,
        "checksum": checksum, "checksum_offset": checksum_offset, "dll_characteristics": dll_characteristics,
        "reloc_dir": reloc_dir, "sections": sections,
    }


def seh_frame_accesses(objdump, path):
    """Instructions of the disassembly that address fs:[0] (AT&T syntax:
    %fs:0x0), the head of the thread's SEH frame list."""
    p = subprocess.run([objdump, "-d", path], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
    if p.returncode != 0:
        raise BadImage(f"{objdump} -d failed: {p.stderr.decode(errors='replace').strip()}")
    return [line.strip() for line in p.stdout.decode("utf-8", "replace").splitlines()
            if re.search(r"%fs:0x0(?![0-9a-fx])", line)]


def check_image(path, objdump_prefix):
    """@returns a list of (check, ok, detail)."""
    data = open(path, "rb").read()
    hdr = read_pe(data)
    exp = EXPECTED.get(hdr["machine"])
    if not exp:
        raise BadImage(f"unexpected machine type {hdr['machine']:#x}")
    results = []

    want = exp["dll_characteristics"]
    got = hdr["dll_characteristics"]
    results.append(("DllCharacteristics", got == want,
                    f"{got:#06x} {flag_names(got)}" + ("" if got == want else f", expected {want:#06x} {flag_names(want)}")))

    results.append(("TimeDateStamp", hdr["timestamp"] == 0, f"{hdr['timestamp']:#x}"))

    computed = pe_checksum(data, hdr["checksum_offset"])
    results.append(("CheckSum", hdr["checksum"] != 0 and hdr["checksum"] == computed,
                    f"stored {hdr['checksum']:#x}, computed {computed:#x}"))

    rva, size = hdr["reloc_dir"]
    reloc_sec = [s for s in hdr["sections"] if s[0] == ".reloc"]
    inside = bool(reloc_sec) and size > 0 and reloc_sec[0][1] <= rva and rva + size <= reloc_sec[0][1] + reloc_sec[0][2]
    stripped = bool(hdr["characteristics"] & IMAGE_FILE_RELOCS_STRIPPED)
    results.append(("relocations", inside and not stripped,
                    f"directory {rva:#x}+{size:#x}" + (", inside .reloc" if inside else ", not inside a .reloc section")
                    + (", RELOCS_STRIPPED set" if stripped else "")))

    names = [s[0] for s in hdr["sections"]]
    results.append(("sections", names == exp["sections"],
                    " ".join(names) + ("" if names == exp["sections"] else f"; expected {' '.join(exp['sections'])}")))

    if exp["seh_frames"]:
        objdump = exp["objdump"] if not objdump_prefix else f"{objdump_prefix.rstrip('/')}/{exp['objdump']}"
        hits = seh_frame_accesses(objdump, path)
        results.append(("SEH frames", not hits,
                        "no access to fs:[0]" if not hits else f"{len(hits)} accesses to fs:[0], first: {hits[0]}"))
    return exp["arch"], results


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--objdump-prefix", help="folder of the mingw-w64 objdump programs (default: PATH)")
    p.add_argument("images", nargs="+")
    args = p.parse_args(argv)
    failed = 0
    for path in args.images:
        try:
            arch, results = check_image(path, args.objdump_prefix)
        except (OSError, BadImage, subprocess.TimeoutExpired) as e:
            print(f"FAIL {path}: {e}")
            failed += 1
            continue
        for check, ok, detail in results:
            print(f"{'ok  ' if ok else 'FAIL'} {path} ({arch}) {check}: {detail}")
            failed += not ok
    print(f"{'all PE hardening checks held' if not failed else f'{failed} PE hardening checks failed'}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
