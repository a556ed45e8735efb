#!/usr/bin/python3
"""Writes the release package OUT_DIR/screensaver-VERSION.zip: the two builds of screensaver.scr,
each in a folder named for the Windows it is for, the readme for Windows users and the
third-party notices (both kept in release/). VERSION is the file version of the version record in
resources/screensaver.rc: it changes with every release of the file, where the product version
stays. Prints the package's path and listing.

usage: package_zip.py WIN32_SCR WIN64_SCR OUT_DIR
"""
import os
import re
import struct
import sys
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RESOURCE_SCRIPT = os.path.join(ROOT, "resources", "screensaver.rc")
RELEASE = os.path.join(ROOT, "release")

MACHINE_I386 = 0x14C
MACHINE_AMD64 = 0x8664
# The programs: the build that is given first, then the second; name in the package, machine.
PROGRAMS = (
    ("32-bit/screensaver.scr", MACHINE_I386),
    ("64-bit/screensaver.scr", MACHINE_AMD64),
)
# Texts for Windows users, in release/ and under the same names in the package.
TEXTS = ("README.txt", "THIRD-PARTY-NOTICES.txt")


def file_version(resource_script=RESOURCE_SCRIPT):
    """"a.b.c.d" from the FILEVERSION statement, or None when it is missing or the record's
    FileVersion text says otherwise (Windows shows one or the other, depending on where one
    looks)."""
    with open(resource_script, encoding="utf-8") as f:
        text = f.read()
    fixed = re.search(r"^\s*FILEVERSION\s+(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*$", text, re.M)
    written = re.search(r'^\s*VALUE\s+"FileVersion"\s*,\s*"([^"]*)"', text, re.M)
    if not fixed or not written:
        return None
    version = ".".join(fixed.groups())
    return version if written.group(1) == version else None


def pe_machine(path):
    """The Machine field of a PE file's header, or None when the file is no PE file."""
    with open(path, "rb") as f:
        start = f.read(64)
        if len(start) < 64 or start[:2] != b"MZ":
            return None
        f.seek(struct.unpack_from("<I", start, 0x3C)[0])
        header = f.read(6)
    if len(header) < 6 or header[:4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", header, 4)[0]


def windows_text(path):
    """A UTF-8 text of the tree as Notepad of every Windows reads it: Windows-1252, CRLF line
    ends. None when a character has no place in Windows-1252."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    try:
        return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("cp1252")
    except UnicodeEncodeError:
        return None


def package_name(version):
    return "screensaver-%s" % version


def write_package(scr_files, out_dir):
    """Writes the package for the two .scr files (32-bit, 64-bit); returns (path, problems): the
    path when written, else None and what stood in the way."""
    version = file_version()
    if not version:
        return None, ["no FILEVERSION in %s that its FileVersion text agrees with" % RESOURCE_SCRIPT]
    problems = []
    for scr, (name, machine) in zip(scr_files, PROGRAMS):
        if not os.path.isfile(scr):
            problems.append("%s is missing" % scr)
        elif pe_machine(scr) != machine:
            found = pe_machine(scr)
            problems.append("%s is not the program for %s (PE machine %s, expected 0x%X)" %
                            (scr, name, "none" if found is None else "0x%X" % found, machine))
    texts = []
    for name in TEXTS:
        data = windows_text(os.path.join(RELEASE, name))
        if data is None:
            problems.append("release/%s holds a character Windows-1252 lacks" % name)
        texts.append((name, data))
    if problems:
        return None, problems

    folder = package_name(version)
    os.makedirs(out_dir, exist_ok=True)
    path = os.path.join(out_dir, folder + ".zip")
    partial = path + ".part"
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED) as package:
        for name, data in texts:
            entry = zipfile.ZipInfo.from_file(os.path.join(RELEASE, name), folder + "/" + name)
            entry.compress_type = zipfile.ZIP_DEFLATED
            package.writestr(entry, data)
        for scr, (name, _) in zip(scr_files, PROGRAMS):
            package.write(scr, folder + "/" + name)
    os.replace(partial, path)
    return path, []


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    path, problems = write_package(argv[:2], argv[2])
    for problem in problems:
        print("package: " + problem, file=sys.stderr)
    if not path:
        return 1
    print("package: %s" % os.path.relpath(path))
    with zipfile.ZipFile(path) as package:
        for entry in package.infolist():
            print("%10d  %s" % (entry.file_size, entry.filename))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
