"""The real program under a virtual display: single instance, Escape, window close."""
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402


class InstanceAndQuit(unittest.TestCase):
    def setUp(self):
        self.tmp = harness.make_tmpdir()
        self.data = harness.copy_data(self.tmp)

    def start_running(self):
        proc = harness.start(self.data)
        harness.expect_window(proc)
        return proc

    def test_second_instance_is_refused_and_escape_ends_the_first_with_0(self):
        first = self.start_running()
        try:
            second = harness.start(self.data)
            self.assertTrue(harness.dismiss_box("Error"), "no box for the second instance")
            status, _, err = harness.finish(second)
            self.assertEqual(status, 255)
            self.assertEqual(err.strip().splitlines(), ["Error: Bad kind of error, error."])
            self.assertIsNone(first.poll(), "the first instance must keep running")
            time.sleep(1.0)
            self.assertTrue(harness.send_escape(first))
            status, _, err = harness.finish(first)
            self.assertEqual(status, 0, err)
        finally:
            harness.stop(first)

    def test_closing_the_window_ends_with_0(self):
        proc = self.start_running()
        try:
            wid = harness.program_window(proc)
            time.sleep(1.0)
            closer = os.path.join(harness.BUILD, "tests", "quorl_x11_close")
            subprocess.run([closer, wid], check=True)
            status, _, err = harness.finish(proc)
            self.assertEqual(status, 0, err)
        finally:
            harness.stop(proc)


if __name__ == "__main__":
    harness.main_needing_display()
