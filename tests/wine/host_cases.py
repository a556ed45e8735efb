"""Windows test cases of the screen saver host: run modes and exit codes, the full-screen saver
and its closing rules, the preview, and the Windows 98 password paths with the stand-in
password modules. Each case is a function case_NAME(host) taking a HostTestContext.

Run alone: python3 tests/wine/run_tests.py -k win64/host build/win64
"""
import contextlib
import os
import re
import shutil
import subprocess
import time

import winebench
from winebench import fail
from trace_labels import TRACE

SAVER = "screensaver.scr"
SAVER_TITLE = "Screen Saver"
DESKTOP_KEY = r"HKCU\Control Panel\Desktop"
# Where Wine keeps SPI_SETSCREENSAVERRUNNING when it is set without updating win.ini.
RUNNING_STATE_KEY = r"HKCU\Software\Wine\Temporary System Parameters\Control Panel\Desktop"
AEDEBUG_KEY = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug"
ACCESS_VIOLATION = 0xC0000005
WM_POWERBROADCAST = 0x218
WM_POWER = 0x48


class HostTestContext(winebench.Context):
    """The runner's context with the host's helpers: a scratch folder per case, the window probe,
    the registry."""

    def __init__(self, *arguments):
        super().__init__(*arguments)
        self.probe_program = os.path.join(self.programs, "host_window_probe.exe")
        self.scratch_root = os.path.join(self.build_dir, "host-wine-cases")

    # files

    def saver_folder(self, name, standins=()):
        """A fresh folder holding a copy of the .scr and the named stand-in modules."""
        folder = os.path.join(self.scratch_root, name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        shutil.copy(os.path.join(self.build_dir, SAVER), folder)
        for target in standins:
            source_folder = os.path.join(self.programs, "standins", target)
            for file_name in os.listdir(source_folder):
                if file_name.upper().endswith((".CPL", ".DLL")):
                    shutil.copy(os.path.join(source_folder, file_name), folder)
        return os.path.join(folder, SAVER)

    # programs

    def probe(self, *arguments):
        """host_window_probe's key=value answer as a dict."""
        result = self.run(self.probe_program, list(arguments), timeout=15)
        winebench.expect_ran(result, 0)
        return dict(line.split("=", 1) for line in result.stdout if "=" in line)

    def saver_windows(self):
        return int(self.probe("saver", SAVER_TITLE)["count"])

    def start_saver(self, program, args="/s"):
        running = self.start(program, args)
        window = running.display.wait_for_window(SAVER_TITLE)
        return running, window

    def expect_ends(self, running, exit_code=0, within=10.0):
        deadline = time.monotonic() + within
        while running.alive() and time.monotonic() < deadline:
            time.sleep(0.05)
        if running.alive():
            running.kill()
            fail("the saver did not end within %.0f s" % within)
        winebench.expect_ran(running.wait(), exit_code)
        return running.result

    def expect_stays(self, running, seconds=0.8, why="the saver"):
        time.sleep(seconds)
        if not running.alive():
            fail("%s ended; %s" % (why, running.wait().describe()))

    # registry

    def reg(self, *arguments, check=True):
        env = self.bench.wine_environment(self.bench.display())
        return self.bench.wine_command(["reg"] + list(arguments), env=env, check=check)

    def running_state(self):
        """Wine's screen-saver-running state: 1, 0, or None when never set."""
        found = re.search(r"WINE_ScreenSaverRunning\s+REG_SZ\s+(\d+)",
                          self.reg("query", RUNNING_STATE_KEY, check=False))
        return int(found.group(1)) if found else None

    def reset_running_state(self):
        self.reg("delete", RUNNING_STATE_KEY, "/v", "WINE_ScreenSaverRunning", "/f", check=False)

    @contextlib.contextmanager
    def password_value(self, kind):
        """ScreenSaveUsePassword as "dword1", "dword0", "long" (8 bytes) or "missing"."""
        self.reg("delete", DESKTOP_KEY, "/v", "ScreenSaveUsePassword", "/f", check=False)
        if kind == "dword1":
            self.reg("add", DESKTOP_KEY, "/v", "ScreenSaveUsePassword", "/t", "REG_DWORD", "/d", "1", "/f")
        elif kind == "dword0":
            self.reg("add", DESKTOP_KEY, "/v", "ScreenSaveUsePassword", "/t", "REG_DWORD", "/d", "0", "/f")
        elif kind == "long":
            self.reg("add", DESKTOP_KEY, "/v", "ScreenSaveUsePassword", "/t", "REG_BINARY", "/d",
                     "0100000001000000", "/f")
        try:
            yield
        finally:
            self.reg("delete", DESKTOP_KEY, "/v", "ScreenSaveUsePassword", "/f", check=False)

    @contextlib.contextmanager
    def windows98(self, password=None):
        """The .scr sees Windows 98, loads a native MPR.DLL from its folder before Wine's own,
        and (if given) finds ScreenSaveUsePassword so; the running state starts unset."""
        app_key = "HKCU\\Software\\Wine\\AppDefaults\\" + SAVER + "\\DllOverrides"
        self.reg("add", app_key, "/v", "mpr", "/t", "REG_SZ", "/d", "native,builtin", "/f")
        self.reset_running_state()
        try:
            with self.bench.reported_as_windows98(SAVER):
                if password:
                    with self.password_value(password):
                        yield
                else:
                    yield
        finally:
            self.reg("delete", app_key, "/f", check=False)
            self.reset_running_state()

    @contextlib.contextmanager
    def no_crash_debugger(self):
        """Makes the system's fault report unable to start a debugger, as on a machine without
        one: UnhandledExceptionFilter then tells the faulting program to run its own handler.
        Both registry views: a 32-bit program reads the 32-bit one."""
        views = ("/reg:64", "/reg:32")
        before = {view: re.search(r"Debugger\s+REG_SZ\s+(.*)",
                                  self.reg("query", AEDEBUG_KEY, "/v", "Debugger", view, check=False))
                  for view in views}
        for view in views:
            self.reg("add", AEDEBUG_KEY, "/v", "Debugger", "/t", "REG_SZ", "/d", "no-such-debugger.exe %ld %ld",
                     "/f", view)
        try:
            yield
        finally:
            for view, found in before.items():
                if found:
                    self.reg("add", AEDEBUG_KEY, "/v", "Debugger", "/t", "REG_SZ", "/d", found.group(1).strip(),
                             "/f", view)
                else:
                    self.reg("delete", AEDEBUG_KEY, "/v", "Debugger", "/f", view, check=False)


CONTEXT = HostTestContext  # what the runner gives each case


@contextlib.contextmanager
def environment(**values):
    """Variables for the programs started meanwhile (the bench passes its own environment on)."""
    saved = {name: os.environ.get(name) for name in values}
    os.environ.update({name: str(value) for name, value in values.items()})
    try:
        yield
    finally:
        for name, value in saved.items():
            if value is None:
                os.environ.pop(name, None)
            else:
                os.environ[name] = value


def move_pointer(display, x, y):
    """Moves the pointer without waiting for the move to be seen: the synchronous form waits
    for ever when the pointer is already there."""
    display.xdotool("mousemove", x, y)
    time.sleep(0.15)


def standin_lines(running_or_result):
    lines = running_or_result.debug_texts() if hasattr(running_or_result, "debug_texts") else []
    return [line.strip() for line in lines if line.startswith("STANDIN ")]


def live_standin_lines(running):
    """Stand-in records of a program that still runs (its debug output so far)."""
    return [line.text.strip() for line in running.debug_so_far() if line.text.startswith("STANDIN ")]


def wait_for_standin_line(running, pattern, timeout=10.0):
    running.wait_for_debug("^STANDIN .*" + pattern, timeout=timeout)


def verify_calls(lines):
    return [line for line in lines if "VerifyScreenSavePwd call=" in line]


# --- run modes and exit codes -----------------------------------------------------------------

def case_message_ids_match_the_platform(host):
    winebench.expect_checks_passed(host.run(os.path.join(host.programs, "host_message_ids_test.exe")))


def case_scopes_free_the_module_and_close_the_key_on_an_early_return(host):
    winebench.expect_checks_passed(host.run(os.path.join(host.programs, "handle_scopes_test.exe")))


def case_invalid_switches_end_with_minus_one_and_no_window(host):
    saver = host.saver_folder("invalid")
    rows = ["/x", "/?", "/\ts", " -\ts", "/p", "/p 0", "/p:1234", "/p 99999",
            "/p 4294967296", "/l", "/a", "/a 1234", "\xe9"]
    for args in rows:
        result = host.run(saver, args, timeout=15)
        if not result.ran or result.exit_code != -1:
            fail("arguments %r: %s" % (args, result.describe()))
    if host.saver_windows() != 0:
        fail("a saver window was left behind")


DIALOG_OK = 20      # the configuration dialog's own command numbers
DIALOG_CANCEL = 30


def case_configuration_dialog_end_values(host):
    saver = host.saver_folder("configure")
    with host.bench.edited_win_ini():
        for args, command, expected in [("", DIALOG_CANCEL, 0), ("/c", DIALOG_OK, 1), ("-/ /", DIALOG_OK, 1),
                                        ("/c:1234", DIALOG_CANCEL, 0), ("/C 99", DIALOG_CANCEL, 0)]:
            running = host.start(saver, args)
            deadline = time.monotonic() + 15
            while True:
                if host.probe("dialog", str(command)).get("dialog", "0") != "0":
                    break
                if time.monotonic() > deadline or not running.alive():
                    running.kill()
                    fail("arguments %r opened no dialog; %s" % (args, running.wait().describe()))
                time.sleep(0.2)
            result = host.expect_ends(running, expected)
            if result.exit_code != expected:
                fail("arguments %r: exit %d" % (args, result.exit_code))


# --- the full-screen saver --------------------------------------------------------------------

def case_full_screen_window_and_second_start(host):
    saver = host.saver_folder("full-screen")
    running, window = host.start_saver(saver, "/s")
    try:
        seen = host.probe("saver", SAVER_TITLE)
        expected = {"count": "1", "class": "WindowsScreenSaverClass", "style": "0x96000000",
                    "rect": "0,0,%d,%d" % winebench.SCREEN_SIZE, "foreground": "1", "cursor": "0"}
        wrong = {k: (seen.get(k), v) for k, v in expected.items() if seen.get(k) != v}
        if wrong:
            fail("full-screen window: %s" % wrong)
        if not int(seen["exstyle"], 16) & 0x8:
            fail("not topmost: exstyle %s" % seen["exstyle"])
        # The window covers the screen in black until the show draws on it.
        shot = running.display.screenshot()
        corners = [shot.getpixel(p) for p in [(0, 0), (1023, 0), (0, 767), (1023, 767)]]
        if any(c != (0, 0, 0) for c in corners):
            fail("corners of the screen are not black: %s" % corners)
        # A second full-screen start brings the first forward and ends at once with 0.
        second = host.run(saver, "/s", timeout=15)
        winebench.expect_ran(second, 0)
        if host.saver_windows() != 1:
            fail("a second saver window appeared")
        host.expect_stays(running, 0.3, "the first saver")
        running.display.send_keys(window, "space")
        host.expect_ends(running, 0)
    finally:
        running.kill()


def case_full_screen_ends_on_key_button_move_and_deactivation(host):
    saver = host.saver_folder("closing")
    display = host.bench.display()

    def key(running, window):
        display.send_keys(window, "space")

    def system_key(running, window):
        display.send_keys(window, "alt+x")

    def button(running, window):
        move_pointer(display, 500, 400)  # a move of 0: the click alone must end it
        display.click(1)

    def right_button(running, window):
        display.click(3)

    def moves(running, window):
        # Moves that add up to 4 pixels from the reference leave it running; the fifth ends it.
        for x, y in [(501, 400), (502, 401), (502, 402), (504, 400), (500, 396)]:
            move_pointer(display, x, y)
            host.expect_stays(running, 0.3, "a move of 4 pixels or less")
        move_pointer(display, 503, 402)

    def deactivation(running, window):
        host.probe("activate-other")

    def power(running, window):
        host.probe("post", SAVER_TITLE, str(WM_POWER), "1")
        host.expect_stays(running, 0.5, "WM_POWER other than critical resume")
        host.probe("post", SAVER_TITLE, str(WM_POWERBROADCAST), "0x12")

    for name, action in [("key", key), ("system key", system_key), ("left button", button),
                         ("right button", right_button), ("pointer move", moves),
                         ("loss of activation", deactivation), ("power", power)]:
        move_pointer(display, 500, 400)
        running, window = host.start_saver(saver, "/s")
        try:
            host.expect_stays(running, 0.5, "the saver before any input (%s)" % name)
            action(running, window)
            host.expect_ends(running, 0, within=10)
        except winebench.TestFailure as failure:
            fail("%s: %s" % (name, failure))
        finally:
            running.kill()


def case_full_screen_ignores_autoplay_outside_windows98(host):
    saver = host.saver_folder("autoplay-nt")
    running, window = host.start_saver(saver)
    try:
        answer = host.probe("autoplay", SAVER_TITLE)
        if answer != {"sent": "1", "answer": "0"}:
            fail("AutoPlay query answered %s" % answer)
        host.expect_stays(running, 0.5, "the saver after an AutoPlay query outside Windows 98")
        running.display.send_keys(window, "space")
        host.expect_ends(running, 0)
    finally:
        running.kill()


def key_ends_the_saver(host, running, window):
    """Sends a key and waits for the end with 0; returns the seconds from the key to the end."""
    sent = time.monotonic()
    running.display.send_keys(window, "space")
    host.expect_ends(running, 0, within=10)
    return time.monotonic() - sent


def case_full_screen_shows_logo_credit_and_pictures(host):
    """What the user sees: the logo, the credit line under it, then the pictures of BaseDir. With
    EveryMonitor on: the bench's one monitor keeps the one show."""
    saver = host.saver_folder("show")
    width, height = winebench.SCREEN_SIZE
    centre = (width // 2 - 100, height // 2 - 100, width // 2 + 100, height // 2 + 100)
    credit_strip = (0, height - 30, width, height)

    def lit(image, box):
        return image.crop(box).convert("L").getbbox() is not None

    def wait_for(display, condition, what, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            shot = display.screenshot()
            if condition(shot):
                return shot
            time.sleep(0.2)
        fail("no %s on the screen within %.0f s" % (what, seconds))

    samples = winebench.windows_path(os.path.join(winebench.ROOT, "samples"))
    with host.bench.edited_win_ini({winebench.SAVER_SECTION: {"BaseDir": samples, "Interval": "1", "EveryMonitor": "1"}}):
        running, window = host.start_saver(saver, "/s")
        try:
            display = running.display
            logo = wait_for(display, lambda shot: lit(shot, centre), "logo", 10)
            wait_for(display, lambda shot: lit(shot, credit_strip), "credit line", 10)
            logo_centre = logo.crop(centre).tobytes()
            wait_for(display, lambda shot: shot.crop(centre).tobytes() != logo_centre and lit(shot, centre),
                     "picture after the logo", 20)
            print("key to end of a saver between its slides: %.2f s" % key_ends_the_saver(host, running, window))
        finally:
            running.kill()


def slow_picture_folder(host, name):
    """A folder whose one picture is a 12000 x 8000 progressive JPEG of noise, a load of seconds.
    Made once per build (it takes a few seconds) and kept between runs."""
    folder = os.path.join(host.scratch_root, "slow-pictures")
    picture = os.path.join(folder, "slow.jpg")
    if not os.path.exists(picture):
        from PIL import Image  # noqa: E402
        os.makedirs(folder, exist_ok=True)
        size = (12000, 8000)
        noise = Image.effect_noise(size, 60)
        image = Image.merge("RGB", (noise, Image.new("L", size, 40), Image.new("L", size, 200)))
        image.save(picture + ".part", "JPEG", quality=85, progressive=True)
        os.replace(picture + ".part", picture)
    return folder


def slides_shown(running):
    """Pictures drawn so far: the StretchDIBits traces after the logo's."""
    return max(0, sum(1 for line in running.debug_so_far() if line.text == TRACE["StretchDIBits"]) - 1)


def wait_until_loading_again(host, running, shown=1, timeout=60.0):
    """Waits until the given number of slides is on the screen: the next load starts at once."""
    deadline = time.monotonic() + timeout
    while slides_shown(running) < shown:
        if not running.alive() or time.monotonic() > deadline:
            fail("%d slides not shown within %.0f s; %s" % (shown, timeout, [l.text for l in running.debug_so_far()][-8:]))
        time.sleep(0.02)


def traces(running_or_result):
    lines = running_or_result.debug_so_far() if hasattr(running_or_result, "debug_so_far") else None
    texts = [line.text for line in lines] if lines is not None else running_or_result.debug_texts()
    return [text for text in texts if text.strip() and not text.startswith(" ")]


def case_full_screen_key_during_a_slow_load_ends_it(host):
    saver = host.saver_folder("slow-load")
    folder = slow_picture_folder(host, "slow-load")
    with host.bench.edited_win_ini({winebench.SAVER_SECTION: {"BaseDir": winebench.windows_path(folder), "Interval": "1"}}):
        running, window = host.start_saver(saver, "/s")
        try:
            wait_until_loading_again(host, running)
            time.sleep(0.2)
            print("key to end during a slow load: %.2f s" % key_ends_the_saver(host, running, window))
        finally:
            running.kill()


def stuck_read_library(host):
    """The preloaded library that makes reads of stuck.jpg never return, for 64- and 32-bit
    Wine (the loader passes over the one of the other kind). Built once per run."""
    libraries = []
    for bits in ("64", "32"):
        library = os.path.join(host.scratch_root, "stuck-read-%s.so" % bits)
        if not os.path.exists(library):
            os.makedirs(host.scratch_root, exist_ok=True)
            subprocess.run(["gcc", "-m" + bits, "-shared", "-fPIC", "-O1", "-o", library,
                            os.path.join(os.path.dirname(__file__), "stuck_read.c"), "-ldl"], check=True)
        libraries.append(library)
    return " ".join(libraries)


def case_full_screen_key_ends_it_while_a_read_never_returns(host):
    """A file whose reads never return, as on a share that stopped answering, beside a good
    picture: once the show's worker is stuck in it, a key still ends the saver at once."""
    saver = host.saver_folder("stuck-read")
    folder = os.path.join(host.scratch_root, "stuck-pictures")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    from PIL import Image  # noqa: E402
    Image.new("RGB", (64, 48), (200, 30, 30)).save(os.path.join(folder, "good.bmp"))
    Image.new("RGB", (64, 48), (30, 30, 200)).save(os.path.join(folder, "stuck.jpg"))
    preload = stuck_read_library(host)
    with host.bench.edited_win_ini({winebench.SAVER_SECTION: {"BaseDir": winebench.windows_path(folder), "Interval": "1"}}), \
            environment(LD_PRELOAD=preload):
        running, window = host.start_saver(saver, "/s")
        try:
            running.wait_for_line(r"^STUCK read blocked$", 20, running.stderr_so_far, "the stuck read")
            time.sleep(1.5)  # a tick or two with the worker stuck
            print("key to end with a read that never returns: %.2f s" % key_ends_the_saver(host, running, window))
        finally:
            running.kill()


def case_full_screen_waits_for_a_folder_that_comes_back(host):
    """A folder that cannot be listed leaves the logo up, with no label, and is tried again after
    a pause; the show starts when it appears, holds its picture while it is gone and goes on when
    it is back."""
    saver = host.saver_folder("vanishing")
    folder = os.path.join(host.scratch_root, "vanishing-pictures")
    away = folder + "-away"
    for path in (folder, away):
        shutil.rmtree(path, ignore_errors=True)
    os.makedirs(away)
    from PIL import Image  # noqa: E402
    for name, colour in (("a.bmp", (200, 30, 30)), ("b.bmp", (30, 200, 30))):
        Image.new("RGB", (64, 48), colour).save(os.path.join(away, name))
    width, _ = winebench.SCREEN_SIZE
    label_strip = (0, 0, width, 20)

    def no_label_for(running, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if running.display.screenshot().crop(label_strip).convert("L").getextrema()[1] > 200:
                fail("a label was written while the folder could not be listed")
            time.sleep(0.25)

    def wait_for_slides(running, count, seconds):
        deadline = time.monotonic() + seconds
        while slides_shown(running) < count:
            if not running.alive() or time.monotonic() > deadline:
                fail("%d slides not shown within %.0f s of the folder's return" % (count, seconds))
            time.sleep(0.1)

    with host.bench.edited_win_ini({winebench.SAVER_SECTION: {"BaseDir": winebench.windows_path(folder), "Interval": "1"}}):
        running, window = host.start_saver(saver, "/s")
        try:
            running.wait_for_debug(re.escape(TRACE["RandomFirstFile"]), timeout=20)
            no_label_for(running, 2.5)
            if slides_shown(running):
                fail("a slide was shown from a folder that cannot be listed")
            os.rename(away, folder)
            wait_for_slides(running, 1, 10)
            os.rename(folder, away)
            no_label_for(running, 2.5)  # a slide made before it went may still come meanwhile
            shown = slides_shown(running)
            no_label_for(running, 1.5)
            if slides_shown(running) != shown:
                fail("slides were shown while the folder was gone")
            os.rename(away, folder)
            wait_for_slides(running, shown + 1, 10)
            key_ends_the_saver(host, running, window)
        finally:
            running.kill()


def case_refused_password_shows_the_next_picture(host):
    saver = host.saver_folder("slow-load-98", ["standin_password_cpl"])
    folder = slow_picture_folder(host, "slow-load-98")
    width, height = winebench.SCREEN_SIZE
    with host.bench.edited_win_ini({winebench.SAVER_SECTION: {"BaseDir": winebench.windows_path(folder), "Interval": "1"}}), \
            host.windows98(password="dword1"), environment(SAVER_TEST_VERIFY_ANSWERS="0,1"):
        running, window = host.start_saver(saver)
        try:
            wait_until_loading_again(host, running)
            time.sleep(0.2)
            running.display.send_keys(window, "space")
            wait_for_standin_line(running, r"call=1 .*answer=0")
            # Refused: the picture that was being made comes next, drawn in full; meanwhile no
            # label is written where it belongs.
            label_strip = (0, 0, width, 20)
            deadline = time.monotonic() + 60
            while slides_shown(running) < 2:
                if not running.alive() or time.monotonic() > deadline:
                    fail("no picture after the refusal; %s" % traces(running)[-8:])
                strip = running.display.screenshot().crop(label_strip).convert("L")
                if strip.getextrema()[1] > 200:
                    fail("a label was written where the next picture belongs")
            shot = running.display.screenshot()
            centre = shot.getpixel((width // 2, height // 2))
            if centre[2] < 120 or centre[1] > 100:
                fail("the picture is not on the screen after the refusal: centre %s" % (centre,))
            running.display.send_keys(window, "space")
            result = host.expect_ends(running, 0, within=15)
        finally:
            running.kill()
    lines = traces(result)
    order = [line for line in lines if line == TRACE["StretchDIBits"] or "VerifyScreenSavePwd" in line]
    refused = next((i for i, line in enumerate(order) if "answer=0" in line), None)
    if refused is None or order[refused + 1:refused + 2] != [TRACE["StretchDIBits"]]:
        fail("after the refusal the show did not draw the picture next: %s" % order)


# --- the preview ------------------------------------------------------------------------------

def preview_with_input(host, saver, input_ms=2500, meanwhile=None):
    running = host.bench.start_program(host.launcher, os.path.join(host.programs, "host_preview_parent_test.exe"),
                                       [winebench.windows_path(saver), str(input_ms)], timeout=60)
    try:
        ready = running.wait_for_output(r"PREVIEW READY (-?\d+) (-?\d+) (\d+) (\d+)", timeout=20)
        x, y, w, h = (int(v) for v in ready.groups())
        display = running.display
        move_pointer(display, x + w // 2, y + h // 2)
        move_pointer(display, x + w // 2 + 40, y + h // 2 + 30)
        display.click(1)
        parent = display.find_windows("Preview parent")
        if parent:
            display.send_keys(parent[0], "space", "Escape")
        if meanwhile:
            meanwhile()
    finally:
        result = running.wait()
    winebench.expect_checks_passed(result)


def case_preview_lives_in_its_parent_until_the_parent_goes(host):
    preview_with_input(host, host.saver_folder("preview"))


def case_full_screen_start_is_not_stopped_by_a_running_preview(host):
    saver = host.saver_folder("preview-and-full-screen")

    def full_screen_meanwhile():
        # The preview is a child titled "Preview": the full-screen start must make its own window.
        running, window = host.start_saver(saver, "/s")
        try:
            host.expect_stays(running, 0.5, "the full-screen saver beside a preview")
            running.display.send_keys(window, "space")
            host.expect_ends(running, 0)
        finally:
            running.kill()

    preview_with_input(host, saver, input_ms=12000, meanwhile=full_screen_meanwhile)


def case_preview_on_windows98_ignores_input_and_autoplay(host):
    saver = host.saver_folder("preview-98", ["standin_password_cpl"])
    with host.windows98(password="dword1"), environment(SAVER_TEST_VERIFY_ANSWERS="1"):
        preview_with_input(host, saver)
        if host.running_state() not in (None, 0):
            fail("a preview switched the screen-saver-running state on")


def case_preview_whose_window_cannot_be_made_ends_with_minus_one(host):
    saver = host.saver_folder("preview-fails")
    result = host.run(os.path.join(host.programs, "host_preview_parent_test.exe"),
                      [winebench.windows_path(saver), "destroy-on-create"], timeout=30)
    winebench.expect_checks_passed(result)


# --- Windows 98: password hooks ---------------------------------------------------------------

def case_password_value_forms(host):
    saver = host.saver_folder("password-values", ["standin_password_cpl"])
    for kind, hooked in [("dword1", True), ("dword0", False), ("long", False), ("missing", False)]:
        with host.windows98(password=kind), environment(SAVER_TEST_VERIFY_ANSWERS="1"):
            running, window = host.start_saver(saver)
            try:
                host.expect_stays(running, 0.5)
                state = host.running_state()
                if (state == 1) != hooked:
                    fail("%s: running state %s while the saver runs" % (kind, state))
                running.display.send_keys(window, "space")
                result = host.expect_ends(running, 0)
            finally:
                running.kill()
            lines = standin_lines(result)
            if hooked:
                expected = ["STANDIN PASSWORD.CPL loaded running=0",
                            "STANDIN PASSWORD.CPL VerifyScreenSavePwd call=1 window=%s running=1 answer=1"
                            % host_window_number(window, lines),
                            "STANDIN PASSWORD.CPL released running=1"]
                if lines != expected:
                    fail("%s: records %s, expected %s" % (kind, lines, expected))
            elif lines:
                fail("%s: PASSWORD.CPL was touched: %s" % (kind, lines))
            if host.running_state() not in (None, 0):
                fail("%s: running state left on" % kind)


def host_window_number(x_window, lines):
    """The Win32 handle the stand-in saw (the X window id is another number)."""
    for line in lines:
        found = re.search(r"window=(\d+)", line)
        if found:
            return found.group(1)
    return "?"


def case_password_module_without_entry_is_released_at_once(host):
    saver = host.saver_folder("password-no-entry", ["standin_password_cpl_without_entry"])
    with host.windows98(password="dword1"):
        running, window = host.start_saver(saver)
        try:
            wait_for_standin_line(running, r"released \(no entry\)")
            if host.running_state() not in (None, 0):
                fail("running state switched on without an entry")
            running.display.send_keys(window, "space")
            host.expect_ends(running, 0)
        finally:
            running.kill()


def case_refused_password_keeps_the_saver_and_spaces_questions(host):
    saver = host.saver_folder("password-refused", ["standin_password_cpl"])
    # Refused once; the stand-in then posts closes 150 ms and 250 ms after its answer.
    with host.windows98(password="dword1"), environment(SAVER_TEST_VERIFY_ANSWERS="0,1",
                                                         SAVER_TEST_CLOSE_AFTER_MS="150,250"):
        running, window = host.start_saver(saver)
        try:
            running.display.send_keys(window, "space")
            result = host.expect_ends(running, 0)
        finally:
            running.kill()
    lines = standin_lines(result)
    order = [re.sub(r" window=\d+| at \+\d+ ms|running=\d", "", line) for line in lines]
    expected = ["STANDIN PASSWORD.CPL loaded ",
                "STANDIN PASSWORD.CPL VerifyScreenSavePwd call=1  answer=0",
                "STANDIN PASSWORD.CPL posting WM_CLOSE",
                "STANDIN PASSWORD.CPL posting WM_CLOSE",
                "STANDIN PASSWORD.CPL VerifyScreenSavePwd call=2  answer=1",
                "STANDIN PASSWORD.CPL released "]
    if order != expected:
        fail("records %s" % lines)
    posted = [int(v) for v in re.findall(r"at \+(\d+) ms", " ".join(lines))]
    if not (posted[0] < 190 and posted[1] > 210):
        fail("the closes were not posted around 150 and 250 ms: %s" % posted)


def case_no_input_closes_without_approval(host):
    saver = host.saver_folder("password-input", ["standin_password_cpl"])
    display = host.bench.display()
    move_pointer(display, 300, 300)
    with host.windows98(password="dword1"), environment(SAVER_TEST_VERIFY_ANSWERS="0,0,0,1"):
        running, window = host.start_saver(saver)
        try:
            inputs = [lambda: display.send_keys(window, "space"), lambda: display.click(1),
                      lambda: move_pointer(display, 400, 380)]
            for number, give in enumerate(inputs, start=1):
                give()
                wait_for_standin_line(running, r"call=%d " % number)
                host.expect_stays(running, 0.4, "the saver after a refused password")
                seen = host.probe("saver", SAVER_TITLE)
                if seen.get("found") != "1" or seen.get("cursor") != "0":
                    fail("after refusal %d: %s" % (number, seen))
            display.send_keys(window, "space")
            result = host.expect_ends(running, 0)
        finally:
            running.kill()
    if len(verify_calls(standin_lines(result))) != 4:
        fail("verifications: %s" % standin_lines(result))


def case_input_during_verification_asks_no_second_time(host):
    saver = host.saver_folder("password-nested", ["standin_password_cpl"])
    display = host.bench.display()
    move_pointer(display, 300, 300)
    with host.windows98(password="dword1"), environment(SAVER_TEST_VERIFY_ANSWERS="1",
                                                         SAVER_TEST_VERIFY_PUMP_MS="2500"):
        running, window = host.start_saver(saver)
        try:
            display.send_keys(window, "space")
            wait_for_standin_line(running, r"call=1 ")
            # The password dialog pumps messages: input and ticks arrive nested inside it.
            display.click(1)
            move_pointer(display, 600, 500)
            display.send_keys(window, "a")
            host.probe("post", SAVER_TITLE, "16", "0")  # a WM_CLOSE of its own
            result = host.expect_ends(running, 0, within=15)
        finally:
            running.kill()
    calls = verify_calls(standin_lines(result))
    if len(calls) != 1:
        fail("verifications: %s" % calls)


def case_autoplay_on_windows98(host):
    saver = host.saver_folder("autoplay-98", ["standin_password_cpl"])
    for password, answer in [("dword1", "1"), ("missing", "0")]:
        with host.windows98(password=password), environment(SAVER_TEST_VERIFY_ANSWERS="1"):
            running, window = host.start_saver(saver)
            try:
                seen = host.probe("autoplay", SAVER_TITLE)
                if seen != {"sent": "1", "answer": answer}:
                    fail("password %s: AutoPlay answered %s" % (password, seen))
                host.expect_ends(running, 0)
            finally:
                running.kill()


def case_change_password_on_windows98(host):
    saver = host.saver_folder("change-password", ["standin_mpr_dll"])
    desktop = host.probe("desktop")["desktop"]
    with host.windows98():
        for args, owner in [("/a " + desktop, desktop), ("-A" + desktop, desktop), ("/a 1234", None)]:
            result = host.run(saver, args)
            winebench.expect_ran(result, 0)
            lines = standin_lines(result)
            if len(lines) != 3 or lines[0] != "STANDIN MPR.DLL loaded" or lines[2] != "STANDIN MPR.DLL released":
                fail("%r: records %s" % (args, lines))
            call = re.match(r"STANDIN MPR.DLL PwdChangePasswordA provider=SCRSAVE owner=(\d+) arg3=0 arg4=0$", lines[1])
            if not call or (owner and call.group(1) != owner) or (not owner and call.group(1) == "1234"):
                fail("%r: call %s" % (args, lines[1]))
    # Outside Windows 98 the switch is invalid and nothing is loaded.
    result = host.run(saver, "/a " + desktop)
    winebench.expect_ran(result, -1)
    if standin_lines(result):
        fail("MPR.DLL touched outside Windows 98: %s" % standin_lines(result))


def case_fault_guard_switches_the_running_state_off(host):
    saver = host.saver_folder("fault", ["standin_password_cpl", "standin_mpr_dll"])
    with host.windows98(password="dword1"), host.no_crash_debugger():
        # A fault inside the password check, deep in the window's message handling.
        with environment(SAVER_TEST_VERIFY_ANSWERS="fault"):
            running, window = host.start_saver(saver)
            try:
                host.expect_stays(running, 0.5)
                if host.running_state() != 1:
                    fail("running state %s before the fault" % host.running_state())
                running.display.send_keys(window, "space")
                result = host.expect_ends(running, None, within=20)
            finally:
                running.kill()
            if result.exit_code_unsigned != ACCESS_VIOLATION:
                fail("exit code 0x%08X after the fault; %s" % (result.exit_code_unsigned, result.describe()))
            if host.running_state() != 0:
                fail("the running state was left %s after the fault" % host.running_state())
        # A fault in the change-password mode, straight inside the run mode.
        with environment(SAVER_TEST_CHANGE_ANSWER="fault"):
            result = host.run(saver, "/a")
            winebench.expect_ran(result)
            if result.exit_code_unsigned != ACCESS_VIOLATION:
                fail("/a: exit code 0x%08X after the fault" % result.exit_code_unsigned)
