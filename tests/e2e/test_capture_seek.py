"""quorl-capture seeks: frames written after a stretch of logic-only frames are the same
bytes as in a full replay, and only the frames written are rendered."""
import filecmp
import os
import re
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

CAPTURE = os.path.join(harness.BUILD, "quorl-capture")
DATA = os.path.join(harness.REPO, "data")
SMALL = ["--size", "96x54", "--fps", "30"]  # 30 fps: most display frames are no advance


def run_capture(*args, timeout=300):
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    r = subprocess.run([CAPTURE, *args], cwd=DATA, env=env, capture_output=True, text=True,
                       timeout=timeout)
    return r


def counts(stderr):
    m = re.search(r"written (\d+)\s+rendered (\d+)", stderr)
    assert m, stderr
    return int(m.group(1)), int(m.group(2))


class Seek(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # The full replay: every display frame of the show drawn and written.
        cls.full = os.path.join(harness.make_tmpdir(), "full")
        r = run_capture(*SMALL, "--frames", cls.full)
        assert r.returncode == 0, r.stderr

    def full_frame(self, k):
        return os.path.join(self.full, "%06d.png" % k)

    def test_at_gives_the_frames_of_a_full_replay(self):
        # The first frame, the fade-in, the first frame of the writing strip and of a scene
        # slot, inside scenes and stills, the fade-out, the quit frame and the pass after it;
        # most of them display frames between advances, which show an older film frame.
        def advance(k):
            return k < 129 * 30 and int(16 * k / 30) != int(16 * (k - 1) / 30)
        frames = [0, 15, 57, 60, 93, 1020, 1745, 1380, 1846, 2970, 3117, 3900, 3929, 3931, 3932]
        frames += [k + 1 for k in (1091, 1501, 2081, 2401, 2701, 3301) if advance(k)]
        self.assertGreaterEqual(sum(not advance(k) for k in frames), 6)
        times = [repr(k / 30) for k in frames]  # read back as the same doubles
        out = os.path.join(harness.make_tmpdir(), "at")
        r = run_capture(*SMALL, "--stats", "--at", ",".join(times), "--out", out)
        self.assertEqual(r.returncode, 0, r.stderr)
        written, rendered = counts(r.stderr)
        self.assertEqual(written, len(frames))
        # Each written frame plus at most one film frame before each: far below a replay,
        # and some of them film frames the written ones show.
        self.assertLessEqual(rendered, 2 * len(frames))
        self.assertGreater(rendered, written)
        for i, k in enumerate(frames):
            self.assertTrue(filecmp.cmp(os.path.join(out, "%03d.png" % i), self.full_frame(k),
                                        shallow=False), "t = %s s (frame %d)" % (times[i], k))

    def test_frames_from_to_are_the_full_replays_and_render_only_those(self):
        for first, last in ((59, 64), (45.5, 46.2), (129.5, 129.7), (1.0, 1.3)):
            out = os.path.join(harness.make_tmpdir(), "frames")
            r = run_capture(*SMALL, "--stats", "--frames", out, "--from", str(first), "--to",
                            str(last))
            self.assertEqual(r.returncode, 0, r.stderr)
            names = sorted(os.listdir(out))
            expected = ["%06d.png" % k for k in range(4000) if first <= k / 30 <= last]
            self.assertEqual(names, expected)
            written, rendered = counts(r.stderr)
            self.assertEqual(written, len(names))
            self.assertLessEqual(rendered, written + 1, (first, last))  # + the film frame shown
            for name in names:
                self.assertTrue(filecmp.cmp(os.path.join(out, name),
                                            os.path.join(self.full, name), shallow=False),
                                "%s of %s..%s s" % (name, first, last))

    def test_progress_on_a_pipe_is_plain_lines_counting_frames_written(self):
        out = os.path.join(harness.make_tmpdir(), "frames")
        r = run_capture("--size", "320x240", "--frames", out, "--from", "59", "--to", "75")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertNotIn("\r", r.stderr)
        lines = [l for l in r.stderr.splitlines() if "frames" in l and "left" in l]
        for line in lines:
            m = re.search(r"(\d+)/(\d+) frames\s+(\d+)%\s+\d+:\d\d left", line)
            self.assertTrue(m, line)
            self.assertEqual(int(m.group(2)), 961)
            self.assertLessEqual(int(m.group(1)), 961)


if __name__ == "__main__":
    unittest.main()
