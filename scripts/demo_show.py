#!/usr/bin/python3
"""Runs the x64 screen saver full screen (/s) under Wine in a private Xvfb on the sample pictures,
and keeps screenshots of what a user sees: the logo as it first appears, the credit line a moment
later, then each new slide. The stages are recognised on the screen itself; a key press then ends
the saver as it would end for a user.

With --looks the saver runs with Captions, Fade and Backdrop on, and the screenshots (named
looks-...) show each slide with its caption and backdrop once it stands still, and a frame of the
fade that brought it in.

usage: demo_show.py SCR OUT [SLIDES] [--looks]
"""
import os
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))
import winebench  # noqa: E402

WIDTH, HEIGHT = winebench.SCREEN_SIZE
ABOVE_CREDITS = (0, 0, WIDTH, HEIGHT - 40)
CREDIT_STRIP = (0, HEIGHT - 40, WIDTH, HEIGHT)


def shows_something(image, box):
    return image.crop(box).convert("L").getbbox() is not None


def main():
    looks = "--looks" in sys.argv
    arguments = [a for a in sys.argv[1:] if a != "--looks"]
    scr, out = os.path.abspath(arguments[0]), os.path.abspath(arguments[1])
    slides_wanted = int(arguments[2]) if len(arguments) > 2 else 4
    prefix = "looks" if looks else "show"
    os.makedirs(out, exist_ok=True)
    launcher = os.path.join(os.path.dirname(scr), "tests", "win", "launcher.exe")
    samples = os.path.join(ROOT, "samples")
    kept = []

    def keep(image, name):
        path = os.path.join(out, name)
        image.save(path)
        kept.append(path)

    with winebench.WineBench() as bench:
        settings = {winebench.SAVER_SECTION: {"BaseDir": winebench.windows_path(samples), "Interval": "3" if looks else "2"}}
        if looks:
            settings[winebench.SAVER_SECTION].update({"Captions": "1", "Fade": "1", "Backdrop": "1"})
        with bench.edited_win_ini(settings):
            running = bench.start_program(launcher, scr, ["/s"], timeout=120, depth=24)
            # The first program of a session starts Wine's services too: allow it time.
            window = running.display.wait_for_window("Screen Saver", timeout=60)
            logo = logo_seen = credit = None
            last = None
            slides = fades = 0
            changing = False
            deadline = time.monotonic() + 60 + 4 * slides_wanted
            while slides < slides_wanted and time.monotonic() < deadline and running.alive():
                shot = running.display.screenshot()
                upper = shot.crop(ABOVE_CREDITS).tobytes()
                if logo is None:
                    if shows_something(shot, ABOVE_CREDITS):
                        logo, logo_seen = upper, time.monotonic()
                        keep(shot, prefix + "-logo.png")
                elif upper == logo:
                    # The credit line runs for about five seconds over the logo: one frame from its middle.
                    if credit is None and shows_something(shot, CREDIT_STRIP) and time.monotonic() - logo_seen > 1.5:
                        credit = shot
                        keep(shot, prefix + "-credit.png")
                elif looks:
                    # A slide fades in over a second: the first shot of a change is a frame of
                    # the fade, the first that stands still again is the slide.
                    if shot.tobytes() != last and not changing:
                        changing = True
                        if fades < slides_wanted:
                            fades += 1
                            keep(shot, "looks-fade-%d.png" % fades)
                    elif shot.tobytes() == last and changing:
                        changing = False
                        slides += 1
                        keep(shot, "looks-slide-%d.png" % slides)
                elif shot.tobytes() != last:
                    slides += 1
                    keep(shot, "show-slide-%d.png" % slides)
                last = shot.tobytes()
                time.sleep(0.1)
            running.display.send_keys(window, "space")  # any key ends the saver
            result = running.wait(15)
    print("The saver showed %s and ended with exit code %s. Screenshots:" % (
        "its logo, the credit line and %d slides" % slides, result.exit_code))
    for path in kept:
        print("  " + os.path.relpath(path, ROOT))
    return 0 if slides >= slides_wanted and result.exit_code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
