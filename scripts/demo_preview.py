#!/usr/bin/python3
"""Runs the screen saver as the display settings' preview: a small parent window made by a test
program starts "SCR /p HWND", the preview runs inside it for a few seconds (screenshot kept),
then the parent closes and the preview must end by itself with exit code 0.

usage: demo_preview.py SCR OUT
"""
import os
import re
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))
import winebench  # noqa: E402


def main():
    scr, out = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.makedirs(out, exist_ok=True)
    programs = os.path.join(os.path.dirname(scr), "tests", "win")
    parent_program = os.path.join(programs, "host_preview_parent_test.exe")
    samples = winebench.windows_path(os.path.join(ROOT, "samples"))
    with winebench.WineBench() as bench:
        with bench.edited_win_ini({"ZorScreensaver": {"BaseDir": samples, "Interval": "2"}}):
            running = bench.start_program(os.path.join(programs, "launcher.exe"), parent_program,
                                          [winebench.windows_path(scr), "8000"], timeout=60)
            ready = running.wait_for_output(r"PREVIEW READY (-?\d+) (-?\d+) (\d+) (\d+)", timeout=30)
            x, y, w, h = (int(v) for v in ready.groups())
            time.sleep(3)
            shot = running.display.screenshot()
            shot.crop((x, y, x + w, y + h)).save(os.path.join(out, "preview.png"))
            print("preview: %dx%d child of the parent window; screenshot %s" % (w, h, os.path.join(out, "preview.png")))
            result = running.wait()
    passed = [line for line in result.stdout if re.match(r"ALL \d+ CHECKS PASSED", line)]
    failed = [line for line in result.stdout if line.startswith("FAIL")]
    for line in failed:
        print("preview: " + line)
    print("preview: the parent window closed; the preview %s" %
          ("ended with exit code 0" if passed else "did not end as it should"))
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
