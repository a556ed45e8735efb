#!/usr/bin/python3
"""The soak run behind scripts/soak.

usage: soak_run.py BUILD_DIR SLIDES

Slides are counted from the presenter's StretchDIBits timing trace. Memory is the saver
process's resident size (VmRSS); palettes and GDI objects are counted from Wine's own trace of
GDI handle allocation (channel gdi: "allocated OBJ_PAL ..." / "freed OBJ_PAL ...").
"""
import os
import re
import shutil
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))
import winebench  # noqa: E402
from trace_labels import TRACE  # noqa: E402

# Wine's trace of one GDI handle: thread, allocated or freed, object type, live count after it.
GDI_HANDLE = re.compile(r"^([0-9a-f]+):trace:gdi:(?:alloc|free)_gdi_handle (allocated|freed) (\w+) \S+ (\d+)/")
# Growth allowed between the first and the last quarter of the run.
MEMORY_SLACK_KB = 4096
# A show that shows nothing new for this long has stopped.
STALL_SECONDS = 60


def make_pictures(folder):
    """The mixed folder: the bundled samples and pictures made here in every awkward form."""
    from PIL import Image
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name in sorted(os.listdir(os.path.join(ROOT, "samples"))):
        shutil.copy(os.path.join(ROOT, "samples", name), folder)
    gradient = Image.new("RGB", (640, 480))
    gradient.putdata([(x * 255 // 639, y * 255 // 479, (x + y) % 256) for y in range(480) for x in range(640)])
    gradient.save(os.path.join(folder, "gradient.jpg"), quality=90)
    gradient.convert("L").save(os.path.join(folder, "gray.jpg"), quality=90)
    gradient.convert("CMYK").save(os.path.join(folder, "cmyk.jpg"), quality=90)
    gradient.convert("P", palette=Image.ADAPTIVE, colors=256).save(os.path.join(folder, "eight-bit.bmp"))
    gradient.resize((4000, 3000)).save(os.path.join(folder, "huge.jpg"), quality=85)
    rows = [bytes(v for x in range(300) for v in (x % 256, y % 256, (x ^ y) % 256)) for y in range(200)]
    winebench.write_bmp(os.path.join(folder, "top-down.bmp"), 300, 200, rows, top_down=True)
    with open(os.path.join(folder, "gradient.jpg"), "rb") as f:
        good_jpeg = f.read()
    with open(os.path.join(folder, "truncated.jpg"), "wb") as f:
        f.write(good_jpeg[: len(good_jpeg) * 2 // 5])
    with open(os.path.join(folder, "not-a-picture.jpg"), "wb") as f:
        f.write(b"this is no JPEG file\n" * 40)
    with open(os.path.join(folder, "top-down.bmp"), "rb") as f:
        good_bmp = f.read()
    with open(os.path.join(folder, "truncated.bmp"), "wb") as f:
        f.write(good_bmp[:300])
    with open(os.path.join(folder, "bad-header.bmp"), "wb") as f:
        f.write(good_bmp[:14] + b"\xff" * 40 + good_bmp[54:])
    return sorted(os.listdir(folder))


def saver_process(folder):
    """The Linux process running the .scr copy in the soak folder."""
    needle = os.path.basename(folder).encode()
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                command = f.read()
        except OSError:
            continue
        if b"screensaver.scr" in command and needle in command and b"launcher" not in command:
            return int(entry)
    return None


def resident_kb(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def count_handles(stderr_path, thread):
    """The saver thread's live palettes and GDI objects so far, and the palettes it made."""
    palettes = made = live = 0
    with open(stderr_path, "rb") as f:
        for raw in f:
            match = GDI_HANDLE.match(raw.decode("latin-1"))
            if not match or match.group(1) != thread:
                continue
            live = int(match.group(4))
            if match.group(3).endswith("OBJ_PAL"):
                if match.group(2) == "allocated":
                    palettes += 1
                    made += 1
                else:
                    palettes -= 1
    return palettes, live, made


def saver_thread(running):
    """Wine's id of the thread that writes the show's traces."""
    for line in running.debug_so_far():
        if line.text == TRACE["StretchDIBits"]:
            return line.thread
    return None


def count_slides(running):
    return sum(1 for line in running.debug_so_far() if line.text == TRACE["StretchDIBits"])


def main():
    build, wanted = os.path.abspath(sys.argv[1]), int(sys.argv[2])
    folder = os.path.join(build, "soak")
    pictures = make_pictures(os.path.join(folder, "pictures"))
    scr = os.path.join(folder, "screensaver.scr")
    shutil.copy(os.path.join(build, "screensaver.scr"), scr)
    launcher = os.path.join(build, "tests", "win", "launcher.exe")
    print("soak: %d pictures: %s" % (len(pictures), " ".join(pictures)), flush=True)

    samples = []  # (seconds, slides, resident kB, live palettes, live GDI objects)
    with winebench.WineBench() as bench:
        settings = {winebench.SAVER_SECTION: {"BaseDir": winebench.windows_path(os.path.join(folder, "pictures")) + "\\",
                                       "Interval": "0"}}
        with bench.edited_win_ini(settings):
            display = bench.display(8)
            env = bench.wine_environment(display)
            env["WINEDEBUG"] = "-all,+debugstr,+gdi"
            command = [winebench.WINE, launcher, str(3 * 3600 * 1000),
                       winebench.command_line(scr, ["/s"]).encode("latin-1").hex()]
            running = winebench.RunningProgram(command, env, folder, 3 * 3600, display)
            bench.programs.append(running)
            window = display.wait_for_window("Screen Saver", timeout=60)
            started = time.monotonic()
            pid = None
            slides = 0
            progress = (started, 0)  # when the slide count last moved
            while slides < wanted and running.alive() and time.monotonic() - progress[0] < STALL_SECONDS:
                time.sleep(5)
                pid = pid or saver_process(folder)
                slides = count_slides(running)
                if slides > progress[1]:
                    progress = (time.monotonic(), slides)
                thread = saver_thread(running)
                palettes, objects, made = count_handles(running.stderr_path, thread) if thread else (0, 0, 0)
                sample = (time.monotonic() - started, slides, resident_kb(pid) if pid else None, palettes, objects)
                samples.append(sample)
                print("soak: %5.0f s  %5d slides  %s kB resident  %d palettes live (%d made)  %d GDI objects live"
                      % (sample[0], slides, sample[2], palettes, made, objects), flush=True)
            alive_at_end = running.alive()
            if alive_at_end:
                display.send_keys(window, "space")
            result = running.wait(timeout=60)

    print("soak: ended with exit code %s after %d slides in %.0f s%s"
          % (result.exit_code, slides, samples[-1][0] if samples else 0,
             "" if alive_at_end else " (the saver had ended by itself)"))
    quarter = max(1, len(samples) // 4)
    measured = [s for s in samples if s[2] is not None]
    early = [s[2] for s in measured[:quarter]]
    late = [s[2] for s in measured[-quarter:]]
    problems = []
    if result.exit_code != 0 or not alive_at_end:
        problems.append("the saver did not end on the key with 0")
    if slides < wanted:
        problems.append("only %d slides" % slides)
    if early and late:
        # The huge picture swells the process while it is held; the floor between such peaks is
        # what a leak would raise.
        growth = min(late) - min(early)
        print("soak: resident memory first quarter %d-%d kB, last quarter %d-%d kB, floor growth %d kB"
              % (min(early), max(early), min(late), max(late), growth))
        if growth > MEMORY_SLACK_KB:
            problems.append("resident memory grew by %d kB" % growth)
    else:
        problems.append("no memory figures (saver process not found)")
    live_palettes = [s[3] for s in samples]
    if live_palettes:
        print("soak: live palettes min %d max %d last %d" % (min(live_palettes), max(live_palettes), live_palettes[-1]))
        if max(live_palettes) > 4:
            problems.append("palettes pile up")
    print("soak: " + ("FAILED: " + "; ".join(problems) if problems else "passed"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
