#!/usr/bin/python3
"""Opens the configuration dialog (screensaver.scr /c) under Wine in a private Xvfb with the
sample folder and a 7-second interval stored, keeps a screenshot of it, then closes it the way a
user would with the keyboard: Tab to Cancel, space. win.ini is restored afterwards.

There is no window manager in the private display, so Wine is asked to draw the caption itself
while the dialog is shown; the setting is removed again afterwards.

usage: demo_dialog.py SCR OUT_PNG
"""
import contextlib
import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))
import winebench  # noqa: E402

TITLE = "Impostazioni Orvindale screeensaver"
X11_DRIVER_KEY = r"HKCU\Software\Wine\X11 Driver"
MARGIN = 12


def reg(bench, *arguments):
    # Output to nothing: the first Wine program starts Wine's own services, which would hold
    # captured pipes open long after reg itself has ended.
    done = subprocess.run([winebench.WINE, "reg"] + list(arguments), env=bench.wine_environment(None),
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    if done.returncode != 0:
        raise winebench.BenchError("wine reg %s: exit %d" % (" ".join(arguments), done.returncode))


@contextlib.contextmanager
def captions_drawn_by_wine(bench):
    reg(bench, "add", X11_DRIVER_KEY, "/v", "Decorated", "/t", "REG_SZ", "/d", "N", "/f")
    try:
        yield
    finally:
        reg(bench, "delete", X11_DRIVER_KEY, "/v", "Decorated", "/f")


def main():
    scr, out_png = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    launcher = os.path.join(os.path.dirname(scr), "tests", "win", "launcher.exe")
    settings = {winebench.SAVER_SECTION: {"BaseDir": winebench.windows_path(os.path.join(ROOT, "samples")),
                                   "Interval": "7"}}
    with winebench.WineBench() as bench, bench.edited_win_ini(settings), captions_drawn_by_wine(bench):
        running = bench.start_program(launcher, scr, ["/c"], timeout=60, depth=24)
        display = running.display
        window = display.wait_for_window(TITLE, timeout=40)
        x, y, width, height = display.window_geometry(window)
        # The window appears before its controls are painted; the slider's position shows last.
        previous = None
        for _ in range(50):
            shot = display.screenshot()
            if shot.tobytes() == previous:
                break
            previous = shot.tobytes()
            time.sleep(0.2)
        box = (max(0, x - MARGIN), max(0, y - MARGIN), x + width + MARGIN, y + height + MARGIN)
        os.makedirs(os.path.dirname(out_png), exist_ok=True)
        shot.crop(box).save(out_png)
        display.send_keys(window, "Tab", "space")  # from OK to Cancel, then press it
        result = running.wait(20)
    print("The dialog ended with exit code %s after Cancel. Screenshot: %s" % (
        result.exit_code, os.path.relpath(out_png, ROOT)))
    return 0 if result.exit_code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
