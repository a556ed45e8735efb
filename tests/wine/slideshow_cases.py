"""Windows test cases of the slideshow: ScreenSaverProc through the logo, the 100 credit frames
and the slides, on a window of the test program's own, checked from screenshots taken at fixed
points of the show, from the order of the timer ticks and from the program's trace lines; the
presenter's palettes read back through GDI on an 8-bit display; nothing leaking over hundreds of
slides. Each case is a function case_NAME(show) taking a SlideshowTestContext.

Run alone: python3 tests/wine/run_tests.py -k win64/slideshow build/win64
"""
import collections
import os
import re
import shutil
import time

import winebench
from winebench import fail
from trace_labels import TRACE

from PIL import Image

SCREEN_WIDTH, SCREEN_HEIGHT = winebench.SCREEN_SIZE
LOGO_SIZE = (609, 448)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
# Credit frame colours (red, green, blue): the documented examples and frame 99, the last one.
CREDIT_COLOURS = {0: (0, 220, 0), 12: (254, 0, 0), 25: (0, 0, 220), 37: (0, 113, 141), 99: (0, 235, 0),
                  100: (0, 220, 0)}


class Picture:
    """A file of the test folder: how it was made and where the presenter must put it."""

    def __init__(self, name, size, colours, shown_size=None):
        self.name = name
        self.size = size
        self.colours = colours
        self.shown_size = shown_size or size

    def placement(self):
        """(left, top, right, bottom), right and bottom exclusive: centred, offsets rounded down."""
        width, height = self.shown_size
        left, top = (SCREEN_WIDTH - width) // 2, (SCREEN_HEIGHT - height) // 2
        return left, top, left + width, top + height


def make_pictures(folder):
    """The show's folder: nine pictures and four entries that do not load. The colours are ones
    that Wine's 8-bit display still shows as colours (it shows some, (30, 160, 40) among them, as
    black), so that every picture can be found on both displays. The translucent PNG shows its
    colour composited on black; the two-colour one keeps its own palette of two entries. The GIF
    and the TIFF come through Wine's imaging component, the WebP through the program's own
    decoder."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    pictures = [
        Picture("red.bmp", (200, 100), [(200, 30, 30)]),
        # A photo stored sideways (201 x 300) whose EXIF orientation 8 stands it up: green below,
        # white above.
        Picture("green.jpg", (300, 201), [(30, 200, 40), (250, 250, 250)]),
        Picture("big.bmp", (2048, 1000), [(40, 60, 220)], shown_size=(1024, 500)),
        Picture("halves.bmp", (160, 120), [(250, 200, 0), (0, 200, 250)]),
        Picture("violet.png", (120, 90), [(180, 45, 180)]),
        Picture("stripes.png", (90, 150), [(220, 220, 40), (40, 220, 220)]),
        Picture("blue.gif", (110, 110), [(30, 30, 210)]),
        Picture("magenta.tif", (180, 60), [(210, 30, 210)]),
        Picture("cyan.webp", (140, 70), [(20, 230, 200)]),
    ]
    Image.new("RGB", (200, 100), pictures[0].colours[0]).save(os.path.join(folder, "red.bmp"))
    sideways = Image.new("RGB", (201, 300), pictures[1].colours[0])
    sideways.paste(pictures[1].colours[1], (101, 0, 201, 300))
    exif = Image.Exif()
    exif[0x0112] = 8
    sideways.save(os.path.join(folder, "green.jpg"), quality=95, exif=exif.tobytes())
    Image.new("RGB", (2048, 1000), pictures[2].colours[0]).save(os.path.join(folder, "big.bmp"))
    halves = [bytes(0 if x < 80 else 1 for x in range(160))] * 120
    winebench.write_bmp(os.path.join(folder, "halves.bmp"), 160, 120, halves, bits=8, table=pictures[3].colours)
    Image.new("RGBA", (120, 90), (240, 60, 240, 191)).save(os.path.join(folder, "violet.png"))
    stripes = Image.new("P", (90, 150))
    stripes.putpalette([value for colour in pictures[5].colours for value in colour])
    stripes.putdata([(x // 15) % 2 for y in range(150) for x in range(90)])
    stripes.save(os.path.join(folder, "stripes.png"), bits=1)
    for picture in pictures[6:]:
        options = {"lossless": True} if picture.name.endswith(".webp") else {}
        Image.new("RGB", picture.size, picture.colours[0]).save(os.path.join(folder, picture.name), **options)
    with open(os.path.join(folder, "notes.txt"), "w") as out:
        out.write("not a picture\n")
    with open(os.path.join(folder, "broken.bmp"), "wb") as out:
        out.write(b"BM and nothing more")
    Image.new("RGB", (50, 50), (255, 0, 255)).save(os.path.join(folder, "copy.jpg.bak"), "JPEG")
    os.makedirs(os.path.join(folder, "old.jpg"))
    return pictures


def make_folder_without_pictures(folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    with open(os.path.join(folder, "broken.bmp"), "wb") as out:
        out.write(b"BM and nothing more")
    with open(os.path.join(folder, "notes.txt"), "w") as out:
        out.write("still not a picture\n")


class SlideshowTestContext(winebench.Context):
    """The runner's context with the show's programs, a scratch folder and a folder for screenshots."""

    def __init__(self, *arguments):
        super().__init__(*arguments)
        self.show_program = os.path.join(self.programs, "slideshow_show_test.exe")
        self.presenter_program = os.path.join(self.programs, "slideshow_presenter_test.exe")
        self.scratch = os.path.join(self.build_dir, "slideshow-wine-cases")
        self.shots = os.path.join(winebench.ROOT, "build", "slideshow-shots", os.path.basename(self.build_dir))

    def settings(self, folder, interval):
        return self.bench.edited_win_ini({winebench.SAVER_SECTION: {"BaseDir": winebench.windows_path(folder),
                                                             "Interval": str(interval)}})

    def listing(self, folder):
        """The folder's entries in the order FindFirstFileA and FindNextFileA give them."""
        result = self.bench.run(self.launcher, self.show_program, ["list", winebench.windows_path(folder)], timeout=20)
        winebench.expect_ran(result, 0)
        return [line[len("LIST "):] for line in result.stdout if line.startswith("LIST ")]


CONTEXT = SlideshowTestContext  # what the runner gives each case


# --- screenshots --------------------------------------------------------------------------------

def non_black_box(image, box=None):
    """Bounding box (left, top, right, bottom; right and bottom exclusive) of the non-black pixels."""
    region = image.crop(box) if box else image
    found = region.convert("L").point(lambda v: 255 if v else 0).getbbox()
    if not found or not box:
        return found
    return found[0] + box[0], found[1] + box[1], found[2] + box[0], found[3] + box[1]


def colour_counts(image, box):
    return collections.Counter(image.crop(box).getdata())


def near(colour, wanted, tolerance=6):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, wanted))


def logo_box():
    left, top = (SCREEN_WIDTH - LOGO_SIZE[0]) // 2, (SCREEN_HEIGHT - LOGO_SIZE[1]) // 2
    return left, top, left + LOGO_SIZE[0], top + LOGO_SIZE[1]


CREDIT_STRIP = (0, SCREEN_HEIGHT - 40, SCREEN_WIDTH, SCREEN_HEIGHT)
ABOVE_CREDITS = (0, 0, SCREEN_WIDTH, SCREEN_HEIGHT - 40)


def check_logo(shot, name, depth, credit_line):
    if depth == 24:
        if non_black_box(shot, ABOVE_CREDITS) != logo_box():
            fail("%s: logo at %s, expected centred at %s" % (name, non_black_box(shot, ABOVE_CREDITS), logo_box()))
    else:
        # At 8 bits dark parts of the logo may show as black: it must stay inside its place.
        box = non_black_box(shot, ABOVE_CREDITS)
        expected = logo_box()
        if not box or box[0] < expected[0] or box[1] < expected[1] or box[2] > expected[2] or box[3] > expected[3] \
                or box[2] - box[0] < 500:
            fail("%s: logo at %s, expected within %s" % (name, box, expected))
    strip = non_black_box(shot, CREDIT_STRIP)
    if not credit_line and strip:
        fail("%s: something drawn under the logo at %s" % (name, strip))
    if credit_line and not strip:
        fail("%s: no credit line" % name)


def check_credit_line(shot, name, frame, depth):
    if depth == 8 and frame == 37:
        # Wine's 8-bit display shows (0, 113, 141) as black: only the logo can be checked.
        check_logo(shot, name, depth, credit_line=False)
        return
    check_logo(shot, name, depth, credit_line=True)
    left, top, right, bottom = non_black_box(shot, CREDIT_STRIP)
    # At 8 bits the faint edges of the glyphs can turn black, the last glyph's among them.
    slack = 3 if depth == 24 else 20
    if abs(left + right - SCREEN_WIDTH) > slack or bottom < SCREEN_HEIGHT - 4 or right - left < 300:
        fail("%s: credit line at %s, expected centred at the bottom" % (name, (left, top, right, bottom)))
    if depth != 24:
        return
    counts = colour_counts(shot, CREDIT_STRIP)
    del counts[BLACK]
    colour, count = counts.most_common(1)[0]
    if colour != CREDIT_COLOURS[frame] or count < 300:
        fail("%s: the credit line is mostly %s (%d pixels), expected %s" % (name, colour, count, CREDIT_COLOURS[frame]))


def identify_slide(shot, pictures, name, depth):
    """Which picture fills the screen, checked against its placement; nothing else on screen."""
    box = non_black_box(shot)
    if depth == 24:
        counts = colour_counts(shot, (0, 0, SCREEN_WIDTH, SCREEN_HEIGHT))
        del counts[BLACK]
        colour = counts.most_common(1)[0][0] if counts else None
        matches = [p for p in pictures if colour and any(near(colour, c) for c in p.colours)]
    else:
        matches = [p for p in pictures if p.placement() == box]
    if len(matches) != 1:
        fail("%s: the screen shows none of the pictures (box %s)" % (name, box))
    picture = matches[0]
    if box != picture.placement():
        fail("%s: %s at %s, expected at %s" % (name, picture.name, box, picture.placement()))
    return picture


def check_label(shot, name, depth):
    box = non_black_box(shot)
    if not box or box[0] > 2 or box[1] > 4 or box[3] > 24 or box[2] - box[0] < 60:
        fail("%s: expected the path in white at the top-left corner, found something at %s" % (name, box))
    if depth == 24:
        counts = colour_counts(shot, box)
        del counts[BLACK]
        if counts.most_common(1)[0][0] != WHITE:
            fail("%s: the label is mostly %s, not white" % (name, counts.most_common(1)[0][0]))


def take_screenshots(show, running, depth, folder):
    """Answers the program's SHOT requests in order; returns {name: screenshot}."""
    shots = {}
    handled = 0
    while True:
        lines = [line for line in running.output_so_far() if line.startswith("SHOT ")]
        for line in lines[handled:]:
            name = line.split()[1]
            path = os.path.join(show.shots, "%d-bit" % depth, name + ".png")
            shots[name] = running.display.screenshot(path)
            open(os.path.join(folder, name + ".done"), "w").close()
        handled = len(lines)
        if not running.alive():
            return shots
        time.sleep(0.05)


# --- trace lines --------------------------------------------------------------------------------

class Trace:
    """The debugger output, cut at the program's marks. The marks and the drawing come from the
    window's thread; the slides are made on the show's worker thread, whose traces fall between
    the marks wherever the work happened."""

    TIME_LINE = re.compile(r"^ \d+ ms\.\n$")

    def __init__(self, lines):
        self.lines = lines
        marks = [line for line in lines if line.text.startswith("mark ")]
        self.window_thread = marks[0].thread if marks else None
        self.labelled = [line for line in lines if not self.TIME_LINE.match(line.text)]
        self.labels = [line.text for line in self.labelled]

    def check_time_lines(self):
        """Every trace is its label, then its time line, from the same thread."""
        waiting = {}
        for line in self.lines:
            if line.text.startswith("mark "):
                continue
            if self.TIME_LINE.match(line.text):
                if not waiting.pop(line.thread, None):
                    fail("a time line without its label on thread %s" % line.thread)
            elif waiting.get(line.thread):
                fail("trace %r without its time line" % waiting[line.thread])
            else:
                waiting[line.thread] = line.text
        if any(waiting.values()):
            fail("traces without their time lines: %s" % [t for t in waiting.values() if t])

    def between(self, begin, end):
        """The traces between the marks "begin" and "end", from every thread."""
        try:
            start = self.labels.index("mark " + begin)
            stop = self.labels.index("mark " + end, start)
        except ValueError:
            fail("no marks %r .. %r in the trace" % (begin, end))
        return self.labelled[start + 1:stop]

    def inside(self, begin, end, window_only=False):
        """The labels between two marks; window_only: those of the window's thread."""
        return [line.text for line in self.between(begin, end)
                if not window_only or line.thread == self.window_thread]

    def worker(self, begin, end):
        """The labels the worker traced between two marks."""
        return [line.text for line in self.between(begin, end) if line.thread != self.window_thread]

    def paint(self, name):
        """What the window's thread traced inside one paint."""
        return self.inside("paint " + name, "painted " + name, window_only=True)


SLIDES = 9  # before the restart: one of each picture


def check_show_trace(trace, slides, pictures, depth):
    trace.check_time_lines()
    palette_traces = [TRACE["CreateBIPalette"]] if depth == 8 else []
    logo = trace.inside("erase 1", "erased 1")
    if logo != palette_traces + [TRACE["StretchDIBits"]]:
        fail("first erase traced %s, expected the logo prepared and drawn" % logo)
    for paint in range(1, 100):
        traced = trace.inside("paint %d" % paint, "painted %d" % paint)
        if traced:
            fail("credit frame %d traced %s" % (paint - 1, traced))
    last_frame = trace.paint("100")
    if TRACE["StretchDIBits"] in last_frame:
        fail("the last credit frame's paint traced %s: expected no picture drawn" % last_frame)
    if TRACE["RandomFirstFile"] not in trace.worker("paint 100", "paint 101"):
        fail("no random start on the worker between the last credit frame and the first slide")
    between = trace.inside("painted 100", "paint 101", window_only=True)
    if "mark tick" not in between or not set(between) <= {"mark tick", "mark slide ready"}:
        fail("between the last credit frame and the first slide: %s, expected the slideshow's tick" % between)
    # Every slide step draws one picture, made by the worker one or two steps before (it works one
    # slide ahead): the reduction of the big picture, and on a palette display every palette's
    # entries, one per slide made.
    for slide, picture in enumerate(slides, start=1):
        traced = trace.paint(str(100 + slide))
        if traced.count(TRACE["StretchDIBits"]) != 1:
            fail("slide %d traced %s, expected one picture drawn" % (slide, traced))
        since = "paint %d" % max(100, 98 + slide)
        made = trace.worker(since, "paint %d" % (100 + slide))
        if picture.name == "big.bmp" and TRACE["ProcessImage"] not in made:
            fail("slide %d (%s): the worker traced %s before it" % (slide, picture.name, made))
        if "mark slide ready" not in trace.inside(since, "paint %d" % (100 + slide)):
            fail("slide %d did not arrive before its tick" % slide)
    made = trace.worker("paint 100", "paint %d" % (100 + len(slides)))
    wanted = sum(1 for picture in slides if picture.name == "big.bmp")
    if made.count(TRACE["ProcessImage"]) < wanted or \
            made.count(TRACE["ProcessImage"]) > wanted + sum(1 for p in pictures if p.name == "big.bmp"):
        fail("the worker reduced %d pictures for slides with %d big ones" % (made.count(TRACE["ProcessImage"]), wanted))
    if depth == 8 and made.count(TRACE["CreateBIPalette"]) < len(slides):
        fail("%d slides, %d palettes built before they were shown" % (len(slides), made.count(TRACE["CreateBIPalette"])))
    restart = trace.inside("erase 2", "erased 2", window_only=True)
    if restart != palette_traces + [TRACE["StretchDIBits"]]:
        fail("the restart traced %s, expected the logo prepared and drawn" % restart)
    one_frame = trace.paint("r1")
    if TRACE["StretchDIBits"] in one_frame:
        fail("the paint after the restart traced %s: expected one credit frame" % one_frame)
    if TRACE["RandomFirstFile"] not in trace.worker("paint r1", "paint r2"):
        fail("no new random start after the restart")
    if TRACE["StretchDIBits"] in trace.paint("r2"):
        fail("a folder without pictures: the slide drew a picture")
    # Apart from the first paint and the one the restart left pending, each paint follows a tick.
    for paint in range(2, 100 + SLIDES + 1):
        if "mark tick" not in trace.inside("painted %d" % (paint - 1), "paint %d" % paint):
            fail("paint %d came without a timer tick" % paint)


def next_in_cycle(order, name):
    return order[(order.index(name) + 1) % len(order)]


def run_show(show, depth):
    pictures = make_pictures(os.path.join(show.scratch, "pictures"))
    other = os.path.join(show.scratch, "no-pictures")
    make_folder_without_pictures(other)
    handshake = os.path.join(show.scratch, "handshake-%d" % depth)
    shutil.rmtree(handshake, ignore_errors=True)
    os.makedirs(handshake)
    folder = os.path.join(show.scratch, "pictures")
    loadable = [name for name in show.listing(folder) if name in {p.name for p in pictures}]
    with show.settings(folder, 1):
        running = show.bench.start_program(show.launcher, show.show_program,
                                           ["show", winebench.windows_path(handshake), winebench.windows_path(other)],
                                           timeout=120, depth=depth)
        shots = take_screenshots(show, running, depth, handshake)
        result = running.wait()
    winebench.expect_checks_passed(result)

    check_logo(shots["logo"], "logo", depth, credit_line=False)
    for frame in (0, 12, 25, 37, 99):
        check_credit_line(shots["credit-%d" % frame], "credit frame %d" % frame, frame, depth)
    slides = [identify_slide(shots["slide-%d" % n], pictures, "slide %d" % n, depth) for n in range(1, SLIDES + 1)]
    for n, picture in enumerate(slides, start=1):
        if picture.name == "green.jpg" and depth == 24:
            left, top, right, bottom = picture.placement()
            above = shots["slide-%d" % n].getpixel(((left + right) // 2, top + 40))
            below = shots["slide-%d" % n].getpixel(((left + right) // 2, bottom - 40))
            if not (near(above, picture.colours[1], 12) and near(below, picture.colours[0], 12)):
                fail("slide %d: the sideways photo is not upright: %s above, %s below" % (n, above, below))
    for earlier, later in zip(slides, slides[1:]):
        if later.name != next_in_cycle(loadable, earlier.name):
            fail("slides %s: not the listing's order %s" % ([s.name for s in slides], loadable))
    check_logo(shots["restart-logo"], "restart", depth, credit_line=False)
    check_credit_line(shots["restart-credit"], "the one credit frame after the restart", 100, depth)
    check_label(shots["restart-slide"], "slide of a folder without pictures", depth)
    check_show_trace(Trace(result.debug), slides, pictures, depth)


# --- cases --------------------------------------------------------------------------------------

def case_show_on_a_24_bit_display(show):
    run_show(show, 24)


def case_show_on_an_8_bit_display(show):
    run_show(show, 8)


def case_credit_ticks_at_50_ms_and_slide_ticks_at_the_interval(show):
    folder = os.path.join(show.scratch, "pictures")
    make_pictures(folder)
    with show.settings(folder, 1):
        result = show.bench.run(show.launcher, show.show_program, ["ticks"], timeout=60)
    winebench.expect_checks_passed(result)


def case_every_monitor_has_its_own_show_and_the_credits_stay_on_the_primary(show):
    """Two monitors of the test's own (the bench's X server cannot place two screens side by
    side): 640 x 480 at the top-left, the primary, and 384 x 768 beside it. Three 2:1 pictures, so
    that each fits its monitor exactly: 640 x 320 and 384 x 192, centred."""
    folder = os.path.join(show.scratch, "monitor-pictures")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    colours = {"red.bmp": (200, 30, 30), "blue.bmp": (40, 60, 220), "green.bmp": (30, 200, 40)}
    for name, colour in colours.items():
        Image.new("RGB", (1600, 800), colour).save(os.path.join(folder, name))
    handshake = os.path.join(show.scratch, "handshake-monitors")
    shutil.rmtree(handshake, ignore_errors=True)
    os.makedirs(handshake)
    primary, other = (0, 0, 640, 480), (640, 0, 1024, 768)
    with show.bench.edited_win_ini({winebench.SAVER_SECTION: {"BaseDir": winebench.windows_path(folder), "Interval": "1",
                                                       "EveryMonitor": "1"}}):
        running = show.bench.start_program(show.launcher, show.show_program,
                                           ["monitors", winebench.windows_path(handshake)], timeout=60)
        shots = take_screenshots(show, running, 24, handshake)
        result = running.wait()
    winebench.expect_checks_passed(result)

    credits = shots["credits"]
    if non_black_box(credits, other) or non_black_box(credits, (0, 480, 640, 768)):
        fail("credits: drawn outside the primary monitor at %s" % (non_black_box(credits),))
    # The 609 x 448 logo centred on the primary monitor, down to 464; the credit line below it.
    logo = non_black_box(credits, (0, 0, 640, 460))
    if logo != (15, 16, 624, 460):
        fail("credits: the logo at %s, expected centred on the primary monitor" % (logo,))
    strip = non_black_box(credits, (0, 464, 640, 480))
    if not strip or strip[3] < 476 or abs(strip[0] + strip[2] - 640) > 3 or \
            colour_counts(credits, strip)[CREDIT_COLOURS[99]] < 100:
        fail("credits: the credit line at %s, expected centred at the primary monitor's bottom" % (strip,))

    def shown(shot, area, place, name):
        box = non_black_box(shot, area)
        if box != place:
            fail("%s: a picture at %s on the monitor %s, expected fitted at %s" % (name, box, area, place))
        counts = colour_counts(shot, place)
        found = [n for n, c in colours.items() if near(counts.most_common(1)[0][0], c)]
        if len(found) != 1 or counts.most_common(1)[0][1] != (place[2] - place[0]) * (place[3] - place[1]):
            fail("%s: the monitor %s shows %s, not one of the pictures whole" % (name, area, counts.most_common(2)))
        return found[0]

    earlier = None
    for step in (1, 2, 3):
        shot = shots["step-%d" % step]
        name = "step %d" % step
        if non_black_box(shot, (0, 480, 640, 768)):
            fail("%s: drawn below the primary monitor at %s" % (name, non_black_box(shot, (0, 480, 640, 768))))
        pictures = (shown(shot, primary, (0, 80, 640, 400), name), shown(shot, other, (640, 288, 1024, 480), name))
        if pictures[0] == pictures[1]:
            fail("%s: both monitors show %s, expected pictures of their own" % (name, pictures[0]))
        if earlier and step == 2 and pictures[0] == earlier[0]:
            fail("%s: the primary monitor still shows %s" % (name, pictures[0]))
        earlier = pictures


def case_presenter_layout(show):
    result = show.bench.run(show.launcher, show.presenter_program, ["layout"], timeout=60, depth=24)
    winebench.expect_checks_passed(result)


def case_presenter_palettes_on_an_8_bit_display(show):
    result = show.bench.run(show.launcher, show.presenter_program, ["palette"], timeout=60, depth=8)
    winebench.expect_checks_passed(result)
    if "palette display: yes" not in result.stdout:
        fail("the 8-bit display reported no RC_PALETTE")


def case_presenter_selects_no_palette_on_a_24_bit_display(show):
    result = show.bench.run(show.launcher, show.presenter_program, ["palette"], timeout=60, depth=24)
    winebench.expect_checks_passed(result)


def soak(show, depth):
    folder = os.path.join(show.scratch, "pictures")
    make_pictures(folder)
    # The interval is long enough that no tick comes: the program paints by itself.
    with show.settings(folder, 3600):
        result = show.bench.run(show.launcher, show.show_program, ["soak", "400"], timeout=240, depth=depth)
    summary = [line for line in result.stdout if line.startswith("slides ")]
    print("%d-bit soak: %s" % (depth, summary[-1] if summary else "no summary"))
    winebench.expect_checks_passed(result)
    drawn = result.debug_texts().count(TRACE["StretchDIBits"])
    if drawn < 400:
        fail("%d pictures drawn over 400 slides" % drawn)


def case_nothing_leaks_over_400_slides_on_an_8_bit_display(show):
    soak(show, 8)


def case_nothing_leaks_over_400_slides_on_a_24_bit_display(show):
    soak(show, 24)


# --- a photo library ----------------------------------------------------------------------------

def case_the_only_picture_two_folders_down_under_a_name_outside_the_ansi_code_page(show):
    """The saver itself, with Subfolders and Shuffle on, over a folder whose one picture lies in
    写真\\東京\\夕日.bmp: it is listed and opened through the wide calls and shown, and the deck
    file in the user's local application data names it as shown."""
    top = os.path.join(show.scratch, "library")
    shutil.rmtree(top, ignore_errors=True)
    folder = os.path.join(top, "写真", "東京")
    os.makedirs(folder)
    colour = (30, 90, 200)
    Image.new("RGB", (300, 200), colour).save(os.path.join(folder, "夕日.bmp"))
    with open(os.path.join(top, "notes.txt"), "w") as out:
        out.write("not a picture\n")
    users = os.path.join(show.bench.prefix, "drive_c", "users")
    for where, _, files in os.walk(users):
        if "screensaver-deck.txt" in files:
            os.remove(os.path.join(where, "screensaver-deck.txt"))
    picture = Picture("夕日.bmp", (300, 200), [colour])
    settings = {"BaseDir": winebench.windows_path(top), "Interval": "1", "Subfolders": "1", "Shuffle": "1"}
    with show.bench.edited_win_ini({winebench.SAVER_SECTION: settings}):
        running = show.start(os.path.join(show.build_dir, "screensaver.scr"), "/s")
        try:
            window = running.display.wait_for_window("Screen Saver")
            deadline = time.monotonic() + 40
            shot = None
            while time.monotonic() < deadline:
                shot = running.display.screenshot()
                if near(shot.getpixel((SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2)), colour):
                    break
                time.sleep(0.5)
            os.makedirs(show.shots, exist_ok=True)
            shot.save(os.path.join(show.shots, "library-picture.png"))
            if non_black_box(shot) != picture.placement():
                fail("the picture two folders down is not shown: the screen shows %s at %s"
                     % (shot.getpixel((SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2)), non_black_box(shot)))
            running.display.send_keys(window, "space")
            end = time.monotonic() + 15
            while running.alive() and time.monotonic() < end:
                time.sleep(0.1)
        finally:
            running.kill()
    decks = [os.path.join(where, "screensaver-deck.txt") for where, _, files in os.walk(users)
             if "screensaver-deck.txt" in files]
    if len(decks) != 1 or os.path.basename(os.path.dirname(decks[0])) != "Orvindale":
        fail("expected one deck file in the local application data's Orvindale folder, found %s" % decks)
    with open(decks[0], encoding="utf-8") as deck:
        lines = deck.read().splitlines()
    if "s 写真\\東京\\夕日.bmp" not in lines or "pictures 1" not in lines:
        fail("the deck file does not hold the picture as shown: %r" % lines)


# --- how the show looks: captions, fade, backdrop -----------------------------------------------

LOOKS_COLOURS = [(200, 30, 30), (30, 60, 210)]
LOOKS_SIZE = (200, 500)  # portrait: black bars, or the backdrop, on both sides


def make_dated_pictures(folder):
    """Two portrait photos taken on 14 July 2019 and 3 January 2020 in "Gita al mare"."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for n, (colour, taken) in enumerate(zip(LOOKS_COLOURS, ["2019:07:14 10:11:12", "2020:01:03 08:00:00"])):
        exif = Image.Exif()
        exif[0x8769] = {0x9003: taken}
        Image.new("RGB", LOOKS_SIZE, colour).save(os.path.join(folder, "foto%d.jpg" % n), quality=95,
                                                 exif=exif.tobytes())


def run_looks(show, looks, shot_name, wanted, timeout=30, depth=24):
    """The saver itself over the dated pictures with the given settings on; screenshots until
    wanted(shot) gives a truthy verdict, which is returned with the shot and the debug lines."""
    folder = os.path.join(show.scratch, "looks", "Gita al mare")
    make_dated_pictures(folder)
    settings = {"BaseDir": winebench.windows_path(folder), "Interval": "2"}
    settings.update(looks)
    with show.bench.edited_win_ini({winebench.SAVER_SECTION: settings}):
        running = show.start(os.path.join(show.build_dir, "screensaver.scr"), "/s", depth=depth)
        try:
            window = running.display.wait_for_window("Screen Saver")
            deadline = time.monotonic() + timeout
            verdict, shot = None, None
            while time.monotonic() < deadline and not verdict:
                shot = running.display.screenshot()
                verdict = wanted(shot)
            os.makedirs(show.shots, exist_ok=True)
            shot.save(os.path.join(show.shots, shot_name + ".png"))
            debug = running.debug_so_far()
            running.display.send_keys(window, "space")
            end = time.monotonic() + 15
            while running.alive() and time.monotonic() < end:
                time.sleep(0.1)
            if running.alive():
                fail("the saver did not end on a key")
        finally:
            running.kill()
    return verdict, shot, [line.text for line in debug]


def picture_shown(shot):
    """The colour of the picture in the middle of the screen, if it is one of the two pictures."""
    centre = shot.getpixel((SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2))
    return next((c for c in LOOKS_COLOURS if near(centre, c)), None)


def looks_picture_box():
    left, top = (SCREEN_WIDTH - LOOKS_SIZE[0]) // 2, (SCREEN_HEIGHT - LOOKS_SIZE[1]) // 2
    return left, top, left + LOOKS_SIZE[0], top + LOOKS_SIZE[1]


def case_a_caption_with_the_day_taken_and_the_folder(show):
    """Captions 1: a line of light letters edged in dark near the bottom of the screen, under the
    picture's middle third, which keeps its own colour; beside the picture black as ever."""
    def captioned(shot):
        colour = picture_shown(shot)
        strip = (0, SCREEN_HEIGHT - 80, SCREEN_WIDTH, SCREEN_HEIGHT)
        light = [p for p in shot.crop(strip).getdata() if min(p) >= 200]
        return colour and len(light) > 50 and (colour, strip)
    verdict, shot, _ = run_looks(show, {"Captions": "1"}, "looks-caption", captioned)
    if not verdict:
        fail("no caption under the picture: the bottom of the screen holds %s"
             % colour_counts(shot, (0, SCREEN_HEIGHT - 80, SCREEN_WIDTH, SCREEN_HEIGHT)).most_common(4))
    colour, strip = verdict
    light = non_black_box(shot.point(lambda v: 255 if v >= 200 else 0), strip)
    left, top, right, bottom = light
    # "14 luglio 2019 - Gita al mare" or "3 gennaio 2020 - Gita al mare": far wider than the picture.
    if abs(left + right - SCREEN_WIDTH) > 12 or right - left < 250:
        fail("the caption's letters lie at %s: expected a long line centred on the screen" % (light,))
    dark_edge = [p for p in shot.crop((left - 3, top - 3, right + 3, bottom + 3)).getdata() if max(p) <= 40]
    if len(dark_edge) < 100:
        fail("the caption's letters have no dark edge")
    pleft, ptop, pright, pbottom = looks_picture_box()
    middle = (pleft, ptop + (pbottom - ptop) // 3, pright, ptop + 2 * (pbottom - ptop) // 3)
    if any(not near(p, colour) for p in shot.crop(middle).getdata()):
        fail("something covers the picture's middle third")
    if top < middle[3]:
        fail("the caption at %s reaches into the picture's middle third %s" % (light, middle))
    if shot.getpixel((40, SCREEN_HEIGHT // 2)) != BLACK:
        fail("without Backdrop the bars beside the picture are not black")


def case_a_blended_frame_while_the_next_picture_fades_in(show):
    """Fade 1: while one picture gives way to the other the middle of the screen shows a mix of
    the two, in frames the program blends; the key still ends the saver (run_looks checks it)."""
    seen = set()  # the pictures shown so far: the logo goes before them

    def blended(shot):
        r, g, b = shot.getpixel((SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2))
        shown = picture_shown(shot)
        if shown:
            seen.add(shown)
        mixed = seen and r > LOOKS_COLOURS[1][0] + 25 and b > LOOKS_COLOURS[0][2] + 25 and not shown
        return mixed and (r, g, b)
    verdict, shot, debug = run_looks(show, {"Fade": "1"}, "looks-fade", blended)
    if not verdict:
        fail("no blended frame seen: the middle showed %s" % (shot.getpixel((SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2)),))
    red, blue = LOOKS_COLOURS
    # On the line between the two colours: the green channel goes with them.
    share = (verdict[0] - blue[0]) / (red[0] - blue[0])
    green = blue[1] + share * (red[1] - blue[1])
    if abs(verdict[1] - green) > 12:
        fail("the middle shows %s, not a blend of %s and %s" % (verdict, red, blue))
    frames = debug.count(TRACE["FadeFrame"])
    if frames < 10:
        fail("%d blended frames traced" % frames)


def case_a_soft_backdrop_beside_a_portrait_picture(show):
    """Backdrop 1: beside the portrait picture the screen shows the picture's colour blurred and
    darkened to 40 %, not black; the picture itself is drawn unchanged over it. On a 256-colour
    display the bars stay black and, with Fade on too, the pictures change with a cut."""
    def backed(shot):
        colour = picture_shown(shot)
        return colour and shot.getpixel((40, SCREEN_HEIGHT // 2)) != BLACK and colour
    verdict, shot, debug = run_looks(show, {"Backdrop": "1"}, "looks-backdrop", backed)
    if not verdict:
        fail("the bars beside the picture stay black")
    wanted = tuple(v * 40 // 100 for v in verdict)
    for x, y in [(10, 10), (40, SCREEN_HEIGHT // 2), (SCREEN_WIDTH - 10, SCREEN_HEIGHT - 10), (300, 200)]:
        if not near(shot.getpixel((x, y)), wanted, 8):
            fail("the backdrop at %s is %s, expected about %s" % ((x, y), shot.getpixel((x, y)), wanted))
    box = looks_picture_box()
    inside = colour_counts(shot, box)
    if not all(near(c, verdict) for c in inside):
        fail("the picture is not drawn whole over its backdrop: %s" % inside.most_common(3))
    if TRACE["Backdrop"] not in debug:
        fail("no backdrop traced")

    # A 256-colour display keeps black beside the picture, and changes pictures with a cut.
    drawn = []

    def second_slide(shot):
        centre = shot.getpixel((SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2))
        if centre != BLACK and (not drawn or drawn[-1] != centre):
            drawn.append(centre)
        return len(drawn) >= 3 and shot  # the logo, then two pictures
    verdict, shot, debug = run_looks(show, {"Backdrop": "1", "Fade": "1"}, "looks-8-bit", second_slide, depth=8)
    if not verdict:
        fail("8-bit display: the pictures did not show (%s)" % drawn)
    if shot.getpixel((40, SCREEN_HEIGHT // 2)) != BLACK or TRACE["Backdrop"] in debug:
        fail("8-bit display: a backdrop beside the picture")
    if TRACE["FadeFrame"] in debug:
        fail("8-bit display: a fade")
