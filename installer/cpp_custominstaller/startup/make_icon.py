#!/usr/bin/env python3
"""Writes the program icon: a 16x16 and a 32x32 32-bit image in one .ico file.

    make_icon.py OUTPUT.ico
"""
import struct
import sys


def image(size):
    # A red tile with a white down arrow (download and run).
    rows = []
    for y in range(size):
        row = b""
        for x in range(size):
            inset = size // 8
            inside = inset <= x < size - inset and inset <= y < size - inset
            cx = abs(2 * x + 1 - size) / size
            arrow_stem = cx < 0.16 and y < size * 0.62
            arrow_head = size * 0.45 <= y < size * 0.75 and cx < (size * 0.75 - y) / size * 1.4
            if not inside:
                row += struct.pack("BBBB", 0, 0, 0, 0)
            elif arrow_stem or arrow_head:
                row += struct.pack("BBBB", 255, 255, 255, 255)
            else:
                row += struct.pack("BBBB", 40, 40, 200, 255)
        rows.append(row)
    pixels = b"".join(reversed(rows))  # bottom-up
    mask_row = b"\0" * (((size + 31) // 32) * 4)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels), 0, 0, 0, 0)
    return header + pixels + mask_row * size


def main(path):
    sizes = [16, 32]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1])
