#!/usr/bin/env python3
"""Draws the sample setup's pictures and writes them as Windows files.

    python3 make_pictures.py [OUTPUT_FOLDER]      (default: this script's folder)

Writes the page picture twice, as the library expects it: page16.bmp
(bitmap 21115, 16 colours, 4 bits per pixel, the gradient dithered), shown on
16-colour and on true-colour displays, and page256.bmp (bitmap 21116, 256
colours, 8 bits per pixel), shown on palette displays of more than 16
colours. Both state the colours they use in their header, as the library's
picture drawing needs. It also writes the background window class's icons 1
and 2 (sample32.ico, sample16.ico, 16 colours). The motif: the product's box
on a blue evening gradient.

Nothing but the standard library is used, and running the script again
gives the same bytes. A product team draws its own pictures instead; the
sizes that matter are the page picture's 126 x 272 pixels, which fill the
picture control of the page templates.
"""

import os
import struct
import sys

PAGE_W, PAGE_H = 126, 272

# --------------------------------------------------------------------------
# File writers


def _rows(pixels, width, bits):
    """Bottom-up rows of palette indices at `bits` per pixel, each padded
    to a multiple of 4 bytes as DIBs require."""
    stride = ((width * bits + 31) // 32) * 4
    out = bytearray()
    for row in reversed(pixels):
        line = bytearray(stride)
        for x, index in enumerate(row):
            if bits == 8:
                line[x] = index
            else:
                line[x // 2] |= index << 4 if x % 2 == 0 else index
        out += line
    return bytes(out)


def _info(width, height, bits, colours, image_bytes):
    # BITMAPINFOHEADER: 40 bytes, 1 plane, BI_RGB, every colour used.
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_bytes, 0, 0,
                       colours, 0)


def _table(palette, size):
    entries = list(palette) + [(0, 0, 0)] * (size - len(palette))
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in entries)


def write_bmp(path, pixels, palette, bits):
    height, width = len(pixels), len(pixels[0])
    data = _rows(pixels, width, bits)
    dib = _info(width, height, bits, 1 << bits, len(data)) + _table(palette, 1 << bits)
    offset = 14 + len(dib)
    head = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(head + dib + data)


def write_ico(path, pixels, palette, transparent):
    """One-image .ico: a 4-bit colour image and the 1-bit AND mask. The
    DIB's height counts both, so it is twice the icon's; a mask bit of 1
    lets the background through, and the colour under it must be 0."""
    height, width = len(pixels), len(pixels[0])
    colour = [[0 if i == transparent else i for i in row] for row in pixels]
    xor = _rows(colour, width, 4)
    mask_stride = ((width + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        line = bytearray(mask_stride)
        for x, index in enumerate(row):
            if index == transparent:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    dib = _info(width, 2 * height, 4, 16, len(xor) + len(mask)) + _table(palette, 16) + xor + bytes(mask)
    # ICONDIR, then one ICONDIRENTRY pointing just past the two.
    head = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width, height, 16, 0, 1, 4, len(dib), 6 + 16)
    with open(path, "wb") as f:
        f.write(head + entry + dib)


# --------------------------------------------------------------------------
# Drawing

# The box: three faces in the light from the upper left.
BOX_TOP = (250, 214, 120)
BOX_LEFT = (232, 150, 40)
BOX_RIGHT = (168, 92, 20)
BOX_EDGE = (70, 36, 8)
WHITE = (255, 255, 255)
SKY_TOP = (8, 20, 72)
SKY_BOTTOM = (40, 140, 190)


def _mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def box_shape(width, height, cx, top, size, depth=None):
    """Which face of the box covers each pixel: None, 'top', 'left',
    'right' or 'edge'. An upright box `size` wide seen from above: a rhombus
    on top of two parallelograms `depth` high (as high as wide when not
    given)."""
    half = size // 2
    quarter = size // 4
    depth = size if depth is None else depth
    shape = [[None] * width for _ in range(height)]

    def face(x, y):
        dx = x - cx
        # The top rhombus: centre (cx, top + quarter), half-width `half`.
        if abs(dx) / half + abs(y - (top + quarter)) / quarter <= 1.0:
            return "top"
        # The sides run from the rhombus's lower edges down by `size`.
        if -half <= dx <= 0:
            upper = top + quarter + quarter * (dx + half) / half
            if upper <= y <= upper + depth:
                return "left"
        if 0 < dx <= half:
            upper = top + quarter + quarter * (half - dx) / half
            if upper <= y <= upper + depth:
                return "right"
        return None

    for y in range(height):
        for x in range(width):
            shape[y][x] = face(x, y)
    # Dark outline where a face meets the outside or another face.
    edged = [row[:] for row in shape]
    for y in range(height):
        for x in range(width):
            if shape[y][x] is None:
                continue
            for nx, ny in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)):
                if not (0 <= nx < width and 0 <= ny < height) or shape[ny][nx] != shape[y][x]:
                    edged[y][x] = "edge"
                    break
    return edged


FACE_COLOURS = {"top": BOX_TOP, "left": BOX_LEFT, "right": BOX_RIGHT, "edge": BOX_EDGE}

# Stars in the upper sky: fixed places, so the bytes never change.
STARS = [(14, 18), (40, 9), (71, 27), (102, 14), (22, 52), (91, 48), (58, 66), (115, 80), (9, 95)]

BAYER4 = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


def page_picture(sky_steps, dither):
    """The page as palette indices with its palette: the first `sky_steps`
    entries are the gradient, then the box's colours and white."""
    palette = [_mix(SKY_TOP, SKY_BOTTOM, i / (sky_steps - 1)) for i in range(sky_steps)]
    index = {}
    for name, colour in list(FACE_COLOURS.items()) + [("white", WHITE)]:
        index[name] = len(palette)
        palette.append(colour)
    shape = box_shape(PAGE_W, PAGE_H, PAGE_W // 2, 150, 64)
    pixels = []
    for y in range(PAGE_H):
        row = []
        position = y / (PAGE_H - 1) * (sky_steps - 1)
        for x in range(PAGE_W):
            face = shape[y][x]
            if face:
                row.append(index[face])
                continue
            step = int(position)
            if dither and step < sky_steps - 1:
                # Ordered dither: the fraction picks the next step this often.
                if (position - step) * 16 > BAYER4[y % 4][x % 4] + 0.5:
                    step += 1
            else:
                step = min(sky_steps - 1, round(position))
            row.append(step)
        pixels.append(row)
    for x, y in STARS:
        pixels[y][x] = index["white"]
        if not dither:
            for nx, ny in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)):
                pixels[ny][nx] = sky_steps // 3
    return pixels, palette


def icon(size):
    """The box alone on a transparent ground: index 0 is transparent."""
    palette = [(0, 0, 0)] + [FACE_COLOURS[n] for n in ("top", "left", "right", "edge")]
    index = {"top": 1, "left": 2, "right": 3, "edge": 4}
    # As wide as the icon; the sides take what the top leaves of its height.
    box = size - 2
    shape = box_shape(size, size, size // 2 - 1, 0, box, size - 1 - box // 2)
    pixels = [[index[f] if f else 0 for f in row] for row in shape]
    return pixels, palette


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out, exist_ok=True)
    pixels, palette = page_picture(11, dither=True)
    assert len(palette) == 16
    write_bmp(os.path.join(out, "page16.bmp"), pixels, palette, 4)
    pixels, palette = page_picture(200, dither=False)
    write_bmp(os.path.join(out, "page256.bmp"), pixels, palette, 8)
    for size, name in ((32, "sample32.ico"), (16, "sample16.ico")):
        pixels, palette = icon(size)
        write_ico(os.path.join(out, name), pixels, palette, 0)


if __name__ == "__main__":
    main()
