"""Starting Windows programs under Wine: each through the project's launcher
(tests/win/launcher.cpp), which reports the exit code whole (Wine's own status keeps 8 bits); a run
without the launcher's report did not run. Output goes to files, decoded as Latin-1 so that every
byte of the ANSI code page survives as one character; OutputDebugStringA lines are decoded from
Wine's +debugstr channel. A start that Wine fails before the program runs is tried again, and every
such retry is counted by the bench.
"""
import os
import re
import subprocess
import tempfile
import time

from .failures import fail

WINE = "/usr/lib/wine/wine64"
# The time limit of a program run, in seconds, unless a case gives its own.
TIMEOUT = 30.0
# What tests/win/wine_start.cpp writes on standard error before it starts a program once more.
START_RETRY_NOTE = "start failed inside Wine"


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


# --- programs running in the background ---------------------------------------------------------

class RunningProgram:
    """A program started in the background: interact through its display, then wait().

    Its output goes to files, not pipes: Wine's service processes that the first program of a
    session starts inherit the output handles and live on, so a pipe would never see its end."""

    def __init__(self, command, env, cwd, timeout, display, on_retry=None):
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
        # Told of each start that Wine failed and the launcher or the program itself tried again.
        self.on_retry = on_retry
        self.retries_noted = 0

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

    def note_retries(self, stderr_lines):
        notes = [line for line in stderr_lines if line.startswith(START_RETRY_NOTE)]
        for note in notes[self.retries_noted:]:
            if self.on_retry:
                self.on_retry(note)
        self.retries_noted = len(notes)

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
        self.note_retries(self.result.stderr)
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


def command_line(program, args):
    """The exact Windows command line: the program's path (quoted when needed), then args: a list
    is quoted argument by argument; a string is taken verbatim, after one space."""
    line = quote_argument(windows_path(program))
    if isinstance(args, str):
        return line + " " + args if args else line
    return " ".join([line] + [quote_argument(a) for a in args])


def start_program(bench, launcher, program, args=(), timeout=TIMEOUT, depth=24, cwd=None):
    """Starts program in the background under the launcher, on the bench's display of that depth,
    and returns once the launcher has created it (or has ended without doing so)."""
    display = bench.display(depth)
    bench.use_display(display)
    line = command_line(program, args)
    command = [WINE, launcher, str(int(timeout * 1000)), line.encode("latin-1").hex()]
    name = os.path.basename(program)
    for attempt in (1, 2, 3):
        running = RunningProgram(command, bench.wine_environment(display),
                                 cwd or os.path.dirname(os.path.abspath(program)), timeout, display,
                                 lambda note: bench.retried("%s: %s" % (name, note)))
        running.command_line = line
        started = running.wait_until_started()
        running.note_retries(running.stderr_so_far())
        if started or running.alive() or attempt == 3:
            break
        result = running.wait()
        if not wine_gave_up_before_the_launcher(result):
            break
        # Seen now and then in a new prefix: wine ends with status 1 before the launcher writes
        # anything, so nothing of the program ran. Once more.
        bench.retried("%s: wine ended with status %s before the launcher started; starting it again"
                      % (name, result.wine_status))
    bench.programs.append(running)
    return running
