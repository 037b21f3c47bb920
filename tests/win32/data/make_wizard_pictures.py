#!/usr/bin/env python3
# Draws the two page pictures of the wizard test's product: 8-bit palette
# bitmaps of an odd width (so rows are padded) that state the colours they
# use, each two colours side by side, left half and right half. The test
# reads the same colours back from the screen.
import struct
import sys
from pathlib import Path

WIDTH, HEIGHT = 30, 20

PICTURES = {
    # name: (left colour, right colour) as (red, green, blue)
    "wizard_basic.bmp": ((200, 40, 30), (30, 160, 60)),
    "wizard_palette.bmp": ((40, 60, 200), (230, 200, 20)),
}


def bitmap(left, right):
    colours = [left, right, (0, 0, 0)]  # the third is stated but unused
    stride = (WIDTH + 3) & ~3
    rows = b"".join(
        bytes(0 if x < WIDTH // 2 else 1 for x in range(WIDTH)) + bytes(stride - WIDTH)
        for _ in range(HEIGHT))
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in colours)
    header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 0, len(rows), 2835, 2835,
                         len(colours), len(colours))
    offset = 14 + len(header) + len(table)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    return file_header + header + table + rows


def main():
    folder = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).parent
    for name, (left, right) in PICTURES.items():
        (folder / name).write_bytes(bitmap(left, right))


if __name__ == "__main__":
    main()
