#!/usr/bin/env python3
"""Draws the library's pictures and writes them as 16-colour Windows files.

    python3 make_pictures.py [OUTPUT_FOLDER]      (default: this script's folder)

Writes the eleven 50 x 32 flags (flag_*.bmp), the 192 x 64 "Working..."
banner (working.bmp) and the two icons (setup32.ico, setup16.ico). Every
file is 4 bits per pixel, uncompressed, with a 16-entry colour table; the
writers below lay out the headers by hand so that nothing about the format
depends on an image library's choices. Only the banner's lettering needs a
font rasteriser: ImageMagick's `convert` with the Z003 script face (Debian
package fonts-urw-base35) renders its coverage, which is then mapped onto
the grey ground, a grey shadow and shades of red ink.

Running the script again gives the same bytes (for the banner, with the
same ImageMagick and font).
"""

import os
import shutil
import struct
import subprocess
import sys

# --------------------------------------------------------------------------
# File writers


def _pack_4bit_rows(pixels, width):
    """Bottom-up rows of 4-bit indices, high nibble first, each row padded
    to a multiple of 4 bytes as DIBs require."""
    stride = ((width * 4 + 31) // 32) * 4
    out = bytearray()
    for row in reversed(pixels):
        line = bytearray(stride)
        for x, index in enumerate(row):
            assert 0 <= index < 16
            if x % 2 == 0:
                line[x // 2] |= index << 4
            else:
                line[x // 2] |= index
        out += line
    return bytes(out)


def _colour_table(palette):
    """16 RGBQUADs (blue, green, red, 0); unused entries are black."""
    assert len(palette) <= 16
    entries = list(palette) + [(0, 0, 0)] * (16 - len(palette))
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in entries)


def _info_header(width, height, image_bytes):
    # BITMAPINFOHEADER: 40 bytes, 1 plane, 4 bits, BI_RGB, 16 colours used.
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0,
                       image_bytes, 0, 0, 16, 0)


def write_bmp(path, pixels, palette):
    height, width = len(pixels), len(pixels[0])
    bits = _pack_4bit_rows(pixels, width)
    dib = _info_header(width, height, len(bits)) + _colour_table(palette)
    offset = 14 + len(dib)
    # BITMAPFILEHEADER: "BM", file size, two reserved words, offset of the bits.
    head = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(head + dib + bits)


def write_ico(path, pixels, palette, transparent):
    """One-image .ico file. In an icon's DIB the height counts the colour
    image and the 1-bit AND mask together, so it is twice the icon's height;
    mask bit 1 lets the background through, and the colour bits under it
    must be 0 for the screen to show the background unchanged."""
    height, width = len(pixels), len(pixels[0])
    colour = [[0 if i == transparent else i for i in row] for row in pixels]
    xor = _pack_4bit_rows(colour, width)
    mask_stride = ((width + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        line = bytearray(mask_stride)
        for x, index in enumerate(row):
            if index == transparent:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    image = (_info_header(width, height * 2, len(xor) + len(mask))
             + _colour_table(palette) + xor + bytes(mask))
    # ICONDIR (reserved, type 1 = icon, one entry) and its ICONDIRENTRY.
    head = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width, height, 16, 0, 1, 4,
                        len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(head + entry + image)


# --------------------------------------------------------------------------
# Drawing: a picture is a function from a point (u, v) in [0, 1) x [0, 1)
# to a palette index. Each pixel takes the colour that most of its 4 x 4
# sample points get, so edges fall where the shape's boundary crosses.


def rasterise(width, height, shape, samples=4):
    pixels = []
    for y in range(height):
        row = []
        for x in range(width):
            votes = {}
            for j in range(samples):
                for i in range(samples):
                    u = (x + (i + 0.5) / samples) / width
                    v = (y + (j + 0.5) / samples) / height
                    c = shape(u, v)
                    votes[c] = votes.get(c, 0) + 1
            # Ties go to the lowest index, so the result never depends on
            # dictionary order.
            row.append(max(sorted(votes), key=lambda c: votes[c]))
        pixels.append(row)
    return pixels


def bands(values, position):
    """The value of the equal band that position (0..1) falls in."""
    return values[min(int(position * len(values)), len(values) - 1)]


def inside_ellipse(u, v, cu, cv, ru, rv):
    return ((u - cu) / ru) ** 2 + ((v - cv) / rv) ** 2 <= 1.0


# One colour table for all flags: the colours flags use, near their official
# shades. The indices are named for the drawing code.
FLAG_PALETTE = [
    (0, 0, 0),        # 0 black
    (255, 255, 255),  # 1 white
    (200, 16, 46),    # 2 red
    (0, 40, 104),     # 3 navy (United States, United Kingdom, Norway)
    (0, 85, 164),     # 4 blue (France)
    (0, 106, 167),    # 5 Swedish blue
    (0, 53, 128),     # 6 Finnish blue
    (33, 70, 139),    # 7 Dutch blue
    (255, 206, 0),    # 8 gold (Germany, Sweden)
    (241, 191, 0),    # 9 Spanish yellow
    (0, 146, 70),     # 10 Italian green
    (0, 102, 0),      # 11 Portuguese green
    (170, 21, 27),    # 12 Spanish red
    (221, 0, 0),      # 13 German red
    (128, 128, 128),  # 14 grey
    (120, 60, 20),    # 15 brown
]
BLACK, WHITE, RED, NAVY, BLUE_FR, BLUE_SE, BLUE_FI, BLUE_NL = range(8)
GOLD, YELLOW_ES, GREEN_IT, GREEN_PT, RED_ES, RED_DE, GREY, BROWN = range(8, 16)

FLAG_W, FLAG_H = 50, 32
ASPECT = FLAG_W / FLAG_H  # turns a width in u into the same length in v


def flag_us(u, v):
    # Thirteen stripes under a canton as deep as seven of them.
    if u < 0.4 and v < 7 / 13:
        return NAVY
    return RED if int(v * 13) % 2 == 0 else WHITE


def us_stars(pixels):
    """White one-pixel stars on the canton, rows of five and four staggered:
    too small for the majority vote, so they are set directly."""
    for r, y in enumerate(range(2, 17, 3)):
        xs = range(2, 20, 4) if r % 2 == 0 else range(4, 20, 4)
        for x in xs:
            pixels[y][x] = WHITE
    return pixels


def flag_uk(u, v):
    # Distances in pixels, so the diagonals keep their width on a
    # non-square flag.
    x, y = u * FLAG_W, v * FLAG_H
    cx, cy = FLAG_W / 2, FLAG_H / 2
    # St George's cross: white border round a red cross.
    if abs(x - cx) < 2.5 or abs(y - cy) < 2.5:
        return RED
    if abs(x - cx) < 5 or abs(y - cy) < 5:
        return WHITE
    # The saltires run corner to corner. d1 is the signed distance to the
    # diagonal from top left to bottom right, d2 to the other one.
    norm = (FLAG_W ** 2 + FLAG_H ** 2) ** 0.5
    d1 = (x * FLAG_H - y * FLAG_W) / norm
    d2 = ((FLAG_W - x) * FLAG_H - y * FLAG_W) / norm
    # The red saltire is counterchanged: in each arm it lies on the side of
    # the diagonal that turns clockwise about the centre.
    left = x < cx
    if abs(d1) < 3.5:
        if (d1 < 0) == left and abs(d1) < 1.8:
            return RED
        return WHITE
    if abs(d2) < 3.5:
        if (d2 > 0) == left and abs(d2) < 1.8:
            return RED
        return WHITE
    return NAVY


def flag_fr(u, v):
    return bands([BLUE_FR, WHITE, RED], u)


def flag_de(u, v):
    return bands([BLACK, RED_DE, GOLD], v)


def flag_nl(u, v):
    return bands([RED, WHITE, BLUE_NL], v)


def flag_es(u, v):
    # Red, yellow twice as deep, red; the arms as a simplified shield with a
    # crown over it, on the hoist side of the middle.
    cu = 0.3
    if abs(u - cu) < 0.075 and 0.28 <= v < 0.36:
        return YELLOW_ES if int(u * FLAG_W) % 2 else BROWN          # crown
    if abs(u - cu) < 0.09 and 0.36 <= v < 0.55:
        return RED_ES if u < cu else GREY                            # shield, upper half
    if inside_ellipse(u, v, cu, 0.55, 0.09, 0.16) and v >= 0.55:
        return BROWN if u < cu else RED_ES                           # rounded base
    if abs(u - cu) > 0.11 and abs(u - cu) < 0.14 and 0.36 <= v < 0.7:
        return GREY                                                  # the two pillars
    return RED_ES if v < 0.25 or v >= 0.75 else YELLOW_ES


def flag_it(u, v):
    return bands([GREEN_IT, WHITE, RED], u)


def flag_pt(u, v):
    # Green at the hoist (two fifths), red beyond; on the boundary the
    # armillary sphere (a yellow ring) round a white-bordered red shield.
    cu, cv = 0.4, 0.5
    ru, rv = 0.19 / ASPECT, 0.19
    if inside_ellipse(u, v, cu, cv, ru * 0.55, rv * 0.62):
        if inside_ellipse(u, v, cu, cv, ru * 0.33, rv * 0.4):
            return WHITE
        return RED
    if inside_ellipse(u, v, cu, cv, ru, rv) and not inside_ellipse(u, v, cu, cv, ru * 0.72, rv * 0.72):
        return GOLD
    return GREEN_PT if u < 0.4 else RED


# The Nordic crosses are laid out in whole pixels: at 32 rows their bars are
# only a few pixels deep, and a bar that straddled a pixel edge would come
# out a pixel thicker on one arm than on the other.
def nordic(u, v, bars):
    """bars: ((x0, x1, y0, y1, colour), ...) in pixels, outermost first."""
    x, y = int(u * FLAG_W), int(v * FLAG_H)
    colour = None
    for x0, x1, y0, y1, c in bars:
        if x0 <= x < x1 or y0 <= y < y1:
            colour = c
    return colour


def flag_se(u, v):
    # Yellow cross on blue; the upright about 5/16 of the way along.
    return nordic(u, v, ((0, FLAG_W, 0, FLAG_H, BLUE_SE), (16, 22, 13, 19, GOLD)))


def flag_no(u, v):
    # Navy cross with a white border on red.
    return nordic(u, v, ((0, FLAG_W, 0, FLAG_H, RED), (14, 22, 12, 20, WHITE),
                         (16, 20, 14, 18, NAVY)))


def flag_fi(u, v):
    # Blue cross on white, broader than the Swedish one.
    return nordic(u, v, ((0, FLAG_W, 0, FLAG_H, WHITE), (14, 22, 12, 20, BLUE_FI)))


# File name and drawing of each flag, in resource order 11400..11410.
FLAGS = [
    ("flag_us.bmp", flag_us, us_stars),
    ("flag_uk.bmp", flag_uk, None),
    ("flag_fr.bmp", flag_fr, None),
    ("flag_de.bmp", flag_de, None),
    ("flag_nl.bmp", flag_nl, None),
    ("flag_es.bmp", flag_es, None),
    ("flag_it.bmp", flag_it, None),
    ("flag_pt.bmp", flag_pt, None),
    ("flag_se.bmp", flag_se, None),
    ("flag_no.bmp", flag_no, None),
    ("flag_fi.bmp", flag_fi, None),
]


# --------------------------------------------------------------------------
# The banner: lettering rendered by ImageMagick as an 8-bit coverage map,
# then mapped onto the palette below.

BANNER_W, BANNER_H = 192, 64
GROUND = (192, 192, 192)
INK = (204, 0, 0)
SHADOW = (128, 128, 128)
BANNER_FONT = "Z003-Medium-Italic"


def coverage(text, offset):
    """Bytes 0..255 per pixel, row by row, top row first."""
    convert = shutil.which("convert")
    if convert is None:
        sys.exit("make_pictures: ImageMagick's convert is needed for the banner")
    fonts = subprocess.run([convert, "-list", "font"], capture_output=True, text=True).stdout
    if BANNER_FONT not in fonts:
        sys.exit("make_pictures: the font %s is missing (Debian package fonts-urw-base35)" % BANNER_FONT)
    cmd = [convert, "-size", "%dx%d" % (BANNER_W, BANNER_H), "xc:black",
           "-font", BANNER_FONT, "-pointsize", "44", "-fill", "white",
           "-gravity", "center", "-annotate", "+%d+%d" % offset, text,
           "-depth", "8", "gray:-"]
    data = subprocess.run(cmd, check=True, capture_output=True).stdout
    assert len(data) == BANNER_W * BANNER_H
    return data


def blend(a, b, t):
    return tuple(round(a[k] + (b[k] - a[k]) * t) for k in range(3))


def banner():
    # Palette: the ground, four shades from ground to shadow, and eleven
    # from ground to the red ink. Where ink and shadow overlap the ink wins.
    palette = [GROUND]
    palette += [blend(GROUND, SHADOW, (k + 1) / 4) for k in range(4)]       # 1..4
    ink_levels = 11
    palette += [blend(GROUND, INK, (k + 1) / ink_levels) for k in range(ink_levels)]  # 5..15
    ink = coverage("Working...", (0, 0))
    shadow = coverage("Working...", (2, 2))
    pixels = []
    for y in range(BANNER_H):
        row = []
        for x in range(BANNER_W):
            t = ink[y * BANNER_W + x] / 255
            s = shadow[y * BANNER_W + x] / 255
            if t >= 0.5 / ink_levels:
                row.append(5 + min(ink_levels - 1, max(0, round(t * ink_levels) - 1)))
            elif s >= 0.125:
                row.append(1 + min(3, max(0, round(s * 4) - 1)))
            else:
                row.append(0)
        pixels.append(row)
    return pixels, palette


# --------------------------------------------------------------------------
# The icons: a 3.5-inch floppy disk going into an open carton, the motif of
# an installation. Drawn from characters, one per pixel.

ICON_PALETTE = [
    (0, 0, 0),        # 0 black (transparent where the mask says so)
    (255, 255, 255),  # 1 white
    (192, 192, 192),  # 2 light grey
    (128, 128, 128),  # 3 grey
    (0, 0, 128),      # 4 navy
    (0, 0, 255),      # 5 blue
    (128, 128, 0),    # 6 olive (carton shadow)
    (255, 255, 0),    # 7 yellow (carton)
    (128, 0, 0),      # 8 dark red
    (255, 0, 0),      # 9 red
    (0, 128, 0),      # 10 green
    (0, 255, 0),      # 11 lime
    (0, 128, 128),    # 12 teal
    (0, 255, 255),    # 13 cyan
    (128, 0, 128),    # 14 purple
    (255, 0, 255),    # 15 magenta: the transparent key, never drawn
]
ICON_KEYS = {".": 15, "k": 0, "w": 1, "s": 2, "g": 3, "n": 4, "b": 5, "o": 6, "y": 7, "r": 9}
TRANSPARENT = 15

# The carton, with its open top seen from slightly above: back edge, dark
# inside, front face and a shaded right side. The disk is laid over the
# back edge and the inside, so it stands in the carton behind the front.
CARTON32 = [
    "." * 32,
] * 13 + [
    "...." + "k" * 27 + ".",
    "...k" + "o" * 26 + "k.",
    "..k" + "o" * 27 + "k.",
    "." + "k" * 27 + "ook.",
] + [
    ".k" + "y" * 25 + "kook.",
] * 4 + [
    ".k" + "y" * 8 + "k" * 8 + "y" * 9 + "kook.",
    ".k" + "y" * 8 + "kwwwwwwk" + "y" * 9 + "kook.",
    ".k" + "y" * 8 + "k" * 8 + "y" * 9 + "kook.",
] + [
    ".k" + "y" * 25 + "kook.",
] * 5 + [
    ".k" + "y" * 25 + "kok..",
    "." + "k" * 28 + "...",
    "." * 32,
]

DISK32 = [
    "kkkkkkkkkkkkkk",
    "knnnssssssnnnk",
    "knnnskksssnnnk",
    "knnnskksssnnnk",
    "knnnskksssnnnk",
    "knnnssssssnnnk",
    "knnnnnnnnnnnnk",
    "knwwwwwwwwwwnk",
    "knwrrrrrrrrwnk",
    "knwwwwwwwwwwnk",
    "knwkkkkkkkkwnk",
    "knwwwwwwwwwwnk",
    "knwkkkkkkkkwnk",
    "knwwwwwwwwwwnk",
    "knnnnnnnnnnnnk",
    "knnnnnnnnnnnnk",
]

CARTON16 = [
    "." * 16,
] * 7 + [
    ".." + "k" * 13 + ".",
    ".k" + "o" * 12 + "k.",
    "k" * 14 + "ok",
    "kyyyykkkkyyyykok",
    "kyyyykwwkyyyykok",
    "kyyyykkkkyyyykok",
    "k" + "y" * 12 + "kok",
    "k" + "y" * 12 + "kk.",
    "k" * 14 + "..",
]

DISK16 = [
    "kkkkkkkk",
    "knskksnk",
    "knskksnk",
    "knssssnk",
    "knnnnnnk",
    "knwwwwnk",
    "knwrrwnk",
    "knwwwwnk",
    "knnnnnnk",
]


def icon(carton, disk, left):
    rows = [list(line) for line in carton]
    for y, line in enumerate(disk):
        for x, c in enumerate(line):
            if c != ".":
                rows[y][left + x] = c
    return [[ICON_KEYS[c] for c in row] for row in rows]


# --------------------------------------------------------------------------


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out, exist_ok=True)
    for name, shape, details in FLAGS:
        pixels = rasterise(FLAG_W, FLAG_H, shape)
        if details:
            pixels = details(pixels)
        write_bmp(os.path.join(out, name), pixels, FLAG_PALETTE)
    pixels, palette = banner()
    write_bmp(os.path.join(out, "working.bmp"), pixels, palette)
    for name, carton, disk, left, size in (("setup32.ico", CARTON32, DISK32, 9, 32),
                                           ("setup16.ico", CARTON16, DISK16, 4, 16)):
        pixels = icon(carton, disk, left)
        assert len(pixels) == size and all(len(r) == size for r in pixels), name
        write_ico(os.path.join(out, name), pixels, ICON_PALETTE, TRANSPARENT)


if __name__ == "__main__":
    main()
