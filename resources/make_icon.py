"""Draws the program icon (a document on a blue tile with a green update
arrow) and writes it as a Windows .ico with 16, 32 and 48 pixel images.

usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

SAMPLES = 4  # per axis, for smooth edges

BLUE = (36, 86, 160)
BLUE_EDGE = (20, 52, 110)
PAPER = (250, 250, 250)
FOLD = (200, 208, 220)
LINES = (150, 160, 178)
GREEN = (40, 160, 60)
GREEN_EDGE = (20, 100, 35)


def rounded_square(x, y, left, top, right, bottom, radius):
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def shape_colour(x, y):
    """The colour at (x, y) in a unit square, or None where it is clear."""
    # The arrow badge: a green disc with a white downward arrow.
    bx, by, br = 0.72, 0.72, 0.25
    d2 = (x - bx) ** 2 + (y - by) ** 2
    if d2 <= br ** 2:
        if d2 >= (br - 0.035) ** 2:
            return GREEN_EDGE
        shaft = abs(x - bx) <= 0.045 and by - 0.15 <= y <= by + 0.02
        head = y >= by + 0.0 and y <= by + 0.15 and abs(x - bx) <= (by + 0.15 - y) * 0.9
        return PAPER if (shaft or head) else GREEN
    # The document with a folded corner.
    left, top, right, bottom, fold = 0.28, 0.14, 0.70, 0.82, 0.14
    in_corner = x > right - fold and y < top + fold
    cut = in_corner and (x - (right - fold)) > (y - top)
    if left <= x <= right and top <= y <= bottom and not cut:
        if in_corner:
            return FOLD
        if top + 0.22 <= y <= bottom - 0.08 and left + 0.06 <= x <= right - 0.06:
            row = (y - (top + 0.22)) / 0.09
            if row - int(row) < 0.35:
                return LINES
        return PAPER
    # The tile.
    if rounded_square(x, y, 0.04, 0.04, 0.96, 0.96, 0.18):
        inner = rounded_square(x, y, 0.08, 0.08, 0.92, 0.92, 0.15)
        return BLUE if inner else BLUE_EDGE
    return None


def render(size):
    """Rows of (b, g, r, a) pixels, top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    colour = shape_colour(x, y)
                    if colour is not None:
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        a += 1
            n = SAMPLES * SAMPLES
            if a:
                row.append((b // a, g // a, r // a, 255 * a // n))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def icon_image(size):
    """One 32-bit image: BITMAPINFOHEADER, bottom-up pixels, AND mask."""
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(c for p in row for c in p) for row in reversed(rows))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def main():
    sizes = (16, 32, 48)
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
