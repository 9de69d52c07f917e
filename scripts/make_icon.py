#!/usr/bin/env python3
"""Draws the updater's icon group M_ICON (16, 32 and 48 pixels, 16 colours) into res/m_icon.ico.

A blue rounded tile with a white arrow pointing down into a tray: "an update goes in". Kept at
4 bits per pixel so that the three pictures stay near 3 KB of the release image's budget.
"""
import struct
import sys

PALETTE = [
    (0, 0, 0), (255, 255, 255), (40, 90, 200), (20, 50, 130),
    (250, 200, 60), (0, 0, 0), (0, 0, 0), (0, 0, 0),
    (0, 0, 0), (0, 0, 0), (0, 0, 0), (0, 0, 0),
    (0, 0, 0), (0, 0, 0), (0, 0, 0), (0, 0, 0),
]
TRANSPARENT, WHITE, BLUE, DARK, GOLD = -1, 1, 2, 3, 4


def pixel(x, y, n):
    """Colour index of pixel (x, y), top-down, in an n x n picture."""
    u, v = (x + 0.5) / n, (y + 0.5) / n
    r = 0.18  # corner radius of the tile
    cx = min(max(u, r), 1 - r)
    cy = min(max(v, r), 1 - r)
    if (u - cx) ** 2 + (v - cy) ** 2 > r * r:
        return TRANSPARENT
    if min(u, v, 1 - u, 1 - v) < 0.07:
        return DARK
    # arrow: shaft and head
    if 0.42 <= u <= 0.58 and 0.16 <= v <= 0.50:
        return WHITE
    if 0.50 <= v <= 0.70 and abs(u - 0.5) <= (0.70 - v) * 1.1:
        return WHITE
    # tray
    if 0.76 <= v <= 0.84 and 0.20 <= u <= 0.80:
        return GOLD
    if 0.62 <= v <= 0.84 and (0.20 <= u <= 0.27 or 0.73 <= u <= 0.80):
        return GOLD
    return BLUE


def image(n):
    rows_xor, rows_and = [], []
    xor_stride = ((n * 4 + 31) // 32) * 4
    and_stride = ((n + 31) // 32) * 4
    for y in reversed(range(n)):  # bottom-up
        xor, mask = bytearray(xor_stride), bytearray(and_stride)
        for x in range(n):
            c = pixel(x, y, n)
            if c == TRANSPARENT:
                mask[x // 8] |= 0x80 >> (x % 8)
                c = 0
            xor[x // 2] |= c << (4 if x % 2 == 0 else 0)
        rows_xor.append(bytes(xor))
        rows_and.append(bytes(mask))
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    return header + palette + b"".join(rows_xor) + b"".join(rows_and)


def main(path):
    sizes = [16, 32, 48]
    images = [image(n) for n in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(sizes)))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "res/m_icon.ico")
