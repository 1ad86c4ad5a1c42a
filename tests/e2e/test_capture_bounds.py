"""quorl-capture's time bounds taken exactly: a --from/--to range that is one instant writes
the one display frame at that instant, and a time that falls on a frame names that frame,
not the one after it."""
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

CAPTURE = os.path.join(harness.BUILD, "quorl-capture")
DATA = os.path.join(harness.REPO, "data")


def frames_written(*args):
    out = os.path.join(harness.make_tmpdir(), "frames")
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    r = subprocess.run([CAPTURE, "--size", "64x48", *args, "--frames", out], cwd=DATA,
                       env=env, capture_output=True, text=True, timeout=300)
    return r.returncode, sorted(os.listdir(out)) if os.path.isdir(out) else [], r.stderr


class CaptureBounds(unittest.TestCase):
    def test_one_instant_range_writes_the_frame_at_that_instant(self):
        cases = [  # fps, --from, --to, the frame written
            ("60", "2", "2", "000120.png"),
            ("16", "3.5", "3.5", "000056.png"),
            ("30", "0", "0", "000000.png"),
        ]
        for fps, first, last, name in cases:
            with self.subTest(fps=fps, first=first, last=last):
                code, names, err = frames_written("--fps", fps, "--from", first, "--to", last)
                self.assertEqual(code, 0, err)
                self.assertEqual(names, [name])


if __name__ == "__main__":
    unittest.main()
