#!/usr/bin/python3
"""scrtool fit, prepare and palette against models written here from their rules.

The fit model is the reduction taken literally: new size from the aspect ratios (no side below 1),
one weight array over the longer side, every row averaged along its runs, every column down its runs, the rows
packed to the new length. prepare is fit after a load, the fit aimed at the picture as it will
stand, then the turn that its EXIF orientation asks for. The palette model is the octree taken literally (a node per path, a
merge of the newest deepest node whenever there are more than 236 leaves) or the colour table.
Pictures are made with Pillow; rows are visited bottom-up, as a BMP stores them.

usage: scrtool_fit_palette_test.py SCRTOOL
"""
import os
import random
import struct
import subprocess
import sys
import tempfile

from PIL import Image

SCRTOOL = sys.argv[1]
COLOR_LIMIT = 236


def stride(width, bits):
    return ((width * bits + 31) // 32) * 4


def read_bmp(path):
    """Header fields, colour table entries (r, g, b) and the 24-bit rows, bottom row first."""
    data = open(path, "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    size, width, height, _, bits = struct.unpack_from("<IiiHH", data, 14)
    used = struct.unpack_from("<I", data, 14 + 32)[0]
    count = used or (1 << bits if bits <= 8 else 0)
    table = [tuple(data[14 + size + 4 * i + c] for c in (2, 1, 0)) for i in range(count)]
    rows = [data[offset + y * stride(width, bits):offset + (y + 1) * stride(width, bits)] for y in range(height)]
    return {"width": width, "height": height, "bits": bits, "table": table, "rows": rows, "size": len(data)}


def new_size(sw, sh, tw, th):
    source = sw / sh if sh else float("inf")
    target = tw / th if th else (float("inf") if tw else float("nan"))
    if source >= target:
        return tw, (sh * tw // sw if sw else 0)
    return (sw * th // sh if sh else 0), th


def weights(n, m):
    error, run, result = 2 * m - n, 0, []
    for _ in range(n):
        run += 1
        if error < 0:
            result.append(0)
            error += 2 * m
        else:
            result.append(run)
            run = 0
            error += 2 * (m - n)
    return result


def fit(sw, sh, rows, tw, th):
    """The reduced picture's size and its visible rows, bottom row first."""
    nw, nh = new_size(sw, sh, tw, th)
    nw, nh = max(nw, 1), max(nh, 1)  # a thin picture keeps a line of itself
    w = weights(sw, nw) if sw > sh else weights(sh, nh)
    row_length = stride(sw, 24)
    block = bytearray(b"".join(rows))
    for y in range(sh):
        base, out, sums = y * row_length, y * row_length, [0, 0, 0]
        for x in range(sw):
            for c in range(3):
                sums[c] += block[base + 3 * x + c]
            if w[x]:
                for c in range(3):
                    block[out + c] = sums[c] // w[x]
                out, sums = out + 3, [0, 0, 0]
    for x in range(sw):
        out, sums = 3 * x, [0, 0, 0]
        for y in range(sh):
            for c in range(3):
                sums[c] += block[3 * x + y * row_length + c]
            if w[y]:
                for c in range(3):
                    block[out + c] = sums[c] // w[y]
                out, sums = out + row_length, [0, 0, 0]
    return nw, nh, [bytes(block[y * row_length:y * row_length + 3 * nw]) for y in range(nh)]


class Node:
    __slots__ = ("leaf", "count", "sums", "children", "next")

    def __init__(self):
        self.leaf, self.count, self.sums, self.children, self.next = False, 0, [0, 0, 0], [None] * 8, None


def octree_colors(pixels):
    root, leaves, reducible = [None], [0], [None] * 9

    def add(rgb):
        holder, index, level = root, 0, 0
        while True:
            if holder[index] is None:
                node = Node()
                if level == 8:
                    node.leaf = True
                    leaves[0] += 1
                else:
                    node.next, reducible[level] = reducible[level], node
                holder[index] = node
            node = holder[index]
            if node.leaf:
                node.count += 1
                node.sums = [s + v for s, v in zip(node.sums, rgb)]
                return
            shift = 7 - level
            index = sum(((v >> shift) & 1) << (2 - c) for c, v in enumerate(rgb))
            holder, level = node.children, level + 1

    def reduce():
        level = 7
        while level > 0 and reducible[level] is None:
            level -= 1
        node = reducible[level]
        reducible[level] = node.next
        freed = 0
        for i, child in enumerate(node.children):
            if child:
                node.sums = [s + v for s, v in zip(node.sums, child.sums)]
                node.count += child.count
                node.children[i] = None
                freed += 1
        node.leaf = True
        leaves[0] += 1 - freed

    for rgb in pixels:
        add(rgb)
        while leaves[0] > COLOR_LIMIT:
            reduce()
    colors = []

    def collect(node):
        if node is None:
            return
        if node.leaf:
            colors.append(tuple(s // node.count for s in node.sums))
            return
        for child in node.children:
            collect(child)

    collect(root[0])
    return colors


def expected_palette(bmp, fit_to=None):
    if bmp["table"]:
        return ["%02X%02X%02X" % rgb for rgb in bmp["table"]]
    if bmp["bits"] != 24:
        return ["none"]
    width, height, rows = bmp["width"], bmp["height"], bmp["rows"]
    if fit_to and (width > fit_to[0] or height > fit_to[1]):
        width, height, rows = fit(width, height, rows, *fit_to)
    pixels = [(row[3 * x + 2], row[3 * x + 1], row[3 * x]) for row in rows for x in range(width)]
    colors = octree_colors(pixels)
    return ["%02X%02X%02X" % rgb for rgb in colors] + ["000000"] * (COLOR_LIMIT - len(colors))


def make_picture(path, width, height, kind, rng):
    if kind == "noise":
        data = [(rng.randrange(256), rng.randrange(256), rng.randrange(256)) for _ in range(width * height)]
    elif kind == "smooth":
        data = [((3 * x + y) % 256, (5 * y) % 256, (x * y + rng.randrange(6)) % 256)
                for y in range(height) for x in range(width)]
    else:
        colors = [(rng.randrange(256), rng.randrange(256), rng.randrange(256)) for _ in range(7)]
        data = [colors[(x // 5 + y // 3) % 7] for y in range(height) for x in range(width)]
    image = Image.new("RGB", (width, height))
    image.putdata(data)
    image.save(path)


def turned_upright(width, height, rows, orientation):
    """Rows (bottom first, 3 bytes a pixel, no padding) of the picture turned as EXIF says."""
    top_down = [[row[3 * x:3 * x + 3] for x in range(width)] for row in reversed(rows)]
    at = {1: lambda x, y: (x, y), 2: lambda x, y: (width - 1 - x, y), 3: lambda x, y: (width - 1 - x, height - 1 - y),
          4: lambda x, y: (x, height - 1 - y), 5: lambda x, y: (y, x), 6: lambda x, y: (y, height - 1 - x),
          7: lambda x, y: (width - 1 - y, height - 1 - x), 8: lambda x, y: (width - 1 - y, x)}[orientation]
    upright_width, upright_height = (height, width) if orientation >= 5 else (width, height)
    upright = []
    for y in range(upright_height):
        upright.append(b"".join(top_down[at(x, y)[1]][at(x, y)[0]] for x in range(upright_width)))
    return upright_width, upright_height, list(reversed(upright))


def jpeg_with_orientation(path, width, height, orientation, rng):
    make_picture(path + ".bmp", width, height, "smooth", rng)
    exif = Image.Exif()
    exif[0x0112] = orientation
    Image.open(path + ".bmp").save(path, "JPEG", quality=92, exif=exif.tobytes())


def djpeg_rows(path):
    subprocess.run(["djpeg", "-bmp", "-outfile", path + ".djpeg.bmp", path], check=True, capture_output=True)
    bmp = read_bmp(path + ".djpeg.bmp")
    return bmp["width"], bmp["height"], bmp["rows"]


def flat_gray_jpeg(path, width, height):
    """A valid mid-grey baseline JPEG of any size in a few megabytes: Pillow's standard tables code
    each 8 × 8 block in 6 bits (DC unchanged, end of block), four blocks in three bytes."""
    small = os.path.join(os.path.dirname(path), "flat8.jpg")
    Image.new("L", (8, 8), 128).save(small, "JPEG", quality=90)
    data = open(small, "rb").read()
    sof = data.index(b"\xff\xc0")
    data = data[:sof + 5] + struct.pack(">HH", height, width) + data[sof + 9:]
    sos = data.index(b"\xff\xda")
    header = data[:sos + 2 + struct.unpack_from(">H", data, sos + 2)[0]]
    blocks = ((width + 7) // 8) * ((height + 7) // 8)
    tail_bits = "001010" * (blocks % 4)
    tail_bits += "1" * (-len(tail_bits) % 8)
    tail = bytes(int(tail_bits[i:i + 8], 2) for i in range(0, len(tail_bits), 8))
    with open(path, "wb") as out:
        out.write(header + b"\x28\xa2\x8a" * (blocks // 4) + tail + b"\xff\xd9")


def run(arguments):
    return subprocess.run([SCRTOOL] + arguments, capture_output=True, text=True)


def main():
    rng = random.Random(20240611)
    root = tempfile.mkdtemp(prefix="fit-palette-", dir=os.environ.get("TMPDIR", "/tmp"))
    failures, checked = 0, 0

    def check(ok, what):
        nonlocal failures, checked
        checked += 1
        if not ok:
            failures += 1
            print("FAIL:", what)

    fit_cases = [(301, 207, 100, 100), (640, 480, 200, 150), (97, 333, 50, 60), (205, 154, 204, 153),
                 (154, 205, 153, 204), (4, 2, 2, 1), (900, 2, 300, 200), (64, 48, 0, 0), (50, 40, 60, 70),
                 (120, 90, 7, 3)]
    for i in range(6):
        sw, sh = rng.randrange(1, 260), rng.randrange(1, 260)
        fit_cases.append((sw, sh, rng.randrange(0, sw + 2), rng.randrange(0, sh + 2)))
    for n, (sw, sh, tw, th) in enumerate(fit_cases):
        source, out = os.path.join(root, "in%d.bmp" % n), os.path.join(root, "out%d.bmp" % n)
        make_picture(source, sw, sh, ("noise", "smooth", "flat")[n % 3], rng)
        bmp = read_bmp(source)
        result = run(["fit", source, str(tw), str(th), out])
        what = "fit %dx%d into %dx%d" % (sw, sh, tw, th)
        if sw > tw or sh > th:
            nw, nh, rows = fit(sw, sh, bmp["rows"], tw, th)
        else:
            nw, nh, rows = sw, sh, [row[:3 * sw] for row in bmp["rows"]]
        check(result.returncode == 0 and result.stdout == "fit %d %d\n" % (nw, nh),
              "%s: printed %r, status %d" % (what, result.stdout, result.returncode))
        if result.returncode != 0:
            continue
        written = read_bmp(out)
        check(written["size"] == bmp["size"], "%s: the file changed size" % what)
        check((written["width"], written["height"]) == (nw, nh), "%s: header says %dx%d" % (what, written["width"], written["height"]))
        got = [row[:3 * nw] for row in written["rows"]]
        check(got == rows, "%s: pixels differ from the model" % what)
        # prepare --whole of a picture that loads whole gives exactly what load and fit give; the
        # streamed prepare the same pixels, in a block of their own size.
        result = run(["prepare", source, str(tw), str(th), "--whole", "--out", out + ".prepared"])
        check(result.stdout == "ok %d %d 24\n" % (nw, nh) and result.returncode == 0
              and open(out + ".prepared", "rb").read() == open(out, "rb").read(),
              "prepare --whole %s: %r, or its file differs from fit's" % (what, result.stdout))
        result = run(["prepare", source, str(tw), str(th), "--out", out + ".streamed"])
        check(result.stdout == "ok %d %d 24\n" % (nw, nh) and result.returncode == 0,
              "prepare %s: %r" % (what, result.stdout))
        if result.returncode == 0:
            streamed = read_bmp(out + ".streamed")
            check((streamed["width"], streamed["height"]) == (nw, nh)
                  and [row[:3 * nw] for row in streamed["rows"]] == rows,
                  "prepare %s: pixels differ from fit's" % what)

        fit_to = (tw, th) if n % 2 else None
        arguments = ["palette", source] + (["--fit", str(tw), str(th)] if fit_to else [])
        result = run(arguments)
        check(result.returncode == 0 and result.stdout.split() == expected_palette(bmp, fit_to),
              "palette %s%s: differs from the model" % (what, " --fit" if fit_to else ""))

    # Pictures with colour tables and without, beside the 24-bit ones above.
    suite = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "bmpsuite", "g")
    for name in ("pal1.bmp", "pal4.bmp", "pal8.bmp", "pal8-0.bmp", "rgb16.bmp", "rgb32.bmp", "rgb24.bmp"):
        path = os.path.join(suite, name)
        result = run(["palette", path])
        check(result.returncode == 0 and result.stdout.split() == expected_palette(read_bmp(path)),
              "palette %s: differs from the model" % name)

    # Photos stored sideways: fitted to the area as they will stand, then turned upright.
    for orientation in range(1, 9):
        source = os.path.join(root, "oriented%d.jpg" % orientation)
        jpeg_with_orientation(source, 61, 37, orientation, rng)
        sw, sh, rows = djpeg_rows(source)
        for tw, th in [(200, 200), (30, 50)]:
            what = "prepare of orientation %d into %dx%d" % (orientation, tw, th)
            fit_width, fit_height = (th, tw) if orientation >= 5 else (tw, th)
            if sw > fit_width or sh > fit_height:
                nw, nh, fitted = fit(sw, sh, rows, fit_width, fit_height)
            else:
                nw, nh, fitted = sw, sh, rows
            uw, uh, upright = turned_upright(nw, nh, fitted, orientation)
            out = source + ".%dx%d.bmp" % (tw, th)
            result = run(["prepare", source, str(tw), str(th), "--out", out])
            check(result.stdout == "ok %d %d 24\n" % (uw, uh), "%s: printed %r" % (what, result.stdout))
            if result.stdout.startswith("ok"):
                written = read_bmp(out)
                check([row[:3 * uw] for row in written["rows"]] == upright, "%s: pixels differ from the model" % what)

    # A panorama whose rows would pass 2^31 bytes is decoded at half size and shown at screen size.
    panorama = os.path.join(root, "panorama.jpg")
    flat_gray_jpeg(panorama, 65000, 11100)
    result = run(["prepare", panorama, "1024", "768", "--out", panorama + ".bmp"])
    check(result.stdout == "ok 1024 174 24\n", "prepare of the over-limit panorama: %r" % result.stdout)
    if result.stdout.startswith("ok"):
        rows = read_bmp(panorama + ".bmp")["rows"]
        check(all(row[:3 * 1024] == b"\x80" * 3 * 1024 for row in rows), "the panorama is not mid-grey")
    check(run(["load", panorama]).stdout == "ok 32500 5550 24\n", "load of the over-limit panorama")

    # What does not load: fit says why on standard output, palette on standard error; both fail.
    junk = os.path.join(root, "junk.bmp")
    with open(junk, "wb") as f:
        f.write(b"BM" + bytes(40))
    result = run(["fit", junk, "10", "10", os.path.join(root, "never.bmp")])
    check(result.returncode == 1 and result.stdout.startswith("none: ") and not os.path.exists(os.path.join(root, "never.bmp")),
          "fit of an unloadable file: %r, status %d" % (result.stdout, result.returncode))
    result = run(["palette", junk])
    check(result.returncode == 1 and result.stdout == "" and result.stderr.strip() != "",
          "palette of an unloadable file: %r / %r, status %d" % (result.stdout, result.stderr, result.returncode))
    check(run(["fit", junk, "ten", "10", junk]).returncode == 2, "fit with a bad size is a usage error")
    check(run(["palette", junk, "--fit", "10"]).returncode == 2, "palette with half a --fit is a usage error")
    result = run(["prepare", junk, "10", "10"])
    check(result.returncode == 0 and result.stdout.startswith("none: "), "prepare of an unloadable file: %r" % result.stdout)
    check(run(["prepare", junk, "10"]).returncode == 2, "prepare without a height is a usage error")

    print("scrtool fit/prepare/palette: %d checks, %d failed" % (checked, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
