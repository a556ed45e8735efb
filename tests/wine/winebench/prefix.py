"""The bench of a test run: one private WINEPREFIX under build/ (made once; Wine's crash dialog
off, Mono and Gecko off), used by one run at a time (a lock file; a second run waits), with one
persistent wineserver; the run's displays and the programs it started; Windows 98 reported to one
program name, and win.ini edited, each undone afterwards. Teardown is by process id (the Xvfb and
launcher processes this bench started) and by prefix (wineserver -k); nothing is ever killed by
name.
"""
import contextlib
import fcntl
import os
import shutil
import subprocess
import sys
import tempfile
import time

from .display import Display
from .failures import BenchError
from .programs import TIMEOUT, WINE, start_program

# The saver's section of win.ini, as slideshow/settings.h names it (SaverSection); the slideshow
# reads BaseDir under "ZorScreenSaver", which the profile matches to it without regard to case.
SAVER_SECTION = "ZorScreensaver"
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
WINESERVER = "/usr/lib/wine/wineserver"
DEFAULT_PREFIX = os.path.join(ROOT, "build", "wineprefix")
READY_FILE = "bench-ready"


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
        self.session_display = None  # the display the server's desktop was made on, once known
        self.prefix_seconds = None
        self.start_retries = 0

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
        self.start_wineserver()

    def start_wineserver(self):
        # The server outlives this call; it must not hold the caller's output open.
        subprocess.run([WINESERVER, "-p"], env=self.wine_environment(None), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.server_started = True
        self.session_display = None

    def use_display(self, display):
        """Readies the session for a program on this display. The desktop of a server session
        lives on the display of its first program, and Wine's X11 driver hands every process the
        X window of that desktop's cursor-clip window: on another X server the id names nothing,
        or another client's window, and the driver's unmap of it there ends the program with an
        X error. So a program on another display gets a new session, once the old one is idle."""
        if self.session_display in (None, display.name):
            self.session_display = display.name
            return
        if any(program.alive() for program in self.programs):
            return  # programs of both displays at once: nothing to do but let them share
        self.log("display %s after %s: a new server session" % (display.name, self.session_display))
        self.stop_wineserver()
        self.start_wineserver()
        self.session_display = display.name

    def stop(self):
        for program in self.programs:
            program.kill()
            program.wait()
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
            self.retried("wine %s: exit %d without output; once more" % (" ".join(arguments), done.returncode))
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

    def start_program(self, launcher, program, args=(), timeout=TIMEOUT, depth=24, cwd=None):
        """Starts program in the background under the launcher and returns its RunningProgram."""
        return start_program(self, launcher, program, args, timeout, depth, cwd)

    def run(self, launcher, program, args=(), timeout=TIMEOUT, depth=24, cwd=None):
        """Runs program to its end (or the time limit) and returns its RunResult."""
        running = self.start_program(launcher, program, args, timeout, depth, cwd)
        result = running.wait()
        self.programs.remove(running)
        return result

    def retried(self, why):
        """Counts one start that Wine failed and that was tried again: the run's summary shows
        how often Wine fails a start."""
        self.start_retries += 1
        self.log(why)

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
