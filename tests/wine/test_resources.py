"""The program's resources: the logo file as the memory source needs it, the built .scr's
resources read as the system reads them, and the logo decoded through the resource API."""
import os
import struct
import sys

import winebench
from winebench import every_build, expect_checks_passed, fail, once, windows_path

sys.path.insert(0, os.path.join(winebench.ROOT, "resources"))
import make_artwork  # noqa: E402

LOGO = os.path.join(winebench.ROOT, "resources", "logo.jpg")


@once
def test_logo_file_is_plain_baseline_jfif(ctx):
    with open(LOGO, "rb") as f:
        data = f.read()
    markers = make_artwork.jpeg_markers(data)
    names = [name for name, _ in markers]
    # Nothing the decoder would skip, nothing after the image: one fill, no skip.
    if names != make_artwork.EXPECTED_LOGO_MARKERS:
        fail("segments %s" % names)
    if markers[1][1] != 16 or data[6:11] != b"JFIF\0":
        fail("APP0 is not a 16-byte JFIF header")
    frame = data.index(b"\xff\xc0")
    precision, height, width, components = struct.unpack(">BHHB", data[frame + 4:frame + 10])
    if (precision, width, height, components) != (8, 609, 448, 3):
        fail("frame: %d-bit %dx%d, %d components" % (precision, width, height, components))
    if not data.endswith(b"\xff\xd9"):
        fail("bytes after the end-of-image marker")


@every_build
def test_scr_resources(ctx):
    # A PE32 that cannot run here is still read: by the x64 test program, as data.
    reader = ctx.build if not ctx.build.why_not_runnable() else ctx.build_of_kind("win64")
    if reader is None:
        fail("no build here can run the reader")
    result = ctx.run(reader.program("scr_resources_test"), [windows_path(ctx.build.scr), windows_path(LOGO)],
                     build=reader)
    expect_checks_passed(result)


def test_logo_decodes_from_the_resource(ctx):
    expect_checks_passed(ctx.run("logo_resource_test", [windows_path(LOGO)]))
