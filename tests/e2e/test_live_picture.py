"""The live picture: what the real program's window shows under a virtual display of two
shapes, wide and tall, against quorl-capture at the same clock and size; and no mouse
cursor over the show.

The program's clock is not exact (start-up and the test's own timing add a few tenths of a
second), so the comparison is made inside a still picture, the first intertitle (4 to 9 s),
and on structure only: where the picture lies on the screen (the 4:3 film pillarboxed on
a wide screen, letterboxed on a tall one) and a coarse grid of its brightness. Flicker,
gate weave and scratches differ from frame to frame and do not matter here."""
import ctypes
import os
import re
import select
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

SHAPES = [(1280, 720), (1024, 1280)]
STILL_AT = 6.5      # the middle of the first intertitle
BRIGHT = 40         # grey level above which a pixel belongs to the picture
GRID = (16, 12)     # cells across and down for the brightness comparison
CAPTURE = os.path.join(harness.BUILD, "quorl-capture")


def start_xvfb(width, height):
    """A private virtual display of the given shape; returns (process, ":N")."""
    read_end, write_end = os.pipe()
    proc = subprocess.Popen(
        ["Xvfb", "-noreset", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (width, height),
         "-nolisten", "tcp"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        start_new_session=True)
    os.close(write_end)
    number = b""
    deadline = time.time() + 30
    while not number.endswith(b"\n") and time.time() < deadline:
        ready, _, _ = select.select([read_end], [], [], 1.0)
        if ready:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
    os.close(read_end)
    if not number.strip().isdigit():
        stop_xvfb(proc)
        raise AssertionError("Xvfb did not start at %dx%d" % (width, height))
    return proc, ":" + number.decode().strip()


def stop_xvfb(proc):
    """Ends the server (asked first, so that it removes its socket and lock file)."""
    for sig, wait in ((signal.SIGTERM, 10), (signal.SIGKILL, 10)):
        try:
            os.killpg(proc.pid, sig)
            proc.wait(timeout=wait)
            return
        except (ProcessLookupError, PermissionError):
            return
        except subprocess.TimeoutExpired:
            continue


def grab_screen(display, width, height):
    """The whole screen as 8-bit grey, row by row, without the mouse cursor."""
    r = subprocess.run(
        ["ffmpeg", "-hide_banner", "-loglevel", "error", "-f", "x11grab", "-draw_mouse", "0",
         "-video_size", "%dx%d" % (width, height), "-i", display + ".0", "-frames:v", "1",
         "-f", "rawvideo", "-pix_fmt", "gray", "-"],
        capture_output=True, timeout=60)
    if r.returncode != 0 or len(r.stdout) != width * height:
        raise AssertionError("screen grab failed: %s" % r.stderr.decode(errors="replace"))
    return r.stdout


def png_as_grey(path, width, height):
    r = subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-i", path,
                        "-f", "rawvideo", "-pix_fmt", "gray", "-"], capture_output=True,
                       timeout=60)
    if r.returncode != 0 or len(r.stdout) != width * height:
        raise AssertionError("cannot read %s: %s" % (path, r.stderr.decode(errors="replace")))
    return r.stdout


def picture_box(grey, width, height):
    """(left, top, right, bottom) of the pixels brighter than BRIGHT, right/bottom exclusive."""
    bright = re.compile(rb"[%c-\xff]" % BRIGHT)
    left, right, top, bottom = width, 0, height, 0
    for y in range(height):
        row = grey[y * width:(y + 1) * width]
        first = bright.search(row)
        if not first:
            continue
        last = bright.search(row[::-1])
        left = min(left, first.start())
        right = max(right, width - last.start())
        top = min(top, y)
        bottom = y + 1
    return left, top, right, bottom


def cell_means(grey, width, height):
    cols, rows = GRID
    sums = [0.0] * (cols * rows)
    for y in range(height):
        row = grey[y * width:(y + 1) * width]
        base = (y * rows // height) * cols
        for c in range(cols):
            sums[base + c] += sum(row[c * width // cols:(c + 1) * width // cols])
    return sums


def correlation(a, b):
    n = len(a)
    ma, mb = sum(a) / n, sum(b) / n
    cov = sum((x - ma) * (y - mb) for x, y in zip(a, b))
    va = sum((x - ma) ** 2 for x in a)
    vb = sum((y - mb) ** 2 for y in b)
    return cov / (va * vb) ** 0.5 if va > 0 and vb > 0 else 0.0


class XFixesCursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


def visible_cursor_pixels(display):
    """How many pixels of the cursor now shown on the display are not transparent."""
    x11 = ctypes.CDLL("libX11.so.6")
    xfixes = ctypes.CDLL("libXfixes.so.3")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                            ctypes.POINTER(ctypes.c_int)]
    xfixes.XFixesQueryVersion.argtypes = xfixes.XFixesQueryExtension.argtypes
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(XFixesCursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    dpy = None
    deadline = time.time() + 10
    while not dpy and time.time() < deadline:
        dpy = x11.XOpenDisplay(display.encode())
        if not dpy:
            time.sleep(0.2)
    if not dpy:
        raise AssertionError("cannot open display " + display)
    try:
        a, b = ctypes.c_int(), ctypes.c_int()
        if not xfixes.XFixesQueryExtension(dpy, ctypes.byref(a), ctypes.byref(b)):
            raise AssertionError("the display has no XFIXES extension")
        a.value, b.value = 4, 0
        xfixes.XFixesQueryVersion(dpy, ctypes.byref(a), ctypes.byref(b))
        image = xfixes.XFixesGetCursorImage(dpy)
        if not image:
            raise AssertionError("no cursor image")
        im = image.contents
        count = sum(1 for i in range(im.width * im.height) if (im.pixels[i] >> 24) & 0xFF)
        x11.XFree(image)
        return count
    finally:
        x11.XCloseDisplay(dpy)


class LivePicture(unittest.TestCase):
    runs = {}

    @classmethod
    def setUpClass(cls):
        cls.tmp = harness.make_tmpdir()
        cls.data = harness.copy_data(cls.tmp)
        for width, height in SHAPES:
            cls.runs[(width, height)] = cls.run_shape(width, height)

    @classmethod
    def run_shape(cls, width, height):
        """The live screen at STILL_AT, the capture at the same time, and the cursor's
        visible pixels before and during the show, on a display of this shape."""
        xvfb, display = start_xvfb(width, height)
        result = {}
        # The helpers (xdotool, the program) go to this display.
        shared_display = os.environ.get("DISPLAY")
        os.environ["DISPLAY"] = display
        try:
            harness.xdotool("mousemove", str(width // 2), str(height // 2), check=True)
            result["cursor_before"] = visible_cursor_pixels(display)
            proc = harness.start(cls.data)
            try:
                if harness.program_window(proc) is None:
                    raise AssertionError("no window at %dx%d: %r" % (width, height,
                                                                   harness.stop(proc)))
                shown = time.time()  # the clock starts just after the window is shown
                time.sleep(1.0)
                result["cursor_during"] = visible_cursor_pixels(display)
                time.sleep(max(0.0, STILL_AT - (time.time() - shown)))
                result["live"] = grab_screen(display, width, height)
                result["alive"] = proc.poll() is None
            finally:
                harness.stop(proc)
        finally:
            stop_xvfb(xvfb)
            if shared_display is None:
                del os.environ["DISPLAY"]
            else:
                os.environ["DISPLAY"] = shared_display
        out = tempfile.mkdtemp(dir=cls.tmp)
        r = subprocess.run([CAPTURE, "--at", str(STILL_AT), "--size", "%dx%d" % (width, height),
                            "--out", out, "--data", cls.data], capture_output=True, text=True,
                           timeout=300)
        if r.returncode != 0:
            raise AssertionError("capture failed: %s" % r.stderr)
        result["capture"] = png_as_grey(os.path.join(out, "000.png"), width, height)
        return result

    def check_shape(self, width, height):
        run = self.runs[(width, height)]
        self.assertTrue(run["alive"], "the show ended before the screenshot")
        live = picture_box(run["live"], width, height)
        captured = picture_box(run["capture"], width, height)
        # The gate weave moves the picture by a fraction of a percent; a wrong aspect or
        # viewport moves its edges by tens of pixels.
        tolerance = 0.02 * max(width, height)
        for edge, a, b in zip(("left", "top", "right", "bottom"), live, captured):
            self.assertLessEqual(abs(a - b), tolerance,
                                 "%dx%d: the live picture's %s edge is at %d, the capture's at "
                                 "%d (live box %s, captured %s)"
                                 % (width, height, edge, a, b, live, captured))
        # The captured picture is itself placed as the show places it: bars on the long
        # sides, none on the short ones.
        if width * 3 > height * 4:
            self.assertGreater(captured[0], 0.05 * width, "no pillarbox in the capture")
        else:
            self.assertGreater(captured[1], 0.05 * height, "no letterbox in the capture")
        r = correlation(cell_means(run["live"], width, height),
                        cell_means(run["capture"], width, height))
        self.assertGreater(r, 0.9, "%dx%d: the live picture does not look like the capture "
                                   "(grid correlation %.3f)" % (width, height, r))

    def test_wide_screen_shows_what_the_capture_shows(self):
        self.check_shape(*SHAPES[0])

    def test_tall_screen_shows_what_the_capture_shows(self):
        self.check_shape(*SHAPES[1])

    def test_no_mouse_cursor_over_the_show(self):
        for shape, run in self.runs.items():
            # The probe sees the display's own cursor before the show starts.
            self.assertGreater(run["cursor_before"], 0, "%s: no cursor seen at all" % (shape,))
            self.assertEqual(run["cursor_during"], 0, "%s: a cursor over the show" % (shape,))


if __name__ == "__main__":
    harness.main_needing_display()
