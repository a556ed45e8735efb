#!/usr/bin/python3
"""Checks the built screensaver.scr files as Windows will load them, from `objdump -p`:

  - the machine (i386 for build/win32, x86-64 for build/win64) and the Windows GUI subsystem;
  - subsystem and OS version 4.0, so that Windows 95/98/NT 4 accept the program;
  - imports only from KERNEL32, USER32, GDI32, ADVAPI32, COMCTL32, COMDLG32 and msvcrt: no
    runtime DLL of the compiler (libgcc, libstdc++, winpthread) and never IMM32, PASSWORD.CPL or
    MPR.DLL, which the program loads by name at run time where they exist;
  - the PE32's imported functions each listed in tests/pe_imports_win32.txt, where every name has
    been reviewed as present on Windows 98 (its loader refuses a program that imports a name a
    system DLL does not export); a new import fails until it is reviewed and listed;
  - exactly the exports that resources/screensaver.def lists.

Usage: pe_check.py [BUILD_DIR ...]   (default: build/win32 build/win64)
"""
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MODULE_DEFINITION = os.path.join(ROOT, "resources", "screensaver.def")
REVIEWED_IMPORTS = os.path.join(ROOT, "tests", "pe_imports_win32.txt")

ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "comctl32.dll", "comdlg32.dll",
                "msvcrt.dll"}
NEVER_LINKED = ("imm32", "password.cpl", "mpr.dll", "libgcc", "libstdc++", "libwinpthread")

ARCHITECTURES = {
    "win32": {"objdump": "i686-w64-mingw32-objdump", "format": "pei-i386", "magic": "010b"},
    "win64": {"objdump": "x86_64-w64-mingw32-objdump", "format": "pei-x86-64", "magic": "020b"},
}


def build_kind(build_dir):
    """win32 or win64, from the build's CMake cache (a build directory may have any name)."""
    try:
        with open(os.path.join(build_dir, "CMakeCache.txt")) as f:
            for line in f:
                if line.startswith("SAVER_BUILD:"):
                    return line.split("=", 1)[1].strip()
    except OSError:
        pass
    return os.path.basename(os.path.normpath(build_dir))


def read_pe(path, objdump):
    """The parts of `objdump -p` this check needs."""
    text = subprocess.run([objdump, "-p", path], capture_output=True, text=True, check=True).stdout
    header = {}
    for key in ("Magic", "Subsystem", "MajorOSystemVersion", "MinorOSystemVersion", "MajorSubsystemVersion",
                "MinorSubsystemVersion"):
        match = re.search(r"^%s\s+(.*)$" % key, text, re.M)
        header[key] = match.group(1).strip() if match else None
    file_format = re.search(r"file format (\S+)", text)
    header["format"] = file_format.group(1) if file_format else None

    imports = {}
    current = None
    for line in text.splitlines():
        dll = re.match(r"^\s*DLL Name: (\S+)", line)
        if dll:
            current = imports.setdefault(dll.group(1), [])
            continue
        if current is None:
            continue
        if not line.strip():
            current = None
            continue
        entry = re.match(r"^\s*[0-9a-f]+\s+([0-9a-f]+)\s+(\S+)\s*$", line)
        if entry:  # an import by ordinal has no name: "<none>"
            current.append(entry.group(2) if entry.group(2) != "<none>" else "ordinal " + entry.group(1))

    exports = re.findall(r"^\s*\[\s*\d+\]\s+(\S+)", text.split("[Ordinal/Name Pointer] Table", 1)[1], re.M) \
        if "[Ordinal/Name Pointer] Table" in text else []
    return header, imports, exports


def module_definition_exports(path=MODULE_DEFINITION):
    """The names the .def exports now (comment lines start with ';')."""
    names, in_exports = [], False
    with open(path) as f:
        for raw in f:
            line = raw.split(";", 1)[0].strip()
            if not line:
                continue
            if line.upper() == "EXPORTS":
                in_exports = True
            elif in_exports:
                names.append(line.split()[0].split("=", 1)[0])
    return names


def reviewed_imports(path=REVIEWED_IMPORTS):
    """{(dll in lower case, function): justification} from the reviewed list."""
    reviewed = {}
    with open(path) as f:
        for number, raw in enumerate(f, 1):
            line = raw.strip()
            if not line or line.startswith("#"):
                continue
            parts = line.split(None, 2)
            if len(parts) < 3:
                raise ValueError("%s:%d: needs DLL, function and a justification" % (path, number))
            reviewed[(parts[0].lower(), parts[1])] = parts[2]
    return reviewed


def check_scr(path, kind):
    """(problems, notes) for one .scr of build kind win32 or win64."""
    problems, notes = [], []
    if not os.path.exists(path):
        return ["%s does not exist" % path], notes
    expected = ARCHITECTURES[kind]
    header, imports, exports = read_pe(path, expected["objdump"])

    if header["format"] != expected["format"]:
        problems.append("file format %s, expected %s" % (header["format"], expected["format"]))
    if not (header["Magic"] or "").startswith(expected["magic"]):
        problems.append("optional header magic %s, expected %s" % (header["Magic"], expected["magic"]))
    if "(Windows GUI)" not in (header["Subsystem"] or ""):
        problems.append("subsystem %s, expected Windows GUI" % header["Subsystem"])
    for kind_of_version in ("OSystem", "Subsystem"):
        major = header["Major%sVersion" % kind_of_version]
        minor = header["Minor%sVersion" % kind_of_version]
        if (major, minor) != ("4", "0"):
            problems.append("%s version %s.%s, expected 4.0" % (kind_of_version, major, minor))

    for dll, functions in sorted(imports.items()):
        lower = dll.lower()
        if any(lower.startswith(name) for name in NEVER_LINKED):
            problems.append("imports %s, which must never be linked" % dll)
        elif lower not in ALLOWED_DLLS:
            problems.append("imports %s, which is not one of the allowed system DLLs" % dll)
    if kind == "win32":
        reviewed = reviewed_imports()
        imported = {(dll.lower(), name) for dll, names in imports.items() for name in names}
        for dll, name in sorted(imported - set(reviewed)):
            problems.append("import %s!%s is not reviewed for Windows 98 (tests/pe_imports_win32.txt)" % (dll, name))
        unused = sorted(set(reviewed) - imported)
        if unused:
            notes.append("reviewed but no longer imported: %s" % ", ".join("%s!%s" % pair for pair in unused))
        notes.append("%d imported functions, all reviewed for Windows 98" % len(imported)
                     if not imported - set(reviewed) else "%d imported functions" % len(imported))

    wanted = module_definition_exports()
    if sorted(exports) != sorted(wanted):
        problems.append("exports %s, expected %s (resources/screensaver.def)" % (sorted(exports), sorted(wanted)))
    waiting = [name for name in ("ScreenSaverProc", "ScreenSaverConfigureDialog") if name not in wanted]
    if waiting:
        notes.append("not yet exported (not listed in the .def): %s" % ", ".join(waiting))
    notes.append("imports from %s" % ", ".join(sorted(imports)))
    return problems, notes


def main(argv):
    build_dirs = argv or [os.path.join(ROOT, "build", "win32"), os.path.join(ROOT, "build", "win64")]
    failed = 0
    for build_dir in build_dirs:
        kind = build_kind(build_dir)
        path = os.path.join(build_dir, "screensaver.scr")
        if kind not in ARCHITECTURES:
            print("FAIL %s: not a win32 or win64 build" % build_dir)
            failed += 1
            continue
        problems, notes = check_scr(path, kind)
        for note in notes:
            print("  %s: %s" % (os.path.relpath(path, ROOT), note))
        if problems:
            failed += 1
            print("FAIL %s: %s" % (os.path.relpath(path, ROOT), "; ".join(problems)))
        else:
            print("PASS %s" % os.path.relpath(path, ROOT))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
