"""The real program's window: it covers the screen, and it asks a window manager for the
fullscreen state only where one runs (the request otherwise goes unanswered, and SDL
waits for the answer)."""
import os
import re
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402


def geometry(window_args):
    out = subprocess.run(["xwininfo", *window_args], capture_output=True, text=True,
                         check=True).stdout
    value = {}
    for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
        value[key] = int(re.search(r"%s:\s+(-?\d+)" % key, out).group(1))
    return value


class Fullscreen(unittest.TestCase):
    def setUp(self):
        self.tmp = harness.make_tmpdir()
        self.data = harness.copy_data(self.tmp)

    def window_of_a_run(self, announce):
        """Geometry of the show's window, and whether it asked for the fullscreen state;
        with announce, as if a window manager ran."""
        watcher = subprocess.Popen(
            [os.path.join(harness.BUILD, "tests", "quorl_x11_announce_wm")]
            + (["--announce"] if announce else []),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        try:
            self.assertEqual(watcher.stdout.readline(), "ready\n")
            proc = harness.start(self.data)
            try:
                got = geometry(["-id", harness.expect_window(proc)])
            finally:
                harness.stop(proc)
        finally:
            # Withdrawn again: the display is shared with the other tests.
            watcher.stdin.close()
            said = watcher.stdout.read()
            watcher.stdout.close()
            watcher.wait(timeout=10)
        return got, "fullscreen requested" in said

    def test_covers_the_screen_and_asks_for_fullscreen_only_of_a_window_manager(self):
        screen = geometry(["-root"])
        self.assertEqual((screen["Absolute upper-left X"], screen["Absolute upper-left Y"]),
                         (0, 0))
        # This display has no window manager: a borderless window at the screen's size,
        # and no request that nobody would answer.
        self.assertEqual(self.window_of_a_run(announce=False), (screen, False))
        # Once a manager announces itself, the request is made, for it to act on.
        self.assertEqual(self.window_of_a_run(announce=True), (screen, True))


if __name__ == "__main__":
    harness.main_needing_display()
