#!/usr/bin/python3
"""A show on every monitor (EveryMonitor=1) on the sample pictures, under Wine in a private Xvfb.
Xvfb cannot place two screens side by side (with Xinerama it puts every one at the origin), so
the two monitors are the slideshow test program's own: its window covers the screen and it gives
the show the areas of a 640 x 480 primary monitor at the top-left and a 384 x 768 one beside it,
as the saver's layout gives them for two real monitors. Screenshots: the last credit frame (logo
and credit line on the primary alone) and the first three slide steps (a picture of its own on
each monitor, fitted to it).

usage: demo_monitors.py BUILD OUT
"""
import os
import shutil
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))
import winebench  # noqa: E402


def main():
    build, out = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.makedirs(out, exist_ok=True)
    launcher = os.path.join(build, "tests", "win", "launcher.exe")
    program = os.path.join(build, "tests", "win", "slideshow_show_test.exe")
    handshake = os.path.join(build, "demo-monitors-handshake")
    shutil.rmtree(handshake, ignore_errors=True)
    os.makedirs(handshake)
    samples = os.path.join(ROOT, "samples")
    kept = []
    with winebench.WineBench() as bench:
        settings = {winebench.SAVER_SECTION: {"BaseDir": winebench.windows_path(samples), "Interval": "2",
                                       "EveryMonitor": "1"}}
        with bench.edited_win_ini(settings):
            running = bench.start_program(launcher, program, ["monitors", winebench.windows_path(handshake)],
                                          timeout=90, depth=24)
            handled = 0
            while True:
                lines = [line for line in running.output_so_far() if line.startswith("SHOT ")]
                for line in lines[handled:]:
                    name = line.split()[1]
                    path = os.path.join(out, "monitors-%s.png" % name)
                    running.display.screenshot(path)
                    kept.append(path)
                    open(os.path.join(handshake, name + ".done"), "w").close()
                handled = len(lines)
                if not running.alive():
                    break
                time.sleep(0.05)
            result = running.wait(15)
    print("The show on two monitors ended with exit code %s. Screenshots:" % result.exit_code)
    for path in kept:
        print("  " + os.path.relpath(path, ROOT))
    return 0 if len(kept) == 4 and result.exit_code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
