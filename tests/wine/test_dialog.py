"""The configuration dialog: template 2003 as built and as shown, its reads and writes of win.ini,
the ways it ends, and the browse through the real and through an answered file dialog. The
Windows test programs set up the dialog's section themselves; win.ini is restored after each."""
from winebench import every_build, expect_checks_passed, fail, windows_path

TIMEOUT = 90


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
