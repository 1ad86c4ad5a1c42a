"""When the system refuses the music's refill thread, the show still runs, silently, and
ends with status 0: the program must not abort. The refusal is injected by preloading a
pthread_create that refuses the program's own threads (tests/e2e/fail_own_threads.c)."""
import os
import shutil
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from test_music_disk import end_with_escape  # noqa: E402

SHIM = os.path.join(harness.BUILD, "tests", "libquorl_fail_threads.so")
PLAY_SECONDS = 3


class RefillThreadRefused(unittest.TestCase):
    def setUp(self):
        self.assertTrue(os.access(harness.BIN, os.X_OK), "no program at %s" % harness.BIN)
        self.assertTrue(os.path.isfile(SHIM), "no thread-refusing library at %s" % SHIM)
        self.tmp = harness.make_tmpdir()
        self.data = harness.copy_data(self.tmp)

    def tearDown(self):
        shutil.rmtree(self.tmp, ignore_errors=True)

    def test_show_plays_silently_and_ends_with_zero(self):
        raw = os.path.join(self.tmp, "out.raw")
        proc = harness.start(self.data, {"LD_PRELOAD": SHIM, "SDL_AUDIODRIVER": "disk",
                                         "SDL_DISKAUDIOFILE": raw})
        try:
            harness.expect_window(proc)
            time.sleep(PLAY_SECONDS)
            # A device left open writes on (silence while paused, the block when playing);
            # the one given up with its refill thread writes nothing more.
            size = os.path.getsize(raw) if os.path.exists(raw) else 0
            time.sleep(1)
            grown = (os.path.getsize(raw) if os.path.exists(raw) else 0) - size
            self.assertEqual(grown, 0, "the sound device is still open")
            end_with_escape(self, proc)
        finally:
            harness.stop(proc)
        # The device was closed before it played: nothing but the paused device's silence.
        if os.path.exists(raw):
            with open(raw, "rb") as f:
                self.assertEqual(f.read().strip(b"\0"), b"", "sound was played")


if __name__ == "__main__":
    harness.main_needing_display()
