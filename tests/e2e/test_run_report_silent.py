"""Without a sound device the show plays silently, and its run report says that no device
played (rate 0, nothing played), in JSON and in the readable text, instead of a rate with
no music behind it."""
import json
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

NO_DEVICE = {"SDL_AUDIODRIVER": "no-such-driver"}  # SDL's audio cannot start at all


class SilentRunReport(unittest.TestCase):
    def setUp(self):
        self.tmp = harness.make_tmpdir()
        self.data = harness.copy_data(self.tmp)

    def report_of_a_short_run(self, stats):
        proc = harness.start(self.data, dict(NO_DEVICE, QUORL_STATS=stats))
        try:
            harness.expect_window(proc)
            time.sleep(1.5)
            self.assertIsNone(proc.poll(), "the show did not play without sound")
            self.assertTrue(harness.send_escape(proc), "could not send Escape")
            status, _, err = harness.finish(proc)
        finally:
            harness.stop(proc)
        self.assertEqual(status, 0, err)
        return err

    def test_report_says_no_device_played(self):
        err = self.report_of_a_short_run("json")
        objects = [line for line in err.splitlines() if line.startswith("{")]
        self.assertEqual(len(objects), 1, err)
        music = json.loads(objects[0])["music"]
        self.assertEqual((music["rate"], music["played_frames"]), (0, 0), music)
        self.assertIsNone(music["offset_frames"], music)

        err = self.report_of_a_short_run("1")
        music_lines = [line for line in err.splitlines() if line.startswith("music")]
        self.assertEqual(music_lines, ["music      no sound device played"], err)


if __name__ == "__main__":
    harness.main_needing_display()
