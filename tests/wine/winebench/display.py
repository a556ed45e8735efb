"""The bench's X displays: one private Xvfb per colour depth (24-bit, and 8-bit where Wine reports
RC_PALETTE), on a display number the X server picks itself (-displayfd), so that two runs never
race for one; windows found by title, keys and mouse input through xdotool, screenshots."""
import os
import re
import struct
import subprocess
import tempfile
import time

from .failures import BenchError, fail

CONVERT = "/usr/bin/convert"  # ImageMagick itself, whatever else is first on PATH
SCREEN_SIZE = (1024, 768)


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


def write_bmp(path, width, height, rows, bits=24, table=(), top_down=False):
    """An uncompressed BMP, the one writer of the cases and scripts: rows top first, each the row's
    bytes (blue, green, red for 24 bits, indices for 8), padded here; table: (red, green, blue)
    entries of an 8-bit picture's colour table, 256 written in all. Bottom-up unless top_down."""
    stride = (width * bits // 8 + 3) & ~3
    pixels = b"".join(row + b"\0" * (stride - len(row)) for row in (rows if top_down else rows[::-1]))
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in table)
    if bits == 8:
        colours += b"\0" * 4 * (256 - len(table))
    info = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, bits, 0, len(pixels),
                       2835, 2835, 256 if bits == 8 else 0, 0)
    offset = 14 + len(info) + len(colours)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + info + colours + pixels)
