"""The bench's own promises, proved with tests/win/bench_probe.cpp: exit codes seen whole, command
lines passed exactly, debugger output decoded, a program that did not run never passing, the two
display depths, Windows 98 for one program, win.ini edits, a window driven by keys and mouse, and
a case that breaks failing alone."""
import contextlib
import io
import os
import subprocess
import types

import winebench
from winebench import expect_checks_passed, expect_ran, fail, once


def probe(ctx, args, **options):
    return ctx.run("bench_probe", args, **options)


def only_line(result, prefix):
    lines = [line for line in result.stdout if line.startswith(prefix)]
    if len(lines) != 1:
        fail("expected one %r line; %s" % (prefix, result.describe()))
    return lines[0]


def expect_failure_reported(result, what):
    """The bench must refuse to count result as a passed test program."""
    try:
        expect_checks_passed(result)
    except winebench.TestFailure:
        return
    fail("%s counted as passed: %s" % (what, result.describe()))


def test_exit_codes_are_seen_whole(ctx):
    # 256 and -1 are what Wine's 8-bit process status cannot carry (0 and 255).
    for code in (0, 7, 256, -1, -1073741819):
        result = probe(ctx, ["exit", str(code)])
        expect_ran(result, code)
    if result.exit_code_unsigned != 0xC0000005:
        fail("unsigned exit code 0x%08X" % result.exit_code_unsigned)


def test_command_line_arrives_byte_for_byte(ctx):
    raw = 'args  /p\t1234 "two words"  \\\\server\\share\\ \xe8'
    result = probe(ctx, raw)
    expect_ran(result, 0)
    wanted = "args: [%s %s]" % (winebench.quote_argument(winebench.windows_path(ctx.build.program("bench_probe"))), raw)
    if only_line(result, "args:") != wanted:
        fail("command line %r, expected %r" % (only_line(result, "args:"), wanted))
    # A list of arguments is quoted so that the C run time splits it back into the same list.
    arguments = ["two words", 'say "hi"', "trailing\\", "tab\there", "", "back\\\\slash"]
    result = probe(ctx, ["argv"] + arguments)
    expect_ran(result, 0)
    got = [line[len("argv: ["):-1] for line in result.stdout if line.startswith("argv: ")]
    if got != arguments:
        fail("arguments %r, expected %r" % (got, arguments))


def test_debug_strings_are_decoded(ctx):
    result = probe(ctx, ["debugstrings"])
    expect_ran(result, 0)
    texts = result.debug_texts()
    wanted = ["Logo", " 12 ms.\n", "\trows", 'quote " backslash \\ cr \r end', "bytes \x01\x7f\xe8\xff.", None, "last"]
    if len(texts) != len(wanted):
        fail("%d debug lines, expected %d: %r" % (len(texts), len(wanted), result.debug))
    for line, text in zip(result.debug, wanted):
        if text is None:  # 400 characters: Wine logs the first part only and says so
            if not line.truncated or set(line.text) != {"x"} or not 200 < len(line.text) < 400:
                fail("long debug string: %r" % line)
        elif line.text != text or line.truncated:
            fail("debug line %r, expected %r" % (line, text))
    if any("debugstr" in line for line in result.stderr):
        fail("undecoded debug lines left in stderr: %r" % result.stderr)


def test_programs_that_did_not_pass_are_failures(ctx):
    missing = ctx.run(os.path.join(ctx.build.directory, "tests", "win", "no_such_program.exe"))
    if missing.ran or not (missing.report or "").startswith("launcher: cannot start"):
        fail("a missing program: %s" % missing.describe())
    expect_failure_reported(missing, "a missing program")
    # Exit code 0 alone is not a pass: the test programs' own summary line must be there.
    expect_failure_reported(probe(ctx, ["exit", "0"]), "a program without its check summary")
    expect_failure_reported(probe(ctx, ["bogus-mode"]), "a program that exits 2")


def test_time_limit_ends_a_program(ctx):
    result = probe(ctx, ["window", "Bench probe waiting %s" % ctx.build.name, "0", "0", "0"], timeout=2)
    if not result.timed_out or result.ran:
        fail("a program past its time limit: %s" % result.describe())
    expect_failure_reported(result, "a program that timed out")


@once
def test_pe32_runs_only_under_a_wine_that_can_run_it(ctx):
    win32, win64 = ctx.build_of_kind("win32"), ctx.build_of_kind("win64")
    if not win32 or not win64:
        fail("needs both the win32 and the win64 build")
    # The PE32 launcher and probe, as every PE32 test runs them, and the PE32 probe under the x64
    # launcher.
    alone = ctx.run(win32.program("bench_probe"), ["exit", "7"], build=win32)
    mixed = ctx.run(win32.program("bench_probe"), ["exit", "7"], build=win64)
    if win32.why_not_runnable():
        # Without Wine's 32-bit half an i686 program exits quietly; it must not count as run.
        for result, how in ((alone, "PE32 launcher"), (mixed, "x64 launcher")):
            if result.ran:
                fail("a PE32 reported an exit code (%s) under a Wine that cannot run it: %s" % (how, result.describe()))
            expect_failure_reported(result, "a PE32 that could not run (%s)" % how)
    else:
        expect_ran(alone, 7)
        expect_ran(mixed, 7)


def test_display_depths(ctx):
    true_colour = only_line(probe(ctx, ["caps"], depth=24), "caps:")
    palette = only_line(probe(ctx, ["caps"], depth=8), "caps:")
    if "palette=0" not in true_colour or not ("bits=24" in true_colour or "bits=32" in true_colour):
        fail("24-bit display: " + true_colour)
    if palette != "caps: bits=8 palette=1 sizepalette=256 width=1024 height=768":
        fail("8-bit display: " + palette)


def test_windows98_for_one_program(ctx):
    def version():
        return only_line(probe(ctx, ["version"]), "version:")

    usual = version()
    if "platform=2" not in usual:
        fail("without the setting: " + usual)
    with ctx.bench.reported_as_windows98("bench_probe.exe"):
        if version() != "version: platform=1 major=4 minor=10":
            fail("reported as Windows 98: " + version())
    with ctx.bench.reported_as_windows98("another_program.exe"):
        if version() != usual:
            fail("Windows 98 for another program changed this one: " + version())
    if version() != usual:
        fail("after undoing: " + version())


def test_win_ini_edits_are_seen_and_undone(ctx):
    bench = ctx.bench
    before = bench.read_win_ini()
    base_dir_before = only_line(probe(ctx, ["profile", "ZorScreenSaver", "BaseDir"]), "profile:")
    with bench.edited_win_ini({"ZorScreenSaver": {"BaseDir": "Z:\\pictures\\"}, "ZorScreensaver": {"Interval": "7"}}):
        base_dir = only_line(probe(ctx, ["profile", "ZorScreenSaver", "BaseDir"]), "profile:")
        interval = only_line(probe(ctx, ["profile", "ZorScreensaver", "Interval"]), "profile:")
    if base_dir != "profile: [Z:\\pictures\\]" or interval != "profile: [7]":
        fail("win.ini values: %s, %s" % (base_dir, interval))
    if bench.read_win_ini() != before:
        fail("win.ini was not restored")
    after = only_line(probe(ctx, ["profile", "ZorScreenSaver", "BaseDir"]), "profile:")
    if after != base_dir_before:
        fail("after the edit: %s; before it: %s" % (after, base_dir_before))


def test_window_screenshot_keys_and_mouse(ctx):
    title = "Bench probe %s" % ctx.build.name
    running = ctx.start("bench_probe", ["window", title, "200", "40", "120"], timeout=30)
    try:
        display = running.display
        window = display.wait_for_window(title)
        running.wait_for_output("^window: painted$")
        if display.window_geometry(window) != (100, 80, 200, 150):
            fail("window geometry %s" % (display.window_geometry(window),))
        shot = display.screenshot(ctx.artifact_path("probe-window.png"))
        if shot.getpixel((200, 155)) != (200, 40, 120) or shot.getpixel((50, 50)) == (200, 40, 120):
            fail("screenshot: %s inside, %s outside" % (shot.getpixel((200, 155)), shot.getpixel((50, 50))))
        display.move_mouse(150, 120)
        running.wait_for_output("^input: move 50 40$")
        display.send_keys(window, "space")
        expect_ran(running.wait(), 0x100 + 0x20)  # VK_SPACE
    finally:
        running.kill()

    running = ctx.start("bench_probe", ["window", title, "0", "0", "255"], timeout=30)
    try:
        running.display.wait_for_window(title)
        running.wait_for_output("^window: painted$")
        running.display.move_mouse(130, 100)
        running.display.click(1)
        result = running.wait()
        expect_ran(result, 0x201)
        if "input: click 30 20" not in result.stdout:
            fail("click: %s" % result.describe())
    finally:
        running.kill()


def test_a_stopped_program_leaves_no_window(ctx):
    title = "Bench probe stopped %s" % ctx.build.name
    running = ctx.start("bench_probe", ["window", title, "0", "0", "0"], timeout=60)
    display = running.display
    display.wait_for_window(title)
    running.kill()
    result = running.wait()
    if not result.stopped or result.ran:
        fail("stopped program: %s" % result.describe())
    expect_failure_reported(result, "a stopped program")
    if display.find_windows(title):
        fail("the program's window outlived its stop")


def test_a_case_that_breaks_fails_alone(ctx):
    """Whatever a case raises fails that case only; the programs it left running end with it and
    the cases after it still run."""
    title = "Bench probe left running %s" % ctx.build.name
    left = []

    def case_leaves_a_window_and_breaks(inner):
        left.append(inner.start("bench_probe", ["window", title, "0", "0", "0"], timeout=60))
        left[0].display.wait_for_window(title)
        return {}["no such key"]

    def case_times_out(inner):
        raise subprocess.TimeoutExpired("xdotool", 30)

    def case_still_runs(inner):
        if inner.bench.display().find_windows(title):
            fail("the window of the broken case is still there")

    module = types.ModuleType("selftest_cases")
    for case in (case_leaves_a_window_and_breaks, case_times_out, case_still_runs):
        setattr(module, case.__name__, case)
    lines = []
    runner = winebench.Runner([ctx.build.directory], out=lines.append)
    runner.bench = ctx.bench
    with contextlib.redirect_stderr(io.StringIO()) as tracebacks:
        runner.run_module(module)
    group = "%s/selftest " % ctx.build.name
    outcomes = [line.split(" (")[0] for line in lines]
    if outcomes != ["FAIL " + group + "leaves_a_window_and_breaks", "FAIL " + group + "times_out",
                    "PASS " + group + "still_runs"] or "KeyError: 'no such key'" not in lines[0]:
        fail("the runner reported %s" % lines)
    if (runner.passed, runner.failed) != (1, 2) or not left or left[0].alive():
        fail("counted %d passed, %d failed; the program left running %s"
             % (runner.passed, runner.failed, "lives on" if left and left[0].alive() else "never started"))
    if tracebacks.getvalue().count("Traceback") != 2:
        fail("tracebacks on stderr: %r" % tracebacks.getvalue())

