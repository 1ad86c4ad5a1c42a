"""Without a sound device the show plays silently, says so in one line (the sound library's
own complaints kept off the terminal), and its run report says that no device played (rate
0, nothing played), in JSON and in the readable text, instead of a rate with no music
behind it."""
import json
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

NO_DEVICE = {"SDL_AUDIODRIVER": "no-such-driver"}  # SDL's audio cannot start at all
# ALSA with no such card: libasound prints eight "ALSA lib ..." lines of its own.
NO_CARD = {"SDL_AUDIODRIVER": "alsa", "ALSA_CARD": "quorl_no_such_card"}
SILENT_LINE = "quorl: no sound device found; the show plays silently."


class SilentRunReport(unittest.TestCase):
    def setUp(self):
        self.tmp = harness.make_tmpdir()
        self.data = harness.copy_data(self.tmp)

    def report_of_a_short_run(self, stats, env=NO_DEVICE):
        proc = harness.start(self.data, dict(env, QUORL_STATS=stats))
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
        self.assertEqual(err.splitlines()[0], SILENT_LINE, err)

    def test_without_a_sound_card_one_line_says_the_show_plays_silently(self):
        err = self.report_of_a_short_run("0", NO_CARD)
        self.assertEqual(err, SILENT_LINE + "\n")


if __name__ == "__main__":
    harness.main_needing_display()
