"""The configuration dialog: template 2003 as built and as shown, its reads and writes of win.ini,
the ways it ends, and the browse through the real and through an answered file dialog. The
Windows test programs set up the dialog's section themselves; win.ini is restored after each."""
import os
import shutil
import time

from PIL import Image

import winebench
from winebench import every_build, expect_checks_passed, expect_ran, fail, windows_path

TIMEOUT = 90
GREEN = (0, 255, 0)


def run_checks(ctx, program, *arguments):
    with ctx.bench.edited_win_ini():
        result = ctx.run(program, list(arguments), timeout=TIMEOUT)
    expect_checks_passed(result)


@every_build
def test_dialog_template(ctx):
    if ctx.build.why_not_runnable():
        # The PE32's resources, read as data by the x64 program.
        reader = ctx.build_of_kind("win64")
        if reader is None:
            fail("no build here can run the reader")
        result = ctx.run(reader.program("dialog_template_test"), [windows_path(ctx.build.scr), "--file-only"],
                         build=reader)
        expect_checks_passed(result)
        return
    run_checks(ctx, "dialog_template_test", windows_path(ctx.build.scr))


def test_dialog_with_no_settings(ctx):
    run_checks(ctx, "dialog_settings_test", windows_path(ctx.build.scr), "defaults")


def test_dialog_clamps_the_stored_interval(ctx):
    run_checks(ctx, "dialog_settings_test", windows_path(ctx.build.scr), "clamping")


def test_dialog_stores_the_directory_as_typed(ctx):
    run_checks(ctx, "dialog_settings_test", windows_path(ctx.build.scr), "directory")


def test_dialog_cancel_stores_nothing(ctx):
    run_checks(ctx, "dialog_settings_test", windows_path(ctx.build.scr), "cancel")


def test_dialog_keys(ctx):
    run_checks(ctx, "dialog_settings_test", windows_path(ctx.build.scr), "keys")


def test_dialog_ok_command(ctx):
    run_checks(ctx, "dialog_settings_test", windows_path(ctx.build.scr), "command")


def test_dialog_browse_chooses_a_directory(ctx):
    run_checks(ctx, "dialog_browse_test", windows_path(ctx.build.scr), "choose")


def test_dialog_browse_cancelled(ctx):
    run_checks(ctx, "dialog_browse_test", windows_path(ctx.build.scr), "cancel")


def test_dialog_browse_request_and_failure_box(ctx):
    run_checks(ctx, "dialog_browse_injected_test")


def test_saver_shows_the_directory_the_dialog_stored(ctx):
    """The dialog writes BaseDir under "ZorScreensaver", the saver reads it under "ZorScreenSaver":
    a folder holding one green picture, typed without its final backslash, must be what the saver
    shows."""
    folder = os.path.join(ctx.build.directory, "dialog-wine-cases", "saver-reads")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    Image.new("RGB", (160, 120), GREEN).save(os.path.join(folder, "verde.bmp"))
    typed = windows_path(folder)
    width, height = winebench.SCREEN_SIZE
    centre = (width // 2 - 4, height // 2 - 4, width // 2 + 5, height // 2 + 5)

    with ctx.bench.edited_win_ini():
        expect_checks_passed(ctx.run("dialog_settings_test", [windows_path(ctx.build.scr), "store", typed, "1"],
                                     timeout=TIMEOUT))
        stored = ctx.bench.read_win_ini()
        if "[ZorScreensaver]" not in stored or "BaseDir=%s\r\n" % typed not in stored:
            fail("win.ini after OK: %r" % stored)
        running = ctx.start(ctx.build.scr, ["/s"], timeout=60)
        try:
            window = running.display.wait_for_window("Screen Saver")
            deadline = time.monotonic() + 25  # logo, five seconds of credit line, one interval
            while True:
                shot = running.display.screenshot()
                if set(shot.crop(centre).getdata()) == {GREEN}:
                    break
                if time.monotonic() > deadline:
                    shot.save(ctx.artifact_path("screen.png"))
                    fail("the saver never showed the green picture of %s" % typed)
                time.sleep(0.3)
            running.display.send_keys(window, "space")
            expect_ran(running.wait(20), 0)
        finally:
            running.kill()


def test_dialog_manifest_brings_common_controls_6(ctx):
    expect_checks_passed(ctx.run("dialog_manifest_test"))
