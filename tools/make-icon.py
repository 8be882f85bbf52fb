#!/usr/bin/env python3
"""Draws the launcher's icon: a 32x32 and a 16x16 image in one .ico file.

A dark-blue disc with a light ring and a small dot, our own design, drawn
with a little supersampling; 32-bit RGBA images (the alpha channel carries
the shape), each stored as a PNG, which icons may hold since Windows Vista
(the oldest system the launcher's manifest names): a seventh of the size of
the bitmaps. Pure Python.

Usage: make-icon.py OUTPUT.ico
"""
import math
import struct
import sys
import zlib

BLUE = (0x64, 0x28, 0x00)    # B, G, R: the splash dot's dark blue, lighter
RING = (0xF0, 0xD8, 0xB0)


def coverage(px, py, size, inside):
    """Fraction of 4x4 subsamples of a pixel for which inside(x, y) holds."""
    n = 0
    for sy in range(4):
        for sx in range(4):
            x = (px + (sx + 0.5) / 4) / size * 2 - 1
            y = (py + (sy + 0.5) / 4) / size * 2 - 1
            n += inside(x, y)
    return n / 16


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def image(size):
    rows = []
    for py in range(size):
        row = b"\0"                         # filter type: none
        for px in range(size):
            disc = coverage(px, py, size, lambda x, y: math.hypot(x, y) <= 0.95)
            ring = coverage(px, py, size, lambda x, y: 0.55 <= math.hypot(x, y) <= 0.72)
            dot = coverage(px, py, size, lambda x, y: math.hypot(x - 0.0, y + 0.63) <= 0.16)
            light = max(ring, dot)
            b, g, r = (round(c1 * (1 - light) + c2 * light) for c1, c2 in zip(BLUE, RING))
            row += bytes((r, g, b, round(255 * disc)))
        rows.append(row)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)   # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + png_chunk(b"IEND", b""))


def main(argv):
    if len(argv) != 1:
        print("usage: make-icon.py OUTPUT.ico", file=sys.stderr)
        return 1
    images = [image(32), image(16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(argv[0], "wb") as f:
        f.write(out + b"".join(images))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
