"""quorl-capture: arguments, determinism, golden frames, and a short video with its music."""
import filecmp
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import pngread  # noqa: E402

CAPTURE = os.path.join(harness.BUILD, "quorl-capture")
DATA = os.path.join(harness.REPO, "data")
GOLDEN = os.path.join(harness.REPO, "tests", "golden")
# Loose enough for another Mesa, tight enough for a wrong picture, a flipped one or a
# missing overlay: grey levels of 8 x 8 block means, out of 255.
MEAN_TOLERANCE = 3.0
MAX_TOLERANCE = 24.0


def run_capture(*args, timeout=600):
    env = dict(os.environ)
    env.pop("DISPLAY", None)  # must work with no display at all
    return subprocess.run([CAPTURE, *args], cwd=DATA, env=env, capture_output=True,
                          text=True, timeout=timeout)


class Capture(unittest.TestCase):
    def test_bad_arguments_give_usage_and_2(self):
        for args in (["--bogus"], [], ["--at", "1"], ["--size", "99", "--sheet", "x.png"]):
            r = run_capture(*args)
            self.assertEqual(r.returncode, 2, args)
            self.assertIn("usage: quorl-capture", r.stderr)

    def test_golden_frames_match_and_captures_are_identical(self):
        with open(os.path.join(GOLDEN, "times.txt")) as f:
            times = f.read().strip()
        count = len(times.split(","))
        tmp = harness.make_tmpdir()
        first, second = os.path.join(tmp, "a"), os.path.join(tmp, "b")
        for out in (first, second):
            r = run_capture("--size", "320x240", "--fps", "60", "--at", times, "--out", out)
            self.assertEqual(r.returncode, 0, r.stderr)
        names = ["%03d.png" % i for i in range(count)]
        match, mismatch, errors = filecmp.cmpfiles(first, second, names, shallow=False)
        self.assertEqual(sorted(match), names, "two captures of the same times differ")

        # Frames of different slots differ clearly.
        mean, _ = pngread.compare(os.path.join(first, "002.png"), os.path.join(first, "003.png"))
        self.assertGreater(mean, 8.0)

        for name in names:
            golden = os.path.join(GOLDEN, name)
            self.assertTrue(os.path.exists(golden), "missing golden frame " + name)
            mean, worst = pngread.compare(os.path.join(first, name), golden)
            self.assertLess(mean, MEAN_TOLERANCE, "%s: mean block difference %.2f" % (name, mean))
            self.assertLess(worst, MAX_TOLERANCE, "%s: worst block difference %.1f" % (name, worst))

    def test_golden_comparison_catches_a_flipped_frame(self):
        # The check itself must see orientation: a frame against its upside-down self.
        tmp = harness.make_tmpdir()
        r = run_capture("--size", "320x240", "--fps", "60", "--at", "11", "--out", tmp)
        self.assertEqual(r.returncode, 0, r.stderr)
        path = os.path.join(tmp, "000.png")
        flipped = os.path.join(tmp, "flipped.png")
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-i", path, "-vf", "vflip", flipped],
                       check=True)
        mean, worst = pngread.compare(path, flipped)
        self.assertTrue(mean >= MEAN_TOLERANCE or worst >= MAX_TOLERANCE)

    def test_short_video_has_the_show_and_its_music_with_the_lead_in(self):
        tmp = harness.make_tmpdir()
        video = os.path.join(tmp, "show.mp4")
        r = run_capture("--size", "160x120", "--fps", "10", "--video", video)
        self.assertEqual(r.returncode, 0, r.stderr)
        probe = subprocess.run(
            ["ffprobe", "-v", "error", "-show_entries", "stream=codec_type,codec_name,duration",
             "-of", "csv=p=0", video], capture_output=True, text=True, check=True).stdout
        streams = [line.split(",") for line in probe.split()]
        kinds = sorted(s[1] for s in streams)
        self.assertEqual(kinds, ["audio", "video"], probe)
        for s in streams:
            self.assertAlmostEqual(float(s[2]), 131.3, delta=0.5, msg=probe)
        raw = subprocess.run(["ffmpeg", "-v", "error", "-i", video, "-t", "2", "-f", "f32le",
                              "-ac", "1", "-ar", "44100", "-"], capture_output=True,
                             check=True).stdout
        import array
        samples = array.array("f")
        samples.frombytes(raw[:len(raw) // 4 * 4])
        first = next(i for i, v in enumerate(samples) if abs(v) > 1e-4)
        # 16384 frames of silence, give or take the AAC encoder's priming.
        self.assertAlmostEqual(first, 16384, delta=2048)

    def test_video_without_a_thread_of_its_own_is_the_same_video(self):
        # Where no thread can be made (the system is out of them), the frames go to the
        # encoder from the rendering thread: the same video, not an abort.
        shim = os.path.join(harness.BUILD, "tests", "libquorl_fail_threads.so")
        tmp = harness.make_tmpdir()
        hashes = []
        for preload in (None, shim):
            video = os.path.join(tmp, "%s.mkv" % ("alone" if preload else "fed"))
            env = dict(os.environ)
            env.pop("DISPLAY", None)
            if preload:
                env["LD_PRELOAD"] = preload
            r = subprocess.run([CAPTURE, "--size", "160x120", "--fps", "10", "--video", video],
                               cwd=DATA, env=env, capture_output=True, text=True, timeout=600)
            self.assertEqual(r.returncode, 0, r.stderr)
            frames = subprocess.run(["ffmpeg", "-v", "error", "-i", video, "-map", "0:v",
                                     "-f", "framemd5", "-"], capture_output=True, text=True,
                                    check=True).stdout
            hashes.append([line for line in frames.splitlines() if not line.startswith("#")])
        self.assertEqual(len(hashes[0]), 1313)
        self.assertEqual(hashes[0], hashes[1])


if __name__ == "__main__":
    unittest.main()
