#!/usr/bin/python3
"""Draws the configuration dialog's banner, bitmap resource 122: resources/banner.bmp.

234 x 40 pixels with a 256-colour table, the size at which the dialog's picture control shows it
with its 8-point font. The motif is the logo's (a dale at dawn) in a strip, with the program's
name. Drawn here from scratch with the logo's helpers, so running it again gives the same file.

Run with Debian's Python (it has Pillow): /usr/bin/python3 resources/make_banner.py
"""
import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFont

from make_artwork import BOLD_FONT, RESOURCES, ROOT, fill_below, palette_image, ridge, vertical_gradient

sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))
from winebench import write_bmp  # noqa: E402  the one BMP writer of the scripts

BANNER_SIZE = (234, 40)
SCALE = 4  # drawn large, then reduced, for smooth edges and lettering


def draw_banner():
    width, height = BANNER_SIZE[0] * SCALE, BANNER_SIZE[1] * SCALE
    image = vertical_gradient((width, height), [(0.0, (24, 20, 68)), (0.55, (190, 86, 100)),
                                                (1.0, (250, 190, 120))])
    draw = ImageDraw.Draw(image)
    sun = (width * 0.91, height * 0.66)
    for radius, colour in ((20, (252, 214, 140)), (15, (255, 236, 178)), (11, (255, 248, 220))):
        r = radius * SCALE
        draw.ellipse([sun[0] - r, sun[1] - r, sun[0] + r, sun[1] + r], fill=colour)
    ranges = [
        (height * 0.70, 5 * SCALE, [(width / 2.1, 1.0), (width / 7.3, 0.4)], 0.6, (120, 70, 110)),
        (height * 0.80, 4 * SCALE, [(width / 1.6, 1.0), (width / 5.9, 0.5)], 2.1, (78, 52, 92)),
        (height * 0.90, 3 * SCALE, [(width / 1.2, 1.0), (width / 4.7, 0.5)], 3.3, (40, 36, 66)),
    ]
    for base, amplitude, waves, phase, colour in ranges:
        fill_below(draw, ridge(width, base, amplitude, waves, phase), height, colour)

    name_font = ImageFont.truetype(BOLD_FONT, 19 * SCALE)
    tag_font = ImageFont.truetype(BOLD_FONT, 10 * SCALE)
    name, tag = "Orvindale", "screensaver"
    left, top, right, bottom = draw.textbbox((0, 0), name, font=name_font)
    origin = (8 * SCALE - left, 4 * SCALE - top)
    shadow = SCALE
    draw.text((origin[0] + shadow, origin[1] + shadow), name, font=name_font, fill=(10, 10, 30))
    draw.text(origin, name, font=name_font, fill=(255, 244, 226))
    tag_left, tag_top, _, _ = draw.textbbox((0, 0), tag, font=tag_font)
    tag_origin = (origin[0] + left + (right - left) + 5 * SCALE - tag_left,
                  origin[1] + bottom - 11 * SCALE - tag_top)
    draw.text((tag_origin[0] + shadow, tag_origin[1] + shadow), tag, font=tag_font, fill=(10, 10, 30))
    draw.text(tag_origin, tag, font=tag_font, fill=(255, 232, 190))
    return image.resize(BANNER_SIZE, Image.LANCZOS)


def check_banner(path):
    with open(path, "rb") as f:
        data = f.read()
    width, height, planes, bits, compression, _, _, _, used = struct.unpack("<iiHHIIiiI", data[18:50])
    if (width, height, planes, bits, compression, used) != (234, 40, 1, 8, 0, 256):
        sys.exit("banner: %dx%d, %d planes, %d bits, compression %d, %d colours"
                 % (width, height, planes, bits, compression, used))
    print("%s: %d bytes, %dx%d, 256 colours" % (os.path.relpath(path, ROOT), len(data), width, height))


def main():
    indexed, palette = palette_image(draw_banner(), 256)
    path = os.path.join(RESOURCES, "banner.bmp")
    width, height = indexed.size
    rows = [bytes(indexed.getpixel((x, y)) for x in range(width)) for y in range(height)]
    write_bmp(path, width, height, rows, bits=8, table=palette)
    check_banner(path)


if __name__ == "__main__":
    main()
