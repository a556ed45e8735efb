#!/usr/bin/python3
"""Measures the fade where the program runs: the x64 saver full screen (/s) under Wine in a private
Xvfb of 1920 x 1080 x 24, on two 1920 x 1080 photos-like pictures, an interval of 3 s. It runs once
with Fade 1 and once with Fade 0 for the same number of slides and reports the blended frames per
fade (the "FadeFrame " traces), the time of one frame's AlphaBlend, and the CPU time of the saver's
process and of the X server per slide in both runs: the difference is what a fade costs.

usage: bench/fade_under_wine.py [SCR] [SLIDES]   (default build/win64/screensaver.scr, 8)
"""
import os
import re
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))
import winebench  # noqa: E402
import winebench.display  # noqa: E402
from trace_labels import TRACE  # noqa: E402

from PIL import Image  # noqa: E402

SIZE = (1920, 1080)
winebench.display.SCREEN_SIZE = SIZE  # the private X server's screen


def cpu_seconds(pid):
    """User and system time of a process, from /proc."""
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def saver_pid(scr):
    """The Wine process that runs this worktree's saver (only ours carry its path)."""
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as cmdline:
                text = cmdline.read().replace(b"\0", b" ").decode(errors="replace")
        except OSError:
            continue
        if text.lower().startswith(winebench.windows_path(scr).lower()):
            return int(entry)
    return None


def make_pictures(folder):
    os.makedirs(folder, exist_ok=True)
    for n in range(2):
        picture = Image.linear_gradient("L").resize(SIZE).convert("RGB")
        tint = Image.new("RGB", SIZE, [(200, 60, 30), (30, 90, 210)][n])
        Image.blend(picture, tint, 0.6).save(os.path.join(folder, "photo%d.jpg" % n), quality=90)


def run(bench, scr, folder, fade, slides):
    launcher = os.path.join(os.path.dirname(scr), "tests", "win", "launcher.exe")
    settings = {"BaseDir": winebench.windows_path(folder), "Interval": "3", "Fade": "1" if fade else "0"}
    with bench.edited_win_ini({winebench.SAVER_SECTION: settings}):
        running = bench.start_program(launcher, scr, ["/s"], timeout=300, depth=24)
        try:
            window = running.display.wait_for_window("Screen Saver", timeout=60)
            draws = lambda: [l.text for l in running.debug_so_far()].count(TRACE["StretchDIBits"])  # noqa: E731
            deadline = time.monotonic() + 60
            while draws() < 2 and time.monotonic() < deadline:  # the logo, then the first slide
                time.sleep(0.05)
            pid = saver_pid(scr)
            if not pid:
                raise SystemExit("the saver's process was not found")
            server = running.display.process.pid
            start = (cpu_seconds(pid), cpu_seconds(server), time.monotonic(), draws())
            while draws() < start[3] + slides and time.monotonic() < deadline + 10 * slides:
                time.sleep(0.05)
            time.sleep(1.2)  # the last fade runs out
            end = (cpu_seconds(pid), cpu_seconds(server), time.monotonic(), draws())
            debug = running.debug_so_far()
            running.display.send_keys(window, "space")
            running.wait(15)
        finally:
            running.kill()
    shown = end[3] - start[3]
    frames, frame_ms = 0, []
    lines = [l.text for l in debug]
    for label, timing in zip(lines, lines[1:]):
        if label == TRACE["FadeFrame"]:
            frames += 1
            frame_ms.append(int(re.match(r" (\d+) ms", timing).group(1)))
    return {"slides": shown, "fades": end[3] - 1, "saver_cpu": end[0] - start[0], "server_cpu": end[1] - start[1],
            "seconds": end[2] - start[2], "frames": frames, "frame_ms": frame_ms}


def main():
    scr = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "win64", "screensaver.scr"))
    slides = int(sys.argv[2]) if len(sys.argv) > 2 else 8
    folder = os.path.join(ROOT, "build", "fade-bench-pictures")
    make_pictures(folder)
    with winebench.WineBench() as bench:
        faded = run(bench, scr, folder, True, slides)
        cut = run(bench, scr, folder, False, slides)
    for name, r in (("Fade 1", faded), ("Fade 0", cut)):
        print("%s: %d slides in %.1f s; saver CPU %.2f s (%.0f ms a slide), X server CPU %.2f s (%.0f ms a slide)"
              % (name, r["slides"], r["seconds"], r["saver_cpu"], 1000 * r["saver_cpu"] / r["slides"],
                 r["server_cpu"], 1000 * r["server_cpu"] / r["slides"]))
    ms = sorted(faded["frame_ms"])
    fades = faded["fades"]  # every slide drawn after the logo, the first one too
    if ms:
        print("blended frames: %d in about %d fades, %.1f a fade; one AlphaBlend of 1920 x 1080: median %d ms, "
              "longest %d ms (GetTickCount steps)" % (len(ms), fades, len(ms) / fades, ms[len(ms) // 2], ms[-1]))
    extra = (faded["saver_cpu"] + faded["server_cpu"] - cut["saver_cpu"] - cut["server_cpu"]) / faded["slides"]
    print("a fade costs about %.0f ms of CPU (saver and X server) beyond a cut" % (1000 * extra))
    return 0


if __name__ == "__main__":
    sys.exit(main())
