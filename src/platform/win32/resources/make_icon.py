#!/usr/bin/env python3
"""Draws the program's icon (a browser page with a camera-shutter corner) into
sorvane.ico: 16x16 and 32x32, 32 bits per pixel. Run again after changing it."""
import struct
import sys


def pixels(size):
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            u, v = x / size, y / size
            a = 255
            if u < 0.06 or u > 0.94 or v < 0.06 or v > 0.94:
                a = 0  # a transparent margin
                r = g = b = 0
            elif v < 0.26:
                r, g, b = 0x2B, 0x6C, 0xB0  # the title bar
            elif (u - 0.68) ** 2 + (v - 0.66) ** 2 < 0.045:
                r, g, b = 0xD9, 0x3A, 0x2B  # the shutter
            else:
                r, g, b = 0xF4, 0xF4, 0xF0  # the page
            row.append((b, g, r, a))
        rows.append(row)
    return rows


def image(size):
    rows = pixels(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(bytes(c for px in row for c in px) for row in reversed(rows))
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)  # the alpha channel decides; the mask shows all
    return header + xor + mask


def main(out):
    sizes = [16, 32]
    images = [image(s) for s in sizes]
    data = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        data += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    data += b"".join(images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "sorvane.ico")
