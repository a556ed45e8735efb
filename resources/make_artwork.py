#!/usr/bin/python3
"""Draws the program's artwork and the bundled sample pictures.

Writes resources/logo.jpg (JPEG resource 112), resources/screensaver.ico (icon 1) and the
pictures under samples/ (BMP, JPEG, a photo stored sideways with its EXIF orientation, a PNG with
transparency). Everything is drawn here from scratch, so running it again gives the
same files. The logo is compressed by cjpeg as a plain baseline JFIF stream: the program's memory
source hands the decoder the whole resource at once and never skips, which holds only for a file
without extra segments (no EXIF, no comments, no restart markers).

Run with Debian's Python (it has Pillow): /usr/bin/python3 resources/make_artwork.py
"""
import math
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RESOURCES = os.path.join(ROOT, "resources")
SAMPLES = os.path.join(ROOT, "samples")
BOLD_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"  # Debian's fonts-dejavu-core

LOGO_SIZE = (609, 448)


def lerp(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def vertical_gradient(size, stops):
    """stops: (position 0..1, colour) pairs in order."""
    width, height = size
    image = Image.new("RGB", size)
    draw = ImageDraw.Draw(image)
    for y in range(height):
        t = y / max(1, height - 1)
        for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
            if p0 <= t <= p1:
                draw.line([(0, y), (width, y)], fill=lerp(c0, c1, (t - p0) / max(1e-9, p1 - p0)))
                break
    return image


def ridge(width, base, amplitude, waves, phase):
    """Points of a hill line across the picture, a sum of a few sines."""
    points = []
    for x in range(0, width + 1, 3):
        y = base
        for i, (length, weight) in enumerate(waves):
            y += amplitude * weight * math.sin(2 * math.pi * x / length + phase * (i + 1))
        points.append((x, y))
    return points


def fill_below(draw, points, height, colour):
    draw.polygon(points + [(points[-1][0], height), (points[0][0], height)], fill=colour)


def draw_logo():
    """A dale at dawn: sun over three ranges of hills, a lake mirroring the sky, the name below."""
    width, height = LOGO_SIZE
    image = vertical_gradient(LOGO_SIZE, [(0.0, (24, 20, 68)), (0.45, (206, 92, 96)),
                                          (0.62, (250, 196, 120)), (1.0, (250, 196, 120))])
    draw = ImageDraw.Draw(image)
    sun = (width * 0.62, height * 0.50)
    for radius, colour in ((74, (252, 214, 140)), (58, (255, 232, 170)), (46, (255, 246, 214))):
        draw.ellipse([sun[0] - radius, sun[1] - radius, sun[0] + radius, sun[1] + radius], fill=colour)
    ranges = [
        (height * 0.52, 26, [(260, 1.0), (97, 0.35)], 0.4, (120, 70, 110)),
        (height * 0.60, 22, [(330, 1.0), (120, 0.4)], 1.7, (78, 52, 92)),
        (height * 0.68, 16, [(420, 1.0), (150, 0.5)], 2.9, (40, 36, 66)),
    ]
    for base, amplitude, waves, phase, colour in ranges:
        fill_below(draw, ridge(width, base, amplitude, waves, phase), height, colour)
    lake_top = int(height * 0.72)
    lake = vertical_gradient((width, height - lake_top), [(0.0, (70, 96, 150)), (1.0, (18, 24, 58))])
    image.paste(lake, (0, lake_top))
    for i in range(4):  # the sun's reflection, broken by ripples
        y = lake_top + 6 + i * 6
        half = 40 - i * 8
        draw.line([(sun[0] - half, y), (sun[0] + half, y)], fill=(250, 214, 150), width=3)
    font = ImageFont.truetype(BOLD_FONT, 64)
    name = "Orvindale"
    left, top, right, bottom = draw.textbbox((0, 0), name, font=font)
    origin = ((width - (right - left)) // 2, height - 40 - (bottom - top) - top)
    draw.text((origin[0] + 3, origin[1] + 3), name, font=font, fill=(10, 10, 30))
    draw.text(origin, name, font=font, fill=(255, 244, 226))
    return image


def compress_baseline_jpeg(image, path, quality=90, grayscale=False):
    """JPEG through cjpeg: baseline, standard tables, JFIF header and nothing else."""
    with tempfile.TemporaryDirectory() as scratch:
        source = os.path.join(scratch, "picture.pnm")
        image.convert("L" if grayscale else "RGB").save(source)
        subprocess.run(["cjpeg", "-baseline", "-quality", str(quality), "-outfile", path, source],
                       check=True)


def jpeg_markers(data):
    """(marker name, segment length) pairs of a JPEG stream, in order; the scan's data is skipped."""
    names = {0xD8: "SOI", 0xE0: "APP0", 0xDB: "DQT", 0xC0: "SOF0", 0xC4: "DHT", 0xDA: "SOS",
             0xD9: "EOI"}
    found = []
    pos = 0
    while pos + 1 < len(data):
        if data[pos] != 0xFF:
            raise ValueError("no marker at byte %d" % pos)
        code = data[pos + 1]
        name = names.get(code, "0x%02X" % code)
        if code in (0xD8, 0xD9):
            found.append((name, 0))
            pos += 2
            if code == 0xD9:
                break
            continue
        length = struct.unpack(">H", data[pos + 2:pos + 4])[0]
        found.append((name, length))
        pos += 2 + length
        if code == 0xDA:  # entropy-coded data runs to the next marker that is not a stuffed 0xFF00
            while not (data[pos] == 0xFF and data[pos + 1] != 0x00):
                pos += 1
    return found


EXPECTED_LOGO_MARKERS = ["SOI", "APP0", "DQT", "DQT", "SOF0", "DHT", "DHT", "DHT", "DHT", "SOS", "EOI"]


def check_logo(path):
    with open(path, "rb") as f:
        data = f.read()
    markers = jpeg_markers(data)
    if [name for name, _ in markers] != EXPECTED_LOGO_MARKERS:
        sys.exit("logo: unexpected segments %s" % markers)
    if markers[1][1] != 16 or data[6:11] != b"JFIF\0":
        sys.exit("logo: APP0 is not a 16-byte JFIF header")
    with Image.open(path) as picture:
        if picture.size != LOGO_SIZE or picture.mode != "RGB":
            sys.exit("logo: %s %s" % (picture.size, picture.mode))
    print("%s: %d bytes, segments %s" % (os.path.relpath(path, ROOT), len(data),
                                          " ".join(name for name, _ in markers)))


# --- icon -------------------------------------------------------------------------------------

def draw_icon(size):
    """The logo's motif at icon size: sun over a hill in a round badge; outside is transparent."""
    scale = 8  # drawn large, then reduced, for smooth edges
    big = size * scale
    art = vertical_gradient((big, big), [(0.0, (40, 30, 100)), (0.6, (226, 110, 90)),
                                         (1.0, (250, 196, 120))])
    draw = ImageDraw.Draw(art)
    r = big * 0.2
    draw.ellipse([big * 0.55 - r, big * 0.45 - r, big * 0.55 + r, big * 0.45 + r], fill=(255, 236, 170))
    fill_below(draw, ridge(big, big * 0.62, big * 0.06, [(big * 1.3, 1.0)], 0.8), big, (50, 40, 80))
    mask = Image.new("L", (big, big), 0)
    ImageDraw.Draw(mask).ellipse([scale, scale, big - scale, big - scale], fill=255)
    art = art.resize((size, size), Image.LANCZOS)
    mask = mask.resize((size, size), Image.LANCZOS).point(lambda v: 255 if v >= 128 else 0)
    return art, mask


VGA_16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
          (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
          (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def palette_image(art, colours):
    """art reduced to a palette: the 16 standard colours, or its own 256 at most."""
    if colours == 16:
        reference = Image.new("P", (1, 1))
        reference.putpalette([c for rgb in VGA_16 for c in rgb] + [0] * (3 * 240))
        indexed = art.quantize(palette=reference, dither=Image.FLOYDSTEINBERG)
        return indexed, VGA_16
    indexed = art.quantize(colors=256, method=Image.MEDIANCUT, dither=Image.NONE)
    flat = indexed.getpalette()[:768]
    flat += [0] * (768 - len(flat))
    return indexed, [tuple(flat[i:i + 3]) for i in range(0, 768, 3)]


def icon_entry(art, mask, bits):
    """One icon image as Windows 3.x to 98 read it: a DIB of double height (colour rows, then the
    1-bit transparency mask), bottom-up, no PNG."""
    size = art.size[0]
    indexed, palette = palette_image(art, 1 << bits)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, 1 << bits, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    xor_stride = ((size * bits + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor_rows, and_rows = [], []
    for y in reversed(range(size)):
        if bits == 8:
            row = bytes(indexed.getpixel((x, y)) if mask.getpixel((x, y)) else 0 for x in range(size))
        else:
            row = bytearray()
            for x in range(0, size, 2):
                pair = [indexed.getpixel((x + i, y)) if mask.getpixel((x + i, y)) else 0 for i in (0, 1)]
                row.append((pair[0] << 4) | pair[1])
            row = bytes(row)
        xor_rows.append(row.ljust(xor_stride, b"\0"))
        bits_out = bytearray(and_stride)
        for x in range(size):
            if not mask.getpixel((x, y)):
                bits_out[x // 8] |= 0x80 >> (x % 8)
        and_rows.append(bytes(bits_out))
    return header + table + b"".join(xor_rows) + b"".join(and_rows)


def write_icon(path):
    """Icon 1: 32 × 32 and 16 × 16, each in 16 and in 256 colours."""
    entries = []
    for size in (32, 16):
        art, mask = draw_icon(size)
        for bits in (4, 8):
            entries.append((size, bits, icon_entry(art, mask, bits)))
    directory = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    body = b""
    for size, bits, data in entries:
        colours = 16 if bits == 4 else 0  # 0 means 256 or more
        directory += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
        body += data
    with open(path, "wb") as f:
        f.write(directory + body)
    print("%s: %d images" % (os.path.relpath(path, ROOT), len(entries)))


# --- samples ----------------------------------------------------------------------------------

def draw_dunes(size):
    width, height = size
    image = vertical_gradient(size, [(0.0, (90, 160, 230)), (0.5, (200, 226, 246)), (1.0, (200, 226, 246))])
    draw = ImageDraw.Draw(image)
    colours = [(236, 190, 120), (222, 160, 96), (196, 128, 72), (160, 96, 56)]
    for i, colour in enumerate(colours):
        points = ridge(width, height * (0.45 + 0.13 * i), 24 - 3 * i, [(width / (1.1 + i * 0.4), 1.0),
                                                                      (97 + 31 * i, 0.3)], 0.9 * i)
        fill_below(draw, points, height, colour)
    return image


def draw_mandelbrot(size):
    """8-bit picture with its own palette: the Mandelbrot set's escape counts, coloured in bands."""
    shades = Image.effect_mandelbrot(size, (-2.2, -1.2, 1.0, 1.2), 100)
    palette = []
    for i in range(256):
        t = i / 255.0
        palette += [int(127 + 127 * math.sin(6.0 * t + 0.0)), int(127 + 127 * math.sin(6.0 * t + 2.1)),
                    int(127 + 127 * math.sin(6.0 * t + 4.2))]
    indexed = shades.convert("P")
    indexed.putpalette(palette)
    return indexed


def draw_orchard(size):
    width, height = size
    image = vertical_gradient(size, [(0.0, (150, 200, 240)), (0.55, (220, 236, 250)), (0.56, (110, 170, 80)),
                                     (1.0, (60, 120, 50))])
    draw = ImageDraw.Draw(image)
    for row in range(4):
        y = height * (0.55 + 0.11 * row)
        radius = 18 + 10 * row
        for column in range(7 - row):
            x = (column + 0.5 + (row % 2) * 0.5) * width / (7 - row)
            draw.rectangle([x - radius * 0.12, y - radius * 0.2, x + radius * 0.12, y + radius * 1.1],
                           fill=(90, 60, 30))
            draw.ellipse([x - radius, y - radius * 1.8, x + radius, y + radius * 0.2], fill=(40, 110 + 10 * row, 40))
            for k in range(5):
                angle = k * 1.3 + column
                ax = x + math.cos(angle) * radius * 0.6
                ay = y - radius * 0.8 + math.sin(angle) * radius * 0.6
                draw.ellipse([ax - 3 - row, ay - 3 - row, ax + 3 + row, ay + 3 + row], fill=(220, 40, 40))
    return image


def draw_panorama(size):
    width, height = size
    image = vertical_gradient(size, [(0.0, (10, 30, 80)), (0.5, (120, 170, 220)), (1.0, (120, 170, 220))])
    draw = ImageDraw.Draw(image)
    layers = [(0.42, 120, (200, 210, 230)), (0.55, 80, (110, 130, 170)), (0.7, 50, (60, 80, 110)),
              (0.85, 30, (30, 44, 60))]
    for i, (base, amplitude, colour) in enumerate(layers):
        points = ridge(width, height * base, amplitude, [(width / 2.3, 1.0), (width / 7.1, 0.45),
                                                         (173.0, 0.12)], 1.3 * i + 0.2)
        fill_below(draw, points, height, colour)
    return image


def draw_moon(size):
    width, height = size
    image = Image.new("L", size, 20)
    draw = ImageDraw.Draw(image)
    cx, cy, r = width * 0.5, height * 0.5, min(size) * 0.38
    draw.ellipse([cx - r, cy - r, cx + r, cy + r], fill=200)
    for k in range(14):  # craters
        angle = k * 2.4
        distance = r * (0.15 + 0.06 * (k % 11))
        x, y = cx + math.cos(angle) * distance, cy + math.sin(angle) * distance
        cr = r * (0.05 + 0.02 * (k % 4))
        draw.ellipse([x - cr, y - cr, x + cr, y + cr], fill=150 + 5 * (k % 5))
    return image


def draw_lighthouse(size):
    """A tall scene, the way a phone held upright takes it."""
    width, height = size
    image = vertical_gradient(size, [(0.0, (250, 170, 90)), (0.6, (250, 220, 170)), (0.61, (40, 90, 140)),
                                     (1.0, (20, 50, 90))])
    draw = ImageDraw.Draw(image)
    cx, base, top = width * 0.5, height * 0.66, height * 0.18
    for k in range(6):  # a tower in red and white bands, narrowing upwards
        y0, y1 = base - (base - top) * k / 6, base - (base - top) * (k + 1) / 6
        half0, half1 = width * (0.11 - 0.008 * k), width * (0.11 - 0.008 * (k + 1))
        draw.polygon([(cx - half0, y0), (cx + half0, y0), (cx + half1, y1), (cx - half1, y1)],
                     fill=(200, 40, 40) if k % 2 == 0 else (245, 245, 240))
    draw.rectangle([cx - width * 0.06, top - height * 0.06, cx + width * 0.06, top], fill=(250, 240, 150))
    draw.polygon([(cx - width * 0.08, top - height * 0.06), (cx + width * 0.08, top - height * 0.06),
                  (cx, top - height * 0.11)], fill=(60, 40, 40))
    fill_below(draw, ridge(width, height * 0.7, 12, [(width / 1.7, 1.0)], 0.4), height, (70, 60, 50))
    return image


def write_sideways_jpeg(image, path):
    """The picture stored turned a quarter counter-clockwise, with EXIF orientation 6 saying that
    it is to be turned a quarter clockwise to stand upright, as cameras write it."""
    with tempfile.TemporaryDirectory() as scratch:
        stored = os.path.join(scratch, "stored.jpg")
        compress_baseline_jpeg(image.transpose(Image.Transpose.ROTATE_90), stored)
        data = open(stored, "rb").read()
    tiff = b"II*\x00" + struct.pack("<IH", 8, 1) + struct.pack("<HHII", 0x0112, 3, 1, 6) + struct.pack("<I", 0)
    payload = b"Exif\x00\x00" + tiff
    app1 = b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload
    with open(path, "wb") as out:
        out.write(data[:2] + app1 + data[2:])


def draw_kite(size):
    """A PNG with transparency: a kite and its tail over nothing, which the saver shows on black."""
    width, height = size
    image = Image.new("RGBA", size, (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)
    cx, cy = width * 0.45, height * 0.38
    draw.polygon([(cx, cy - height * 0.3), (cx + width * 0.22, cy), (cx, cy + height * 0.34),
                  (cx - width * 0.22, cy)], fill=(40, 160, 230, 230))
    draw.line([(cx, cy - height * 0.3), (cx, cy + height * 0.34)], fill=(250, 250, 250, 255), width=3)
    draw.line([(cx - width * 0.22, cy), (cx + width * 0.22, cy)], fill=(250, 250, 250, 255), width=3)
    for k in range(8):  # the tail's bows, fading out
        x, y = cx + math.sin(k * 0.9) * width * 0.05, cy + height * (0.36 + 0.07 * k)
        draw.ellipse([x - 9, y - 6, x + 9, y + 6], fill=(240, 80, 60, 255 - 26 * k))
    return image


def write_samples():
    os.makedirs(SAMPLES, exist_ok=True)
    pictures = [
        ("dunes.bmp", lambda path: draw_dunes((800, 600)).save(path)),                  # 24-bit BMP
        ("mandelbrot.bmp", lambda path: draw_mandelbrot((640, 480)).save(path)),        # 8-bit BMP
        ("orchard.jpg", lambda path: compress_baseline_jpeg(draw_orchard((720, 540)), path)),
        ("moon.jpg", lambda path: compress_baseline_jpeg(draw_moon((480, 360)), path, grayscale=True)),
        ("panorama.jpg", lambda path: compress_baseline_jpeg(draw_panorama((1920, 1080)), path, 85)),
        ("lighthouse.jpg", lambda path: write_sideways_jpeg(draw_lighthouse((450, 600)), path)),  # EXIF 6
        ("kite.png", lambda path: draw_kite((400, 500)).save(path)),                      # RGBA PNG
    ]
    for name, write in pictures:
        path = os.path.join(SAMPLES, name)
        write(path)
        with Image.open(path) as picture:
            print("%s: %dx%d %s" % (os.path.relpath(path, ROOT), picture.size[0], picture.size[1], picture.mode))


def main():
    logo = os.path.join(RESOURCES, "logo.jpg")
    compress_baseline_jpeg(draw_logo(), logo)
    check_logo(logo)
    write_icon(os.path.join(RESOURCES, "screensaver.ico"))
    write_samples()


if __name__ == "__main__":
    main()
