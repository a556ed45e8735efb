"""The project's Wine test bench: runs Windows programs under Wine in private X displays.

One bench serves a whole test run:
  - a private WINEPREFIX under build/ (made once; Wine's crash dialog off, Mono and Gecko off),
    used by one run at a time (a lock file; a second run waits), with one persistent wineserver;
  - one private Xvfb per colour depth, started on first use (24-bit, and 8-bit where Wine reports
    RC_PALETTE), on a display number the X server picks itself (-displayfd), so two runs never
    race for one;
  - programs run through the project's launcher (tests/win/launcher.cpp), which reports the exit
    code whole (Wine's own status keeps 8 bits); a run without the launcher's report did not run;
  - OutputDebugStringA lines decoded from Wine's +debugstr channel;
  - windows found by title, screenshots, keys and mouse input through xdotool;
  - Windows 98 reported to one program name, and win.ini edited, each undone afterwards.
Teardown is by process id (the Xvfb and launcher processes this bench started) and by prefix
(wineserver -k); nothing is ever killed by name.

Texts from Windows programs are bytes in the ANSI code page; they are decoded as Latin-1 so that
every byte survives as one character.
"""
import contextlib
import fcntl
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
DEFAULT_PREFIX = os.path.join(ROOT, "build", "wineprefix")
CONVERT = "/usr/bin/convert"  # ImageMagick itself, whatever else is first on PATH
READY_FILE = "bench-ready"
SCREEN_SIZE = (1024, 768)


class BenchError(Exception):
    """The bench itself could not do its part (no prefix, no display)."""


class TestFailure(AssertionError):
    """A check of a test failed; the message says why."""


def fail(why):
    raise TestFailure(why)


def once(test):
    """Marks a test function that the runner calls a single time, not once per build."""
    test.bench_scope = "once"
    return test


def every_build(test):
    """Marks a test function for every build, also one whose programs cannot run here (it only
    inspects the build's files, or runs programs of another build)."""
    test.bench_scope = "every_build"
    return test


def kernel_runs_32bit_code():
    """What scripts/setup found out by running a 32-bit program."""
    try:
        with open(os.path.join(ROOT, "build", "deps", "runs32")) as f:
            return f.read().strip() == "yes"
    except OSError:
        return False


def wine32_installed():
    status = subprocess.run(["dpkg-query", "-W", "-f=${Status}", "wine32:i386"],
                            capture_output=True, text=True)
    return status.returncode == 0 and "install ok installed" in status.stdout


def windows_path(path):
    """A Unix path as Windows programs under Wine see it (drive Z: is the Unix root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def quote_argument(argument):
    """One argument for a Windows command line, quoted the way the C runtime splits it again."""
    if argument and not re.search(r'[\s"]', argument):
        return argument
    quoted, backslashes = '"', 0
    for c in argument:
        if c == "\\":
            backslashes += 1
            continue
        if c == '"':
            quoted += "\\" * (2 * backslashes + 1) + '"'
        else:
            quoted += "\\" * backslashes + c
        backslashes = 0
    return quoted + "\\" * (2 * backslashes) + '"'


# --- debugger output ----------------------------------------------------------------------------

DEBUGSTR_LINE = re.compile(r'^([0-9a-f]+):warn:debugstr:OutputDebugString([AW]) L?"(.*)"(\.\.\.)?$')
ESCAPES = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "\\": "\\"}


def decode_debug_string(escaped):
    """Undoes Wine's escaping of a debug string: \\n \\r \\t \\" \\\\ and \\xNN."""
    text, i = [], 0
    while i < len(escaped):
        c = escaped[i]
        if c != "\\" or i + 1 >= len(escaped):
            text.append(c)
            i += 1
            continue
        following = escaped[i + 1]
        if following == "x" and re.match(r"[0-9a-fA-F]{2}", escaped[i + 2:i + 4]):
            text.append(chr(int(escaped[i + 2:i + 4], 16)))
            i += 4
        elif following == "u" and re.match(r"[0-9a-fA-F]{4}", escaped[i + 2:i + 6]):
            text.append(chr(int(escaped[i + 2:i + 6], 16)))
            i += 6
        else:
            text.append(ESCAPES.get(following, "\\" + following))
            i += 2
    return "".join(text)


class DebugLine:
    """One OutputDebugString call: its text, the thread, and whether Wine cut it short (it logs
    about 290 characters of a string, then "...")."""

    def __init__(self, thread, text, truncated):
        self.thread = thread
        self.text = text
        self.truncated = truncated

    def __repr__(self):
        return "DebugLine(%r%s)" % (self.text, ", truncated" if self.truncated else "")


LAUNCHER_STARTED = "launcher: started"


def split_debug_output(stderr_lines):
    """Wine's stderr → (debug lines, the other lines); the launcher's "started" line is dropped."""
    debug, other = [], []
    for line in stderr_lines:
        if line == LAUNCHER_STARTED:
            continue
        match = DEBUGSTR_LINE.match(line)
        if match:
            debug.append(DebugLine(match.group(1), decode_debug_string(match.group(3)), bool(match.group(4))))
        else:
            other.append(line)
    return debug, other


# --- results ------------------------------------------------------------------------------------

LAUNCHER_REPORT = re.compile(
    r"^launcher: (exit 0x([0-9A-F]{8})|timeout after \d+ ms|stopped on request|cannot start.*|no exit code.*)$")
CHECKS_PASSED = re.compile(r"^ALL (\d+) CHECKS PASSED$")


class RunResult:
    """What one run of a Windows program gave.

    ran           the launcher reported an exit code (the program started and ended by itself)
    exit_code     the 32-bit exit code as a signed number (-1, not 255); None when not ran
    exit_code_unsigned  the same as GetExitCodeProcess gives it (0xFFFFFFFF)
    timed_out     the time limit ended it
    stopped       RunningProgram.kill() ended it
    report        the launcher's last line, or None when the launcher itself did not run
    stdout        the program's output lines (the launcher's report removed)
    stderr        Wine's and the program's other error lines
    debug         DebugLine records of OutputDebugString, in order; debug_texts() their texts
    wine_status   the Unix exit status of the wine process that ran the launcher
    """

    def __init__(self, command, stdout_lines, stderr_lines, deadline_passed=False, wine_status=None):
        self.command = command
        self.wine_status = wine_status
        self.report = None
        self.exit_code = None
        self.exit_code_unsigned = None
        self.timed_out = deadline_passed
        self.stopped = False
        lines = list(stdout_lines)
        for index in range(len(lines) - 1, -1, -1):
            match = LAUNCHER_REPORT.match(lines[index])
            if match:
                self.report = lines.pop(index)
                if match.group(2):
                    self.exit_code_unsigned = int(match.group(2), 16)
                    code = self.exit_code_unsigned
                    self.exit_code = code - (1 << 32) if code >= 1 << 31 else code
                elif match.group(1).startswith("timeout"):
                    self.timed_out = True
                elif match.group(1).startswith("stopped"):
                    self.stopped = True
                break
        self.ran = self.exit_code is not None
        self.stdout = lines
        self.debug, self.stderr = split_debug_output(stderr_lines)

    def debug_texts(self):
        return [line.text for line in self.debug]

    def describe(self):
        """A short account for failure messages."""
        parts = ["report: %s" % (self.report or "none (the launcher did not run; wine status %s)" % self.wine_status)]
        if self.stdout:
            parts.append("stdout: " + " | ".join(self.stdout[-8:]))
        if self.stderr:
            parts.append("stderr: " + " | ".join(self.stderr[-5:]))
        return "; ".join(parts)


def wine_gave_up_before_the_launcher(result):
    """True when wine failed by itself before the launcher (and so the program) wrote anything."""
    return (result.report is None and not result.timed_out and result.wine_status not in (None, 0)
            and not result.stdout and not result.stderr and not result.debug)


def expect_ran(result, exit_code=None):
    """Fails unless the program ran to its end (and, if given, ended with exit_code)."""
    if result.timed_out:
        fail("timed out; " + result.describe())
    if not result.ran:
        fail("did not run; " + result.describe())
    if exit_code is not None and result.exit_code != exit_code:
        fail("exit code %d (0x%08X), expected %d; %s" % (result.exit_code, result.exit_code_unsigned,
                                                          exit_code, result.describe()))


def expect_checks_passed(result):
    """For the test programs of tests/win: ran, exit code 0, and their own final line
    "ALL N CHECKS PASSED" with N > 0. Returns N."""
    expect_ran(result)
    failures = [line for line in result.stdout if line.startswith("FAIL")]
    if failures:
        fail("; ".join(failures[:10]))
    matches = [CHECKS_PASSED.match(line) for line in result.stdout]
    passed = [int(m.group(1)) for m in matches if m]
    if result.exit_code != 0 or not passed or passed[-1] == 0:
        fail("no passing check summary (exit code %d); %s" % (result.exit_code, result.describe()))
    return passed[-1]


# --- X displays ---------------------------------------------------------------------------------

class Display:
    """A private Xvfb of one colour depth, with the X-side helpers tests need."""

    def __init__(self, depth):
        self.depth = depth
        read_end, write_end = os.pipe()
        try:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                 "%dx%dx%d" % (SCREEN_SIZE[0], SCREEN_SIZE[1], depth), "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL)
        finally:
            os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as announced:  # the server writes its number once it is ready
            while not number.endswith(b"\n"):
                chunk = announced.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip().isdigit():
            self.process.kill()
            self.process.wait()
            raise BenchError("Xvfb (depth %d) did not start" % depth)
        self.name = ":" + number.strip().decode()

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def environment(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.name
        return env

    def xdotool(self, *arguments, check=True):
        done = subprocess.run(["xdotool"] + [str(a) for a in arguments], env=self.environment(),
                              capture_output=True, text=True, timeout=30)
        if check and done.returncode != 0:
            raise BenchError("xdotool %s: %s" % (" ".join(map(str, arguments)), done.stderr.strip()))
        return done.stdout

    def find_windows(self, title):
        """X windows whose name is exactly title (Wine gives a top-level window its Win32 title)."""
        found = self.xdotool("search", "--name", "^%s$" % re.escape(title), check=False)
        return [int(line) for line in found.split()]

    def wait_for_window(self, title, timeout=15.0):
        deadline = time.monotonic() + timeout
        while True:
            windows = self.find_windows(title)
            if windows:
                return windows[0]
            if time.monotonic() > deadline:
                fail("no window titled %r within %.0f s" % (title, timeout))
            time.sleep(0.05)

    def window_geometry(self, window):
        """(x, y, width, height) of an X window on the screen."""
        values = dict(line.split("=", 1) for line in self.xdotool("getwindowgeometry", "--shell", window).split())
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def window_exists(self, window):
        return subprocess.run(["xwininfo", "-id", str(window), "-display", self.name],
                              capture_output=True).returncode == 0

    def send_keys(self, window, *keys):
        """Keys by X keysym name ("space", "Escape", "a") delivered to the window. Plain key events
        to the screen are lost: Wine's windows get no X focus without a window manager."""
        done = subprocess.run(["xdotool", "key", "--window", str(window)] + list(keys), env=self.environment(),
                              capture_output=True, text=True, timeout=30)
        # A program that closes on the key press takes its window with it before the key's release
        # is sent, and xdotool then reports a bad window: the key did arrive.
        if done.returncode != 0 and self.window_exists(window):
            raise BenchError("xdotool key %s: %s" % (" ".join(keys), done.stderr.strip()))

    def focus_and_type_keys(self, window, *keys):
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("key", *keys)

    def move_mouse(self, x, y):
        """Moves the pointer to screen coordinates."""
        self.xdotool("mousemove", "--sync", x, y)

    def click(self, button=1):
        """A button press and release where the pointer is."""
        self.xdotool("click", button)

    def click_at(self, x, y, button=1):
        self.move_mouse(x, y)
        self.click(button)

    def screenshot(self, path=None):
        """The whole screen as an RGB Pillow image, optionally also written to path (PNG).
        At 8 bits Wine draws with the nearest shared colours: judge palettes through GDI instead."""
        from PIL import Image
        with tempfile.TemporaryDirectory() as scratch:
            png = os.path.join(scratch, "screen.png")
            dump = subprocess.run(["xwd", "-root", "-silent", "-display", self.name], capture_output=True, timeout=30)
            if dump.returncode != 0:
                raise BenchError("xwd: %s" % dump.stderr.decode(errors="replace").strip())
            subprocess.run([CONVERT, "xwd:-", "png:" + png], input=dump.stdout, check=True, timeout=60)
            with Image.open(png) as shot:
                image = shot.convert("RGB")
        if path:
            os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
            image.save(path)
        return image


# --- programs running in the background ---------------------------------------------------------

class RunningProgram:
    """A program started in the background: interact through its display, then wait().

    Its output goes to files, not pipes: Wine's service processes that the first program of a
    session starts inherit the output handles and live on, so a pipe would never see its end."""

    def __init__(self, command, env, cwd, timeout, display):
        self.command = command
        self.display = display
        self.timeout = timeout
        self.started = time.monotonic()
        self.scratch = tempfile.TemporaryDirectory(prefix="winebench-")
        self.stdout_path = os.path.join(self.scratch.name, "stdout")
        self.stderr_path = os.path.join(self.scratch.name, "stderr")
        # The launcher's input stays open: kill() asks it to end the program through it.
        with open(self.stdout_path, "ab") as stdout, open(self.stderr_path, "ab") as stderr:
            self.process = subprocess.Popen(command, env=env, cwd=cwd, stdin=subprocess.PIPE,
                                            stdout=stdout, stderr=stderr)
        self.deadline_passed = False
        self.result = None

    @staticmethod
    def read_lines(path):
        with open(path, "rb") as f:
            lines = f.read().decode("latin-1").split("\n")
        if lines[-1] == "":
            lines.pop()
        return [line.rstrip("\r") for line in lines]

    def output_so_far(self):
        """The program's stdout lines up to now (a last line may still be incomplete)."""
        return self.read_lines(self.stdout_path)

    def debug_so_far(self):
        """DebugLine records of the program's OutputDebugString calls up to now."""
        return split_debug_output(self.read_lines(self.stderr_path))[0]

    def stderr_so_far(self):
        """Error lines other than debug strings, up to now."""
        return split_debug_output(self.read_lines(self.stderr_path))[1]

    def wait_for_output(self, pattern, timeout=15.0):
        """Waits for a stdout line matching the regular expression; returns the match."""
        return self.wait_for_line(pattern, timeout, self.output_so_far, "output")

    def wait_for_debug(self, pattern, timeout=15.0):
        """Waits for a debug string matching the regular expression; returns the match."""
        return self.wait_for_line(pattern, timeout, lambda: [line.text for line in self.debug_so_far()],
                                  "debug string")

    def wait_for_line(self, pattern, timeout, read, what):
        expression = re.compile(pattern)
        deadline = time.monotonic() + timeout
        while True:
            ended = self.process.poll() is not None
            lines = read()
            for line in lines:
                match = expression.search(line)
                if match:
                    return match
            if ended or time.monotonic() > deadline:
                fail("no %s matching %r; so far: %s" % (what, pattern, " | ".join(map(repr, lines[-8:]))))
            time.sleep(0.02)

    def alive(self):
        return self.process.poll() is None

    def wait_until_started(self, timeout=30.0):
        """True once the launcher has created the program; False when the launcher ended first
        (or took longer than timeout)."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            ended = self.process.poll() is not None
            if LAUNCHER_STARTED in self.read_lines(self.stderr_path):
                return True
            if ended:
                return False
            time.sleep(0.01)
        return False

    def wait(self, timeout=None):
        """Waits for the end and returns the RunResult. The launcher ends the program at its own
        limit; by default this waits 10 s longer, counted from the start, then kills the launcher
        by its process id. timeout: seconds from now instead."""
        if self.result:
            return self.result
        if timeout is None:
            timeout = max(0.0, self.started + self.timeout + 10 - time.monotonic())
        try:
            self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.deadline_passed = True
            self.kill()
        self.process.stdin.close()
        self.result = RunResult(self.command, self.read_lines(self.stdout_path),
                                self.read_lines(self.stderr_path), self.deadline_passed,
                                self.process.returncode)
        self.scratch.cleanup()
        return self.result

    def kill(self):
        """Ends the program if it still runs. The launcher is asked to terminate it, so that no
        window of it outlives the test; a launcher that does not answer is killed by its id."""
        if self.process.poll() is not None:
            return
        try:
            self.process.stdin.write(b"stop\n")
            self.process.stdin.flush()
        except OSError:
            pass
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


# --- the bench ----------------------------------------------------------------------------------

class WineBench:
    """Use as a context manager around a whole test run:

        with WineBench() as bench:
            result = bench.run(launcher, program, ["/s"], timeout=20, depth=24)
    """

    def __init__(self, prefix=DEFAULT_PREFIX, log=None):
        self.prefix = os.path.abspath(prefix)
        self.lock_path = self.prefix + ".lock"
        self.log = log or (lambda message: print("bench: " + message, file=sys.stderr, flush=True))
        self.lock_file = None
        self.displays = {}
        self.programs = []
        self.server_started = False
        self.prefix_seconds = None

    # lifecycle

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()
        return False

    def start(self):
        """Takes the prefix for this run (waiting while another run holds it), makes the prefix if
        needed and starts the wineserver."""
        os.makedirs(os.path.dirname(self.prefix), exist_ok=True)
        self.lock_file = open(self.lock_path, "a+")
        try:
            fcntl.flock(self.lock_file, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            self.log("another Windows test run holds %s; waiting" % self.lock_path)
            fcntl.flock(self.lock_file, fcntl.LOCK_EX)
        started = time.monotonic()
        # A server left over from an interrupted run may still hold a display that is gone.
        self.stop_wineserver()
        self.ensure_prefix()
        self.prefix_seconds = time.monotonic() - started
        # The server outlives this call; it must not hold the caller's output open.
        subprocess.run([WINESERVER, "-p"], env=self.wine_environment(None), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.server_started = True

    def stop(self):
        for program in self.programs:
            program.kill()
        self.programs = []
        if self.server_started:
            self.stop_wineserver()
            self.server_started = False
        for display in self.displays.values():
            display.stop()
        self.displays = {}
        if self.lock_file:
            fcntl.flock(self.lock_file, fcntl.LOCK_UN)
            self.lock_file.close()
            self.lock_file = None

    def stop_wineserver(self):
        if os.path.isdir(self.prefix):
            env = self.wine_environment(None)
            subprocess.run([WINESERVER, "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run([WINESERVER, "-w"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    # the prefix

    def wanted_prefix_state(self):
        version = subprocess.run([WINE, "--version"], capture_output=True, text=True).stdout.strip()
        # A prefix made before wine32 was installed cannot run 32-bit programs: remake it then.
        return "%s wine32=%s\n" % (version, "yes" if wine32_installed() else "no")

    def ensure_prefix(self):
        ready = os.path.join(self.prefix, READY_FILE)
        wanted = self.wanted_prefix_state()
        try:
            with open(ready) as f:
                if f.read() == wanted:
                    return
        except OSError:
            pass
        self.log("making the Wine prefix %s" % self.prefix)
        started = time.monotonic()
        if os.path.isdir(self.prefix):
            shutil.rmtree(self.prefix)
        env = self.wine_environment(None)
        boot = subprocess.run([WINE, "wineboot", "-i"], env=env, capture_output=True, text=True, timeout=300)
        if boot.returncode != 0:
            raise BenchError("wineboot failed: %s" % boot.stderr.strip()[-500:])
        self.wine_command(["reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog",
                           "/t", "REG_DWORD", "/d", "0", "/f"], env)
        subprocess.run([WINESERVER, "-w"], env=env)
        with open(ready, "w") as f:
            f.write(wanted)
        self.log("prefix made in %.1f s" % (time.monotonic() - started))

    def wine_environment(self, display):
        env = dict(os.environ)
        for name in ("WINEARCH", "WINEDEBUG", "DISPLAY", "WAYLAND_DISPLAY"):
            env.pop(name, None)
        env.update({
            "WINEPREFIX": self.prefix,
            "WINELOADER": WINE,
            "WINESERVER": WINESERVER,
            # No Mono or Gecko installer prompts, no menu entries written to the Unix desktop.
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
            "WINEDEBUG": "-all,+debugstr",
        })
        if display:
            env["DISPLAY"] = display.name
        return env

    def wine_command(self, arguments, env=None, check=True):
        """Runs one of Wine's own programs (reg, ...) directly and returns its output; fails the
        test when it fails and check is set."""
        # Output through files, not pipes: the first Wine program of a run starts the prefix's
        # service processes, which inherit its handles and would hold a pipe open.
        for attempt in range(3):
            with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
                done = subprocess.run([WINE] + list(arguments), env=env or self.wine_environment(None),
                                      stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=120)
                out.seek(0)
                err.seek(0)
                stdout = out.read().decode("latin-1")
                stderr = err.read().decode("latin-1")
            # As with programs under the launcher, a new prefix now and then makes wine end with
            # status 1 before the tool runs; a tool that fails without a word gets another go.
            # A failure the tool explains is final.
            if done.returncode == 0 or stdout.strip() or stderr.strip() or attempt == 2:
                break
            self.log("wine %s: exit %d without output; once more" % (" ".join(arguments), done.returncode))
            time.sleep(0.5)
        if check and done.returncode != 0:
            raise BenchError("wine %s: exit %d %s %s" % (" ".join(arguments), done.returncode, stdout.strip(),
                                                         stderr.strip()))
        return stdout

    # displays

    def display(self, depth=24):
        """The run's Xvfb of that depth, started on first use."""
        if depth not in self.displays:
            self.displays[depth] = Display(depth)
        return self.displays[depth]

    # running programs

    def command_line(self, program, args):
        """The exact Windows command line: the program's path (quoted when needed), then args:
        a list is quoted argument by argument; a string is taken verbatim, after one space."""
        line = quote_argument(windows_path(program))
        if isinstance(args, str):
            return line + " " + args if args else line
        return " ".join([line] + [quote_argument(a) for a in args])

    def start_program(self, launcher, program, args=(), timeout=30.0, depth=24, cwd=None):
        """Starts program in the background under the launcher, on the display of that depth, and
        returns once the launcher has created it (or has ended without doing so)."""
        display = self.display(depth)
        line = self.command_line(program, args)
        command = [WINE, launcher, str(int(timeout * 1000)), line.encode("latin-1").hex()]
        for attempt in (1, 2, 3):
            running = RunningProgram(command, self.wine_environment(display),
                                     cwd or os.path.dirname(os.path.abspath(program)), timeout, display)
            running.command_line = line
            started = running.wait_until_started()
            for note in running.stderr_so_far():
                if note.startswith("start failed inside Wine"):
                    self.log("%s: %s" % (os.path.basename(program), note))
            if started or running.alive() or attempt == 3:
                break
            result = running.wait()
            if not wine_gave_up_before_the_launcher(result):
                break
            # Seen now and then in a new prefix: wine ends with status 1 before the launcher
            # writes anything, so nothing of the program ran. Once more.
            self.log("wine ended with status %s before the launcher started; starting it again"
                     % result.wine_status)
        self.programs.append(running)
        return running

    def run(self, launcher, program, args=(), timeout=30.0, depth=24, cwd=None):
        """Runs program to its end (or the time limit) and returns its RunResult."""
        running = self.start_program(launcher, program, args, timeout, depth, cwd)
        result = running.wait()
        self.programs.remove(running)
        return result

    # settings that Windows programs read

    @contextlib.contextmanager
    def reported_as_windows98(self, program_name):
        """While active, Wine reports Windows 98 (GetVersionExA 4.10, platform 1) to programs with
        this file name, in any directory; others see the prefix's own version."""
        key = "HKCU\\Software\\Wine\\AppDefaults\\" + program_name
        self.wine_command(["reg", "add", key, "/v", "Version", "/t", "REG_SZ", "/d", "win98", "/f"])
        try:
            yield
        finally:
            self.wine_command(["reg", "delete", key, "/f"])

    @property
    def win_ini_path(self):
        return os.path.join(self.prefix, "drive_c", "windows", "win.ini")

    def read_win_ini(self):
        try:
            with open(self.win_ini_path, "rb") as f:
                return f.read().decode("latin-1")
        except FileNotFoundError:
            return ""

    def write_win_ini(self, text):
        """Replaces win.ini; the next program started sees it."""
        with open(self.win_ini_path, "wb") as f:
            f.write(text.replace("\r\n", "\n").replace("\n", "\r\n").encode("latin-1"))

    @contextlib.contextmanager
    def edited_win_ini(self, values=None, text=None):
        """While active, win.ini holds the given values ({section: {key: value}}, merged into the
        file as it is) or the given whole text; afterwards the file is restored exactly."""
        original = None
        if os.path.exists(self.win_ini_path):
            with open(self.win_ini_path, "rb") as f:
                original = f.read()
        try:
            if text is not None:
                self.write_win_ini(text)
            for section, entries in (values or {}).items():
                for key, value in entries.items():
                    self.write_win_ini(set_ini_value(self.read_win_ini(), section, key, value))
            yield
        finally:
            if original is None:
                with contextlib.suppress(FileNotFoundError):
                    os.remove(self.win_ini_path)
            else:
                with open(self.win_ini_path, "wb") as f:
                    f.write(original)


def set_ini_value(text, section, key, value):
    """text with key=value in [section]: the first such key replaced, else added at the end of the
    first such section, else a new section at the end. value None removes the key."""
    lines = text.replace("\r\n", "\n").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    section_start = None
    for index, line in enumerate(lines):
        if line.strip().lower() == "[%s]" % section.lower():
            section_start = index
            break
    if section_start is None:
        if value is not None:
            lines += ["[%s]" % section, "%s=%s" % (key, value)]
        return "\n".join(lines) + "\n"
    end = section_start + 1
    while end < len(lines) and not lines[end].strip().startswith("["):
        end += 1
    for index in range(section_start + 1, end):
        name = lines[index].split("=", 1)[0].strip()
        if "=" in lines[index] and name.lower() == key.lower():
            if value is None:
                del lines[index]
            else:
                lines[index] = "%s=%s" % (key, value)
            return "\n".join(lines) + "\n"
    if value is not None:
        lines.insert(end, "%s=%s" % (key, value))
    return "\n".join(lines) + "\n"


class BuildPrograms:
    """One build's Windows test programs (in <build>/tests/win) and the bench that runs them."""

    def __init__(self, bench, build_dir):
        self.bench = bench
        self.build_dir = os.path.abspath(build_dir)
        self.programs = os.path.join(self.build_dir, "tests", "win")
        self.launcher = os.path.join(self.programs, "launcher.exe")


def case_functions(namespace):
    """A *_cases module's case_NAME functions, as (NAME, function) in name order."""
    return [(name[len("case_"):], function) for name, function in sorted(namespace.items())
            if name.startswith("case_") and callable(function)]


def run_case_functions(group, cases, context, names=None, report=print):
    """Runs the cases (all, or those named) with one context; reports a PASS or FAIL line per
    case with its time; returns (passed, failed)."""
    passed = failed = 0
    for name, function in cases:
        if names and name not in names:
            continue
        started = time.monotonic()
        try:
            function(context)
        except (TestFailure, BenchError) as failure:
            failed += 1
            report("FAIL %s %s (%.1f s): %s" % (group, name, time.monotonic() - started, failure))
        else:
            passed += 1
            report("PASS %s %s (%.1f s)" % (group, name, time.monotonic() - started))
    return passed, failed


def cases_main(run_cases):
    """Command line of a *_cases module: [BUILD_DIR] [CASE ...]."""
    arguments = sys.argv[1:]
    build = arguments.pop(0) if arguments else os.path.join(ROOT, "build", "win64")
    with WineBench() as bench:
        p, f = run_cases(bench, build, arguments)
    print("wine: %d passed, %d failed" % (p, f))
    sys.exit(1 if f else 0)
