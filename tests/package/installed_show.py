"""The installed quorl (QUORL_BIN, e.g. /usr/games/quorl), started from a folder outside the
tree: its launcher must find the installed data, so start-up succeeds, the window shows, and
Escape ends the show with 0 and no message. Run under a display and in a network namespace
of its own (tests/e2e/own_netns.sh)."""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import harness  # noqa: E402


class InstalledShow(unittest.TestCase):
    def test_starts_from_anywhere_and_escape_ends_it(self):
        proc = harness.start(harness.make_tmpdir())
        try:
            harness.expect_window(proc)
            self.assertTrue(harness.send_escape(proc), "could not send Escape")
            status, _, err = harness.finish(proc)
        finally:
            harness.stop(proc)
        self.assertEqual(status, 0, err)
        self.assertEqual(err, "")


if __name__ == "__main__":
    harness.main_needing_display()
