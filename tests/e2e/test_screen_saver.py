"""The screen saver stays off while the show plays: with the X server's screen saver set to
come on after 1 s without input, it comes on on an idle display (the rig works) and stays
off for as long as the show runs, and comes on again once the show has ended. SDL keeps the saver off by itself unless its environment allows it
(SDL_VIDEO_ALLOW_SCREENSAVER=1, as a desktop may set for applications); the show runs with
that set, so only the program's own request keeps the saver off. Read through the X
screen-saver extension (libXss), whose state says whether the saver is on."""
import ctypes
import ctypes.util
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

SAVER_ON = 1          # ScreenSaverOn in the extension's state
SAVER_TIMEOUT_S = 1   # the saver comes on after this long without input
WATCH_SECONDS = 4.0   # four times that, with the show playing


class _Info(ctypes.Structure):
    _fields_ = [("window", ctypes.c_ulong), ("state", ctypes.c_int), ("kind", ctypes.c_int),
                ("til_or_since", ctypes.c_ulong), ("idle", ctypes.c_ulong),
                ("event_mask", ctypes.c_ulong)]


class _Display:
    """Our own connection to the display, to set and read the screen saver."""

    def __init__(self):
        self.x11 = self.xss = None
        x11, xss = ctypes.util.find_library("X11"), ctypes.util.find_library("Xss")
        if not x11 or not xss:
            return
        self.x11, self.xss = ctypes.CDLL(x11), ctypes.CDLL(xss)
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x11.XSetScreenSaver.argtypes = [ctypes.c_void_p] + [ctypes.c_int] * 4
        self.x11.XForceScreenSaver.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xss.XScreenSaverQueryInfo.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                                   ctypes.POINTER(_Info)]
        self.dpy = self.x11.XOpenDisplay(None)

    def usable(self):
        return self.xss is not None and self.dpy

    def set_timeout(self, seconds):
        # The idle time restarts (ScreenSaverReset), then the timeout is set, so the saver
        # comes on `seconds` from now; the other order leaves it off for an idle display.
        self.x11.XForceScreenSaver(self.dpy, 0)
        self.x11.XSync(self.dpy, 0)
        self.x11.XSetScreenSaver(self.dpy, seconds, 0, 2, 1)  # blanking as the server likes
        self.x11.XSync(self.dpy, 0)

    def saver_on(self):
        info = _Info()
        if not self.xss.XScreenSaverQueryInfo(self.dpy, self.x11.XDefaultRootWindow(self.dpy),
                                              ctypes.byref(info)):
            raise AssertionError("the display has no screen-saver extension")
        return info.state == SAVER_ON

    def close(self):
        self.x11.XSetScreenSaver(self.dpy, -1, -1, 2, 2)  # back to the server's defaults
        self.x11.XSync(self.dpy, 0)
        self.x11.XCloseDisplay(self.dpy)


class ScreenSaver(unittest.TestCase):
    def setUp(self):
        self.display = _Display()
        if not self.display.usable():
            self.skipTest("libX11 and libXss are needed to read the screen saver")
        self.addCleanup(self.display.close)
        self.tmp = harness.make_tmpdir()
        self.data = harness.copy_data(self.tmp)

    def test_the_screen_saver_stays_off_while_the_show_plays(self):
        # The rig: on an idle display the saver comes on.
        self.display.set_timeout(SAVER_TIMEOUT_S)
        time.sleep(SAVER_TIMEOUT_S + 1.5)
        self.assertTrue(self.display.saver_on(), "the screen saver never came on here")

        # No session bus to ask instead: the program must keep the X server's saver off.
        proc = harness.start(self.data, {"DBUS_SESSION_BUS_ADDRESS": "unix:path=/nonexistent",
                                         "SDL_VIDEO_ALLOW_SCREENSAVER": "1"})
        try:
            harness.expect_window(proc)
            self.display.set_timeout(SAVER_TIMEOUT_S)
            deadline = time.monotonic() + WATCH_SECONDS
            while time.monotonic() < deadline:
                self.assertFalse(self.display.saver_on(),
                                 "the screen saver came on while the show played")
                time.sleep(0.25)
            self.assertIsNone(proc.poll(), "the show ended early")
            self.assertTrue(harness.send_escape(proc), "could not send Escape")
            status, _, err = harness.finish(proc)
        finally:
            harness.stop(proc)
        self.assertEqual(status, 0, err)

        # Ended, it leaves the saver as it found it.
        self.display.set_timeout(SAVER_TIMEOUT_S)
        time.sleep(SAVER_TIMEOUT_S + 1.5)
        self.assertTrue(self.display.saver_on(), "the screen saver stayed off after the show")


if __name__ == "__main__":
    harness.main_needing_display()
