#!/usr/bin/env python3
"""Draws the demo splash picture: an 800x200 RGBA PNG of our own design.

A rounded card with a soft blue gradient, a range of three stylised hills
and a horizon line; everything outside the card is transparent. Pure
Python (zlib + struct) so the build needs nothing beyond python3.

Usage: make-splash.py OUTPUT.png
"""
import math
import struct
import sys
import zlib

W, H = 800, 200
RADIUS = 28


def inside_card(x, y):
    """Rounded-rectangle coverage in [0, 1] with a one-pixel soft edge."""
    cx = min(max(x, RADIUS), W - 1 - RADIUS)
    cy = min(max(y, RADIUS), H - 1 - RADIUS)
    d = math.hypot(x - cx, y - cy)
    return max(0.0, min(1.0, RADIUS + 0.5 - d))


def hill(x, peak_x, peak_y, half_width):
    """Height (y) of a smooth hill at column x, or None outside it."""
    t = (x - peak_x) / half_width
    if abs(t) >= 1.0:
        return None
    return peak_y + (H - peak_y) * (1 - math.cos(t * math.pi / 2) ** 2)


HILLS = [  # peak x, peak y, half width, colour
    (230, 70, 260, (33, 64, 122)),
    (520, 95, 300, (48, 92, 160)),
    (690, 120, 220, (76, 128, 196)),
]


def pixel(x, y):
    a = inside_card(x, y)
    if a <= 0:
        return (0, 0, 0, 0)
    # Sky: light blue at the top fading to near-white at the horizon.
    t = y / (H - 1)
    r, g, b = (int(214 + 36 * t), int(230 + 22 * t), 255)
    if 150 <= y <= 151:  # horizon line, behind the hills
        r, g, b = (20, 40, 90)
    for px, py, hw, col in HILLS:
        top = hill(x, px, py, hw)
        if top is not None and y >= top:
            r, g, b = col
    return (r, g, b, int(255 * a))


def png(width, height, rows):
    def chunk(kind, data):
        c = struct.pack(">I", len(data)) + kind + data
        return c + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main():
    rows = [[pixel(x, y) for x in range(W)] for y in range(H)]
    with open(sys.argv[1], "wb") as f:
        f.write(png(W, H, rows))


if __name__ == "__main__":
    main()
