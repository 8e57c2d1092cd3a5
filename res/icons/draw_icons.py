#!/usr/bin/env python3
"""Draws the add-in's bitmaps and writes them as 24-bit BMP files into res/.

    python3 res/icons/draw_icons.py [OUTPUT_DIR]

Every icon is a list of shapes in a unit square (x to the right, y down),
painted in order and sampled 4 by 4 times per pixel, so that the same
drawing gives smooth 16- and 24-pixel icons.

  toolbar_small.bmp  64 x 16   Import, Help, spare, About, 16 x 16 each
  toolbar_large.bmp  96 x 24   the same at 24 x 24
  main_small.bmp     16 x 16   the add-in's icon
  main_large.bmp     24 x 24
"""
import math
import os
import struct
import sys

# The toolbar's button face; the host shows it as the button's own colour.
BACKGROUND = (192, 192, 192)
INK = (40, 40, 48)
BLUE = (28, 92, 190)
GREEN = (30, 140, 60)
WHITE = (255, 255, 255)
GREY = (128, 128, 128)
FACETS = [(70, 130, 200), (120, 175, 230), (40, 95, 165), (160, 205, 245)]


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring_arc(cx, cy, r, width, start, end):
    """A stroke of `width` along the circle, angles in degrees, clockwise from
    the right (y grows downwards)."""
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if abs(d - r) > width / 2:
            return False
        a = math.degrees(math.atan2(y - cy, x - cx)) % 360
        return (a - start) % 360 <= (end - start) % 360
    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def segment(ax, ay, bx, by, width):
    """A stroke with round ends."""
    def inside(x, y):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - ax - t * dx, y - ay - t * dy) <= width / 2
    return inside


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def import_icon():
    """An arrow down into an open tray."""
    return [
        (rect(0.10, 0.62, 0.18, 0.90), INK),
        (rect(0.82, 0.62, 0.90, 0.90), INK),
        (rect(0.10, 0.82, 0.90, 0.90), INK),
        (rect(0.42, 0.06, 0.58, 0.46), GREEN),
        (polygon([(0.22, 0.42), (0.78, 0.42), (0.50, 0.74)]), GREEN),
    ]


def help_icon():
    """A question mark in a blue disc."""
    return [
        (disc(0.5, 0.5, 0.47), BLUE),
        (ring_arc(0.5, 0.36, 0.17, 0.13, 180, 90), WHITE),
        (segment(0.5, 0.53, 0.5, 0.62, 0.13), WHITE),
        (disc(0.5, 0.79, 0.075), WHITE),
    ]


def spare_icon():
    """Kept for a later command: a small grey dot."""
    return [(disc(0.5, 0.5, 0.12), GREY)]


def about_icon():
    """An "i" in a blue disc."""
    return [
        (disc(0.5, 0.5, 0.47), BLUE),
        (disc(0.5, 0.26, 0.08), WHITE),
        (rect(0.43, 0.41, 0.57, 0.80), WHITE),
    ]


def main_icon():
    """A triangle split into four facets, edges drawn: a small mesh."""
    a, b, c = (0.50, 0.06), (0.04, 0.90), (0.96, 0.90)
    ab = ((a[0] + b[0]) / 2, (a[1] + b[1]) / 2)
    bc = ((b[0] + c[0]) / 2, (b[1] + c[1]) / 2)
    ca = ((c[0] + a[0]) / 2, (c[1] + a[1]) / 2)
    w = 0.07
    shapes = [
        (polygon([a, ab, ca]), FACETS[1]),
        (polygon([ab, b, bc]), FACETS[0]),
        (polygon([ca, bc, c]), FACETS[2]),
        (polygon([ab, bc, ca]), FACETS[3]),
    ]
    for p, q in [(a, b), (b, c), (c, a), (ab, bc), (bc, ca), (ca, ab)]:
        shapes.append((segment(p[0], p[1], q[0], q[1], w), INK))
    return shapes


def render(shapes, size, samples=4):
    """Rows of (r, g, b), top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) / size
                    y = (py + (sy + 0.5) / samples) / size
                    colour = BACKGROUND
                    for inside, fill in shapes:
                        if inside(x, y):
                            colour = fill
                    for i in range(3):
                        total[i] += colour[i]
            n = samples * samples
            row.append(tuple((t + n // 2) // n for t in total))
        rows.append(row)
    return rows


def side_by_side(images):
    return [sum((image[y] for image in images), []) for y in range(len(images[0]))]


def bmp_bytes(rows):
    """A 24-bit BMP file: bottom-up rows of blue, green, red, padded to 4 bytes."""
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) // 4 * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        pixels += line + bytes(stride - len(line))
    offset = 14 + 40
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    # 2835 pixels per metre is 72 dots per inch.
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + bytes(pixels)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    toolbar = [import_icon(), help_icon(), spare_icon(), about_icon()]
    files = {
        "toolbar_small.bmp": side_by_side([render(icon, 16) for icon in toolbar]),
        "toolbar_large.bmp": side_by_side([render(icon, 24) for icon in toolbar]),
        "main_small.bmp": render(main_icon(), 16),
        "main_large.bmp": render(main_icon(), 24),
    }
    for name, rows in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(bmp_bytes(rows))


if __name__ == "__main__":
    main()
