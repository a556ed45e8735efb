#!/usr/bin/python3
"""Runs the screen saver as the display settings' preview: a small parent window made by a test
program starts "SCR /p HWND", the preview runs inside it until it has drawn its first picture,
then the parent closes and the preview must end by itself with exit code 0.

Wine 8 shows nothing that one process draws in a child window of another process's window: the
preview child gets no X window of its own, and the parent's stays white. So there is no
screenshot; what the preview drew comes from its trace lines (OutputDebugStringA, read from Wine's
debug channel), and the logo as the program's reducer fits it to the preview's size is written by
scrtool, which runs the same reduction code natively.

usage: demo_preview.py SCR OUT
"""
import os
import re
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))
import winebench  # noqa: E402
from trace_labels import TRACE  # noqa: E402

SCRTOOL = os.path.join(ROOT, "build", "native", "tools", "scrtool")
LOGO = os.path.join(ROOT, "resources", "logo.jpg")
INTERVAL_SECONDS = 2
# The parent keeps the preview this long after it is shown: the logo's 5 s of credit frames, then
# one interval until the first picture, and some slack for a slow first start.
PREVIEW_MS = 12000

# What each trace says the preview did, by the label's name in platform/trace_labels.h; the
# reducer's own steps (ReduceRows ...) are left out.
TRACE_MEANINGS = {
    "RandomFirstFile": "first picture picked",
    "LoadCutShort": "load cut short",
    "ProcessImage": "reduced to fit",
    "CreateBIPalette": "palette made",
    "StretchDIBits": "drawn",
}
TRACE_NAMES = {TRACE[name]: name for name in TRACE_MEANINGS}


def traces(debug_lines):
    """(label, milliseconds) of each timing trace: a label, then " N ms." in a second string from
    the same thread (the window's thread draws, the show's worker makes the slides)."""
    found, labels = [], {}
    for line in debug_lines:
        match = re.match(r"^ (\d+) ms\.\n$", line.text)
        label = labels.pop(line.thread, None)
        if match and label in TRACE_NAMES:
            found.append((TRACE_NAMES[label], int(match.group(1))))
        elif not match:
            labels[line.thread] = line.text
    return found


def drawings(traced):
    """The traces split at each StretchDIBits: the first drawing is the logo (the show starts with
    it), each later one a picture with the work that prepared it."""
    groups, current = [], []
    for trace in traced:
        current.append(trace)
        if trace[0] == "StretchDIBits":
            groups.append(current)
            current = []
    return groups


def describe(group):
    return ", ".join("%s (%s %d ms)" % (TRACE_MEANINGS[label], label, ms) for label, ms in group)


def wait_for_first_picture(running, timeout):
    """The traces once the preview has drawn the logo and one picture, or all there are at the
    timeout."""
    deadline = time.monotonic() + timeout
    while True:
        traced = traces(running.debug_so_far())
        if len(drawings(traced)) >= 2 or time.monotonic() > deadline or not running.alive():
            return traced
        time.sleep(0.1)


def fit_logo(width, height, out_path):
    """The logo's size and its size after the reducer fits it to width x height, as scrtool
    reports them; None when scrtool cannot tell."""
    with tempfile.TemporaryDirectory() as scratch:
        decoded = os.path.join(scratch, "logo.bmp")
        loaded = subprocess.run([SCRTOOL, "load", LOGO, "--out", decoded], capture_output=True, text=True)
        fitted = subprocess.run([SCRTOOL, "fit", decoded, str(width), str(height), out_path],
                                capture_output=True, text=True)
    before = re.match(r"^ok (\d+) (\d+)", loaded.stdout)
    after = re.match(r"^fit (\d+) (\d+)", fitted.stdout)
    if not before or not after or fitted.returncode != 0:
        return None
    return "%sx%s" % before.groups(), "%sx%s" % after.groups()


def main():
    scr, out = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.makedirs(out, exist_ok=True)
    stale_screenshot = os.path.join(out, "preview.png")  # what earlier demos wrote: a white rectangle
    if os.path.exists(stale_screenshot):
        os.remove(stale_screenshot)
    programs = os.path.join(os.path.dirname(scr), "tests", "win")
    parent_program = os.path.join(programs, "host_preview_parent_test.exe")
    samples = winebench.windows_path(os.path.join(ROOT, "samples"))
    with winebench.WineBench() as bench:
        settings = {winebench.SAVER_SECTION: {"BaseDir": samples, "Interval": str(INTERVAL_SECONDS)}}
        with bench.edited_win_ini(settings):
            running = bench.start_program(os.path.join(programs, "launcher.exe"), parent_program,
                                          [winebench.windows_path(scr), str(PREVIEW_MS)], timeout=60)
            ready = running.wait_for_output(r"PREVIEW READY (-?\d+) (-?\d+) (\d+) (\d+)", timeout=30)
            width, height = int(ready.group(3)), int(ready.group(4))
            traced = wait_for_first_picture(running, PREVIEW_MS / 1000 - 1)
            result = running.wait()

    print("preview: a %dx%d child window of a parent window that another process made, as the "
          "display settings make it" % (width, height))
    print("preview: no screenshot: Wine 8 shows nothing a process draws in a child window of another "
          "process's window (the parent stays white)")
    print("preview: what it drew, from its trace lines (the show's worker prepares one picture ahead, so the")
    print("preview: work listed before a drawing may be for the picture after it too):")
    groups = drawings(traced)
    for index, group in enumerate(groups):
        print("preview:   %s: %s" % ("the logo" if index == 0 else "picture %d" % index, describe(group)))
    if not groups:
        print("preview:   nothing drawn")
    elif len(groups) < 2:
        print("preview:   no picture drawn within %d s" % (PREVIEW_MS // 1000))
    logo_path = os.path.join(out, "preview-logo.bmp")
    sizes = fit_logo(width, height, logo_path)
    if sizes:
        print("preview: the %s logo as the program's reducer fits it to %dx%d: %s, written by scrtool "
              "(the same code) to %s" % (sizes[0], width, height, sizes[1], os.path.relpath(logo_path)))
    else:
        print("preview: scrtool could not fit the logo to %dx%d" % (width, height))

    passed = [line for line in result.stdout if re.match(r"ALL \d+ CHECKS PASSED", line)]
    failed = [line for line in result.stdout if line.startswith("FAIL")]
    for line in failed:
        print("preview: " + line)
    print("preview: the parent window closed; the preview %s" %
          ("ended with exit code 0" if passed else "did not end as it should"))
    return 0 if passed and len(groups) >= 2 and sizes else 1


if __name__ == "__main__":
    sys.exit(main())
