"""quorl-capture's usability: help, refusals before any rendering (message, exit 2, no frame
rendered), and finding the show's data from the repository root or with --data."""
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

CAPTURE = os.path.join(harness.BUILD, "quorl-capture")
DATA = os.path.join(harness.REPO, "data")


def run_capture(*args, cwd=DATA, timeout=120):
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    start = time.monotonic()
    r = subprocess.run([CAPTURE, *args], cwd=cwd, env=env, capture_output=True, text=True,
                       timeout=timeout)
    return r, time.monotonic() - start


class Usage(unittest.TestCase):
    def test_help_prints_usage_and_exits_0(self):
        for flag in ("-h", "--help"):
            r, _ = run_capture(flag)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertIn("usage: quorl-capture", r.stdout)
            self.assertIn("--data DIR", r.stdout)
            self.assertIn("--preset", r.stdout)

    def test_refusals_come_before_any_rendering(self):
        tmp = harness.make_tmpdir()
        afile = os.path.join(tmp, "a-file")
        with open(afile, "w") as f:
            f.write("x")
        cases = [
            (["--frames", os.path.join(tmp, "f"), "--from", "200"], "200 s", "f"),
            (["--at", "5,200", "--out", os.path.join(tmp, "at")], "200 s", "at"),
            (["--frames", os.path.join(tmp, "g"), "--from", "1.001", "--to", "1.002"],
             "nothing would be written", "g"),
            (["--sheet", "/proc/quorl/x.png"], "/proc/quorl", None),
            (["--video", "/proc/quorl/x.mp4"], "/proc/quorl", None),
            (["--frames", os.path.join(afile, "sub")], "Not a directory", None),
            (["--sheet", tmp], "not a plain file", None),
            (["--data", tmp, "--at", "1", "--out", os.path.join(tmp, "d")],
             "no shaders/projector.fs", None),
        ]
        for args, text, never_made in cases:
            r, seconds = run_capture("--stats", *args)
            self.assertEqual(r.returncode, 2, (args, r.stderr))
            self.assertIn(text, r.stderr, args)
            self.assertNotIn("rendered", r.stderr, args)  # the frame counter never ran
            self.assertNotIn("frame 1", r.stderr, args)   # seconds, never frame numbers
            self.assertLess(seconds, 5.0, args)
            if never_made:
                self.assertFalse(os.path.exists(os.path.join(tmp, never_made)), args)

    def test_each_slip_on_the_command_line_is_named_for_what_it_is(self):
        cases = [
            (["--bogus"], "unknown option --bogus"),
            (["--at", "1", "--out", "d", "--bogus"], "unknown option --bogus"),
            (["--bogus", "1"], "unknown option --bogus"),
            (["-x", "--sheet", "s.png"], "unknown option -x"),
            (["stray"], "unexpected argument stray"),
            (["--sheet", "s.png", "stray"], "unexpected argument stray"),
            (["--at", "1", "--out"], "--out needs a value"),
            (["--sheet", "--stats"], "--sheet needs a value"),  # not a file named --stats
            (["--frames", "--from", "1"], "--frames needs a value"),
        ]
        tmp = harness.make_tmpdir()  # where a misread argument would land as a file
        for args, text in cases:
            r, _ = run_capture(*args, cwd=tmp)
            self.assertEqual(r.returncode, 2, (args, r.stderr))
            self.assertEqual(r.stderr.splitlines()[0], "quorl-capture: " + text, args)
            self.assertIn("usage: quorl-capture", r.stderr, args)

    def test_an_output_that_is_a_looping_link_is_refused_and_kept(self):
        tmp = harness.make_tmpdir()
        for name, args in (("loop.png", ["--sheet"]), ("loop.mp4", ["--video"]),
                           ("loop", ["--at", "1", "--out"]), ("loop2", ["--frames"])):
            link = os.path.join(tmp, name)
            os.symlink(name, link)  # itself: ELOOP
            r, _ = run_capture("--size", "64x48", *args, link)
            self.assertEqual(r.returncode, 2, (args, r.stderr))
            self.assertIn("Too many levels of symbolic links", r.stderr, args)
            self.assertIn(link, r.stderr, args)
            self.assertEqual(os.readlink(link), name, args)
        self.assertEqual(sorted(os.listdir(tmp)), ["loop", "loop.mp4", "loop.png", "loop2"])

    def test_no_data_here_says_where_it_looked(self):
        tmp = harness.make_tmpdir()
        r, _ = run_capture("--at", "1", "--out", "stills", cwd=tmp)
        self.assertEqual(r.returncode, 2, r.stderr)
        self.assertIn("cannot find the show's data", r.stderr)
        self.assertIn(os.path.join(tmp, "data"), r.stderr)
        self.assertIn("--data DIR", r.stderr)

    def test_data_found_from_the_root_and_with_data_outputs_relative_to_the_caller(self):
        tmp = harness.make_tmpdir()
        r, _ = run_capture("--size", "64x48", "--at", "11", "--out", os.path.join(tmp, "root"),
                           cwd=harness.REPO)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("data from " + DATA, r.stderr)
        self.assertTrue(os.path.isfile(os.path.join(tmp, "root", "000.png")))

        r, _ = run_capture("--size", "64x48", "--data", DATA, "--at", "11", "--out",
                           "deep/stills", cwd=tmp)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("(from --data)", r.stderr)
        self.assertTrue(os.path.isfile(os.path.join(tmp, "deep", "stills", "000.png")))
        self.assertFalse(os.path.exists(os.path.join(DATA, "deep")))


if __name__ == "__main__":
    unittest.main()
