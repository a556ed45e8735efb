"""The PE check of each build's screensaver.scr (tests/pe_check.py), the PE32 included where it
cannot run, and the release package made of the two builds (scripts/package_zip.py)."""
import glob
import os
import re
import struct
import sys
import tempfile
import zipfile

import pe_check
import winebench
from winebench import every_build, fail, once

sys.path.insert(0, os.path.join(winebench.ROOT, "scripts"))
import package_zip  # noqa: E402


@every_build
def test_pe_check(ctx):
    problems, _ = pe_check.check_scr(ctx.build.scr, ctx.build.kind)
    if problems:
        fail("; ".join(problems))


def fixed_file_version(path):
    """"a.b.c.d" from the VS_FIXEDFILEINFO of a built file, as Windows shows it in its properties."""
    with open(path, "rb") as f:
        data = f.read()
    start = data.find(struct.pack("<I", 0xFEEF04BD))
    if start < 0:
        return None
    most, least = struct.unpack_from("<II", data, start + 8)
    return "%d.%d.%d.%d" % (most >> 16, most & 0xFFFF, least >> 16, least & 0xFFFF)


def built_version(source_name):
    """The release of a library that scripts/setup built the Windows builds from, by the name of
    its unpacked source folder (libjpeg-turbo-2.1.5, libpng1.6-1.6.39, zlib-1.2.13.dfsg)."""
    sources = glob.glob(os.path.join(winebench.ROOT, "build", "deps", "src", source_name + "-*", ""))
    if not sources:
        return None
    return os.path.basename(os.path.dirname(sources[0]))[len(source_name) + 1:].replace(".dfsg", "")


@once
def test_release_package(ctx):
    win32, win64 = ctx.build_of_kind("win32"), ctx.build_of_kind("win64")
    if not win32 or not win64:
        fail("needs both the win32 and the win64 build")
    with tempfile.TemporaryDirectory() as scratch:
        # The builds in the wrong order, or one missing, make no package.
        refused = {"swapped": [win64.scr, win32.scr],
                   "missing": [win32.scr, os.path.join(scratch, "none.scr")]}
        for why, programs in refused.items():
            path, problems = package_zip.write_package(programs, scratch)
            if path or not problems:
                fail("a package was made of %s builds" % why)

        path, problems = package_zip.write_package([win32.scr, win64.scr], scratch)
        if not path:
            fail("; ".join(problems))
        with zipfile.ZipFile(path) as package:
            contents = {entry: package.read(entry) for entry in package.namelist()}

    folder = "screensaver-%s" % fixed_file_version(win32.scr)
    if os.path.basename(path) != folder + ".zip":
        fail("package %s, but the programs' file version makes %s.zip" % (os.path.basename(path), folder))
    programs = {folder + "/32-bit/screensaver.scr": win32.scr, folder + "/64-bit/screensaver.scr": win64.scr}
    texts = [folder + "/README.txt", folder + "/THIRD-PARTY-NOTICES.txt"]
    if sorted(contents) != sorted(list(programs) + texts):
        fail("package holds %s" % sorted(contents))
    for name, scr in programs.items():
        with open(scr, "rb") as f:
            if contents[name] != f.read():
                fail("%s is not %s" % (name, scr))
    for name in texts:
        if re.search(rb"(?<!\r)\n", contents[name]):
            fail("%s has a line not ended by CR LF" % name)
    readme, notices = (contents[name].decode("cp1252") for name in texts)
    for name in programs:
        if name[len(folder) + 1:].replace("/", "\\") not in readme:
            fail("the readme does not name %s" % name)
    for notice in ("This software is based in part on the work of the Independent JPEG Group.",
                   "libjpeg-turbo %s" % built_version("libjpeg-turbo"), "MinGW-w64 runtime licensing",
                   "libpng %s" % built_version("libpng1.6"), "PNG Reference Library License version 2",
                   "zlib %s" % built_version("zlib"), "Jean-loup Gailly and Mark Adler",
                   "Little CMS %s" % built_version("lcms2"), "Marti Maria Saguer",
                   "libwebp %s" % built_version("libwebp"), "Additional IP Rights Grant (Patents)"):
        if notice not in notices:
            fail("the notices lack %r" % notice)
