"""Escape pressed and released between two frames still ends the show: the key-down is
remembered until the next frame looks, not only read as the key's state at that moment."""
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402


class EscapeTap(unittest.TestCase):
    def test_a_tap_shorter_than_a_frame_quits_with_0(self):
        data = harness.copy_data(harness.make_tmpdir())
        proc = harness.start(data)
        try:
            wid = harness.expect_window(proc)
            time.sleep(1.0)
            # Down and up in one request stream: both reach the program in one event pump,
            # so the key is already up when the frame asks for it.
            r = subprocess.run(["xdotool", "windowfocus", "--sync", wid, "keydown", "Escape",
                                "keyup", "Escape"], capture_output=True, text=True)
            self.assertEqual(r.returncode, 0, r.stderr)
            status, _, err = harness.finish(proc, timeout=15)
        finally:
            harness.stop(proc)
        self.assertEqual(status, 0, err)


if __name__ == "__main__":
    harness.main_needing_display()
