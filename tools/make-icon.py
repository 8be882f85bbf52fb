#!/usr/bin/env python3
"""Draws the launcher's icon: a 32x32 and a 16x16 image in one .ico file.

A dark-blue disc with a light ring and a small dot, our own design, drawn
with a little supersampling; 32-bit BGRA bitmaps with an all-clear AND mask
(the alpha channel carries the shape). Pure Python.

Usage: make-icon.py OUTPUT.ico
"""
import math
import struct
import sys

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


def image(size):
    rows = []
    for py in range(size - 1, -1, -1):      # bitmaps are stored bottom-up
        row = b""
        for px in range(size):
            disc = coverage(px, py, size, lambda x, y: math.hypot(x, y) <= 0.95)
            ring = coverage(px, py, size, lambda x, y: 0.55 <= math.hypot(x, y) <= 0.72)
            dot = coverage(px, py, size, lambda x, y: math.hypot(x - 0.0, y + 0.63) <= 0.16)
            light = max(ring, dot)
            b, g, r = (round(c1 * (1 - light) + c2 * light) for c1, c2 in zip(BLUE, RING))
            row += bytes((b, g, r, round(255 * disc)))
        rows.append(row)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    mask_row = b"\0" * (((size + 31) // 32) * 4)
    return header + b"".join(rows) + mask_row * size


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
