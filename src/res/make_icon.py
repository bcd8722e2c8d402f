#!/usr/bin/env python3
"""Draws the program's emblem and writes it as a Windows icon.

A sand-red rounded square with a white ring and check mark: the game's
colour and "checked and repaired". Three images, 48, 32 and 16 pixels, each
32-bit BGRA with an alpha channel, drawn with 4x4 supersampling so edges are
smooth at every size. Standard library only, so it can be redrawn anywhere:

    python3 src/res/make_icon.py src/res/app.ico
"""

import math
import struct
import sys

SIZES = (48, 32, 16)
SAMPLES = 4
TOP = (0xD0, 0x5A, 0x32)     # warm sand red
BOTTOM = (0x8E, 0x2A, 0x1C)  # deep red


def coverage_rounded_square(x, y, radius):
    """1 inside a unit square (0..1) with rounded corners, else 0."""
    cx = min(max(x, radius), 1 - radius)
    cy = min(max(y, radius), 1 - radius)
    return 1.0 if (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 else 0.0


def distance_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def white_amount(x, y, size):
    """How much of the white emblem covers a point of the unit square."""
    stroke = 0.075 if size > 16 else 0.11
    ring = abs(math.hypot(x - 0.5, y - 0.5) - 0.30) <= stroke / 2
    tick = min(distance_to_segment(x, y, 0.34, 0.52, 0.45, 0.63),
               distance_to_segment(x, y, 0.45, 0.63, 0.67, 0.39)) <= stroke / 2
    return 1.0 if ring or tick else 0.0


def render(size):
    """Rows of (b, g, r, a), top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            alpha = white = 0.0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    inside = coverage_rounded_square(x, y, 0.2)
                    alpha += inside
                    white += inside * white_amount(x, y, size)
            n = SAMPLES * SAMPLES
            a = alpha / n
            w = white / alpha if alpha else 0.0
            t = py / max(size - 1, 1)
            base = [TOP[i] * (1 - t) + BOTTOM[i] * t for i in range(3)]
            r, g, b = (round(c * (1 - w) + 255 * w) for c in base)
            row.append((b, g, r, round(a * 255)))
        rows.append(row)
    return rows


def icon_image(size):
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(c for px in row for c in px) for row in reversed(rows))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)  # all visible: the alpha channel decides
    return header + pixels + mask


def main(path):
    images = [icon_image(s) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "app.ico")
