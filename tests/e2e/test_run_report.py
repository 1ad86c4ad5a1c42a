"""The run report end to end: QUORL_STATS=json makes the real program print one JSON object
on stderr on its way out, with numbers that fit the run; unset, stderr stays empty."""
import json
import os
import re
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from sound_servers import late_first_request_env  # noqa: E402

PHASES = ["window", "programs", "pictures", "screen_quad", "music", "mesh", "fullscreen",
          "film_framebuffer"]
RUN_SECONDS = 5.0


def the_report(err):
    """The one JSON object on stderr (other lines, such as a box's text, may come before)."""
    objects = [line for line in err.splitlines() if line.startswith("{")]
    if len(objects) != 1:
        raise AssertionError("expected one JSON line on stderr, got %d: %r" % (len(objects), err))
    return json.loads(objects[0])


def root_size():
    """Width and height of the virtual display's screen."""
    out = subprocess.run(["xwininfo", "-root"], capture_output=True, text=True).stdout
    return {"width": int(re.search(r"Width: (\d+)", out).group(1)),
            "height": int(re.search(r"Height: (\d+)", out).group(1))}


class RunReport(unittest.TestCase):
    def setUp(self):
        self.tmp = harness.make_tmpdir()
        self.data = harness.copy_data(self.tmp)

    def run_and_escape(self, env):
        started = time.time()
        proc = harness.start(self.data, env)
        try:
            harness.expect_window(proc)
            time.sleep(RUN_SECONDS)
            self.assertIsNone(proc.poll(), "the program ended early")
            self.assertTrue(harness.send_escape(proc), "could not send Escape")
            status, out, err = harness.finish(proc)
        finally:
            harness.stop(proc)
        self.assertEqual(status, 0, err)
        self.assertEqual(out, "")
        return err, time.time() - started

    def test_json_report_after_escape_fits_the_run(self):
        # The disk driver paces itself by the clock, so the music position means something.
        env = {"QUORL_STATS": "json", "SDL_AUDIODRIVER": "disk",
               "SDL_DISKAUDIOFILE": os.path.join(self.tmp, "out.raw")}
        err, wall = self.run_and_escape(env)
        r = the_report(err)
        try:
            self.check_report_fits_the_run(r, wall)
        except AssertionError as e:
            raise AssertionError("%s\nreport: %s" % (e, json.dumps(r, indent=1)))

    def check_report_fits_the_run(self, r, wall):
        startup = r["startup"]
        self.assertEqual([p["name"] for p in startup["phases"]], PHASES)
        self.assertTrue(all(p["ms"] >= 0 for p in startup["phases"]))
        first = startup["first_frame_ms"]
        self.assertLess(sum(p["ms"] for p in startup["phases"]), first)
        # The disk driver asks for sound at once: the first frame hardly waited.
        self.assertEqual(startup["sound_request"], "answered")
        self.assertLess(startup["sound_wait_ms"], 500)
        self.assertLess(sum(p["ms"] for p in startup["phases"]) + startup["sound_wait_ms"], first)
        self.assertLess(first / 1000.0, wall)

        frames = r["frames"]
        seconds = frames["seconds"]  # the frame clock when the report was made
        self.assertGreater(frames["count"], 1)
        self.assertEqual(frames["times"], "display")
        # Escape came after RUN_SECONDS of showing the window; the program ran no longer
        # than this test waited for it.
        self.assertGreater(seconds, RUN_SECONDS * 0.8)
        # (The phases end before the loop starts; the first frame lies in both spans.)
        phases_s = sum(p["ms"] for p in startup["phases"]) / 1000.0
        self.assertLess(phases_s + seconds, wall)
        self.assertLessEqual(frames["p50_ms"], frames["p99_ms"])
        self.assertLessEqual(frames["p99_ms"], frames["max_ms"])
        self.assertLess(frames["slow"], frames["count"])
        # The frame times add up to the clock of the last frame: at most the run, at least
        # the run less the last frame and the way out.
        max_s = frames["max_ms"] / 1000.0
        timed = (frames["count"] - 1) / frames["mean_fps"]
        self.assertLessEqual(timed, seconds + 1e-3)
        self.assertGreater(timed, seconds - max_s - 1.0)

        film = r["film"]
        self.assertGreater(film["advances"], 0)
        self.assertEqual(film["indices"], film["advances"] + film["skipped"])
        # The film goes through 16 indices a second up to the last frame's clock.
        self.assertLessEqual(film["indices"], 16 * seconds + 1)
        self.assertGreater(film["indices"], 16 * (timed - max_s) - 2)
        self.assertEqual(film["scenes"], 0, "no scene slot before 34 s")

        music = r["music"]
        self.assertGreater(music["rate"], 0)
        played = music["played_frames"] / music["rate"]
        # The device started just before the loop and never runs ahead of the clock by more
        # than its buffers; a starved one falls behind, but not by half the run.
        self.assertLessEqual(played, seconds + 0.25)
        self.assertGreater(played, seconds * 0.5)
        self.assertEqual(music["lead_in"], 16384)
        self.assertGreater(music["offset_frames"], 16384 - 0.25 * music["rate"])
        self.assertLess(music["offset_frames"], 16384 + music["rate"] * seconds * 0.5)
        # At the first frame the device has just been resumed: the lead-in, give or take the
        # first frame and the device's first buffers.
        first_offset = music["offset_first_frame_frames"]
        self.assertGreater(first_offset, 16384 - 0.25 * music["rate"])
        self.assertLess(first_offset, 16384 + 2 * music["rate"])
        self.assertIsInstance(music["stale_halves"], int)
        self.assertIsInstance(music["halves_caught_up"], int)

        self.assertEqual(r["screen"], root_size())
        self.assertTrue(r["renderer"], "no GL renderer string")
        self.assertEqual(r["exit_code"], 0)

    def test_unset_leaves_stderr_empty_and_text_mode_reads(self):
        err, _ = self.run_and_escape({})  # the harness starts it without QUORL_STATS
        self.assertEqual(err, "", "unset, the program prints nothing")
        err, _ = self.run_and_escape({"QUORL_STATS": "1"})
        self.assertTrue(err.startswith("quorl run report (exit code 0)\n"), err)
        for part in ("from process start to the first presented frame", "frame time p50",
                     "indices gone through", "%(width)d x %(height)d" % root_size()):
            self.assertIn(part, err)

    def test_the_first_frame_waits_for_the_first_request_at_most_2_s(self):
        """A device whose first request comes late holds the first frame back until it
        comes, or for 2 s; the report says how long and which."""
        raw = os.path.join(self.tmp, "out.raw")
        for late_ms, answered in ((1200, True), (3500, False)):
            env = late_first_request_env(self.tmp, late_ms)
            if env is None:
                self.skipTest("no C compiler to build the late-request preload")
            env.update({"QUORL_STATS": "json", "SDL_AUDIODRIVER": "disk",
                        "SDL_DISKAUDIOFILE": raw})
            err, _ = self.run_and_escape(env)
            startup, music = the_report(err)["startup"], the_report(err)["music"]
            wait = startup["sound_wait_ms"]
            if answered:
                self.assertEqual(startup["sound_request"], "answered", startup)
                self.assertGreaterEqual(wait, late_ms - 50, startup)
                self.assertLess(wait, 2000, startup)
            else:
                self.assertEqual(startup["sound_request"], "timed out", startup)
                self.assertGreaterEqual(wait, 2000, startup)
                self.assertLess(wait, 2300, startup)
            self.assertGreater(startup["first_frame_ms"], wait, startup)
            self.assertGreater(music["played_frames"], 0, music)
        err, _ = self.run_and_escape(dict(env, QUORL_STATS="1"))
        self.assertRegex(err, r"\n  sound's first request +2\d{3}\.\d ms  \(none came: the show "
                         r"started without it\)\n", err)

    def test_closing_the_window_prints_the_report_too(self):
        proc = harness.start(self.data, {"QUORL_STATS": "json"})
        try:
            wid = harness.expect_window(proc)
            time.sleep(1.0)
            subprocess.run([os.path.join(harness.BUILD, "tests", "quorl_x11_close"), wid],
                           check=True)
            status, _, err = harness.finish(proc)
        finally:
            harness.stop(proc)
        self.assertEqual(status, 0, err)
        # With the dummy sound driver nothing else speaks: stderr is the object and nothing more.
        self.assertTrue(err.endswith("}\n") and err.count("\n") == 1, err)
        r = json.loads(err)
        self.assertGreater(r["frames"]["count"], 0)
        self.assertEqual(r["exit_code"], 0)

    def test_capture_stats_reports_render_times_and_skipped_film_frames(self):
        capture = os.path.join(harness.BUILD, "quorl-capture")
        counts = {}
        for fps in (10, 60):
            run = subprocess.run(
                [capture, "--size", "160x120", "--fps", str(fps), "--at", "2",
                 "--out", os.path.join(self.tmp, "at%d" % fps), "--stats"],
                cwd=self.data, env=dict(os.environ, QUORL_STATS="json"),
                capture_output=True, text=True, timeout=120)
            self.assertEqual(run.returncode, 0, run.stderr)
            r = the_report(run.stderr)
            self.assertEqual(r["frames"]["times"], "render")
            # The capture seeks: it renders the frame at 2 s and the last film frame before
            # it (the white frame); the frames before run the show's logic only.
            self.assertEqual(r["frames"]["count"], 2)
            self.assertGreater(r["frames"]["p50_ms"], 0)
            self.assertNotIn("startup", r)
            self.assertEqual(r["screen"], {"width": 160, "height": 120})
            counts[fps] = r["film"]
        # Index 32 at t = 2 either way; at 10 frames a second most indices go unseen.
        self.assertEqual(counts[10], {"indices": 32, "advances": 20, "scenes": 0, "skipped": 12})
        self.assertEqual(counts[60], {"indices": 32, "advances": 32, "scenes": 0, "skipped": 0})

    def test_startup_failure_reports_the_phases_reached(self):
        os.remove(os.path.join(self.data, "music/BrenlowickpianoRoll-ChineseBlues1916.ogg"))
        err = harness.expect_box_and_exit(self.data, "Error", "Sound error.",
                                          env={"QUORL_STATS": "json"})
        r = the_report(err)
        self.assertEqual([p["name"] for p in r["startup"]["phases"]], PHASES[:4])
        self.assertIsNone(r["startup"]["first_frame_ms"])
        self.assertEqual(r["frames"]["count"], 0)
        self.assertEqual(r["exit_code"], 255)  # the process's own exit status


if __name__ == "__main__":
    harness.main_needing_display()
