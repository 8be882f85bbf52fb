#!/usr/bin/env python3
"""Draws the example vendor's icon: a green note sheet with three lines, at
16, 32, 48 and 256 pixels in one .ico file, the small ones as 32-bit
bitmaps and the large one as a PNG (as icon editors store them).

Usage: make-icon.py OUTPUT.ico
"""
import struct
import sys
import zlib

SIZES = (16, 32, 48, 256)
GREEN = (0x3C, 0x8C, 0x2E)   # R, G, B
WHITE = (0xFF, 0xFF, 0xFF)


def pixel(x, y):
    """The colour and alpha at (x, y) of the unit square, y downwards."""
    if not (0.08 <= x <= 0.92 and 0.04 <= y <= 0.96):
        return (0, 0, 0, 0)
    line = 0.18 <= x <= 0.82 and any(abs(y - c) <= 0.045 for c in (0.32, 0.5, 0.68))
    return (*(WHITE if line else GREEN), 255)


def image(size):
    """Rows of RGBA pixels, top row first."""
    return [[pixel((px + 0.5) / size, (py + 0.5) / size) for px in range(size)] for py in range(size)]


def png(size):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in image(size))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bitmap(size):
    """A 32-bit device-independent bitmap as icons hold it: the header gives
    twice the height (colour rows and mask rows), rows bottom-up in BGRA,
    then an all-zero mask (the alpha channel carries the shape)."""
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    colours = b"".join(bytes((b, g, r, a)) for row in reversed(image(size)) for r, g, b, a in row)
    mask = b"\0" * (((size + 31) // 32) * 4 * size)
    return header + colours + mask


def main(argv):
    if len(argv) != 1:
        print("usage: make-icon.py OUTPUT.ico", file=sys.stderr)
        return 1
    images = [png(size) if size >= 256 else bitmap(size) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        # A size of 256 is written as 0 in the directory's byte.
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(argv[0], "wb") as f:
        f.write(out + b"".join(images))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
