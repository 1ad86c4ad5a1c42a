"""The music on desktop sound servers, each started by the test in private runtime folders:
PipeWire with wireplumber and pipewire-pulse on a private session bus (Debian 12's default),
and PulseAudio. Recorded from a null sink's monitor and read against the decode: between
gaps the music is the decode bit for bit, and the program keeps it with the picture: under
processor load, after the server runs dry because the program was stopped for a moment, after a
suspend of 10 s, after the server goes away and comes back, and when a server that served a
run before calls back late (the show then waits for it, and the opening is heard). "With
the picture" is sound_servers.check_in_step: back within IN_STEP_FRAMES of where the music
began within SETTLE_SECONDS, never further ahead (under load through PipeWire, which does
not refill what it played out while a callback was late, no further ahead than the device's
own lead, DEVICE_LEAD_FRAMES, at each skip). Skipped, saying why, only when the
servers are not installed or cannot start here."""
import json
import os
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from sound_servers import (DEVICE_LEAD_FRAMES, STRESS_CPU, PrivatePipeWire,  # noqa: E402
                           PrivatePulse, check_in_step, end_group, gaps_and_skips, music_segments,
                           out_of_step, start_group)
from test_music_disk import (MUSIC, REFERENCE, end_with_escape,  # noqa: E402
                             music_frames_written, vorbis_rate)

MARGIN = 8192        # frames a long stop leaves to the step keeping's window
DEVICE_FRAMES = 4096  # one callback: what the lag grows by between two of them
PIPEWIRE_QUANTUM = 1024  # frames PipeWire processes a cycle
LEAD_IN = 16384


def report_of(err):
    lines = [l for l in err.splitlines() if l.startswith("{")]
    if not lines:
        raise AssertionError("no JSON run report on stderr: %r" % err[-2000:])
    return json.loads(lines[-1])


def first_skip(music):
    """What the first callback skipped: all its lag (a request after the wait gave up)."""
    lag = music.get("first_callback_frames")
    return int(lag) if lag is not None and lag > 0 else 0


class DesktopSound(unittest.TestCase):
    def setUp(self):
        self.assertTrue(os.access(harness.BIN, os.X_OK), "no program at %s" % harness.BIN)
        self.tmp = harness.make_tmpdir()
        self.data = harness.copy_data(self.tmp)
        self.rate = vorbis_rate(os.path.join(self.data, MUSIC))
        with open(os.path.join(self.data, MUSIC), "rb"):
            pass
        self.ref = subprocess.run([REFERENCE, os.path.join(self.data, MUSIC),
                                   str(140 * self.rate)], capture_output=True, check=True).stdout
        self.first_sound = (len(self.ref) - len(self.ref.lstrip(b"\0"))) // 8

    def pipewire(self):
        pw = PrivatePipeWire(self.tmp, self.rate)
        self.addCleanup(pw.close)
        if pw.problem:
            self.skipTest(pw.problem)
        return pw

    def start_show(self, server, driver="pulseaudio"):
        env = {k: server.env[k] for k in server.env
               if k.startswith(("XDG_RUNTIME", "PULSE", "PIPEWIRE", "DBUS"))}
        env.update({"SDL_AUDIODRIVER": driver, "QUORL_STATS": "json"})
        proc = harness.start(self.data, env)
        self.addCleanup(harness.stop, proc)
        harness.expect_window(proc)
        return proc

    def record(self, server, name):
        path = os.path.join(self.tmp, name)
        rec = server.record(path)
        self.addCleanup(end_group, rec)
        return rec, path

    def wait_music(self, path, seconds, proc):
        deadline = time.monotonic() + seconds + 60
        want = int(seconds * self.rate)
        while music_frames_written(path) < want and time.monotonic() < deadline:
            self.assertIsNone(proc.poll(), "the show ended early")
            time.sleep(0.25)

    def escape_and_report(self, proc):
        self.assertTrue(harness.send_escape(proc), "could not send Escape")
        status, _, err = harness.finish(proc)
        self.assertEqual(status, 0, err[-2000:])
        return report_of(err)["music"]

    def read(self, path, altered=0):
        """The recording's runs of music; at most `altered` sounding frames may be other
        sound."""
        with open(path, "rb") as f:
            data = f.read()
        segments, unmatched = music_segments(data[: len(data) // 8 * 8], self.ref)
        self.assertLessEqual(unmatched, altered, "sounding frames that are not the music")
        self.assertTrue(segments, "no music was recorded")
        if unmatched:
            print("%d sounding frames that are not the music" % unmatched)
        return segments

    def check_in_step_at_the_end(self, music):
        # The lag is checked at each callback; the report is made between two of them.
        lag = music["offset_frames"] - music["lead_in"]
        self.assertLessEqual(lag, MARGIN + DEVICE_FRAMES,
                             "the music ends %.0f ms behind the picture" % (1000 * lag / self.rate))
        return lag

    def check_counts_agree(self, segments, music):
        """Against the recording's own timeline: silence a server inserts moves the music's
        offset later by its length, a skip moves it earlier by the frames skipped (the
        half it lands in may play as silence first, which moves nothing), and a server
        whose clock ran slower than the picture's shows only as such a move. So each fall
        of the offset is one reported skip at least as large, and the frames skipped are
        no more than the silence and the falls seen, give or take the margin."""
        changes = gaps_and_skips(segments)
        falls = [-dd for _, dd in changes if dd < -64]
        skipped = music["frames_skipped"] - first_skip(music)
        events = music["underruns"] - (1 if first_skip(music) else 0)
        self.assertLessEqual(len(falls), events, changes)
        self.assertLessEqual(sum(falls), skipped + 64, changes)
        self.assertLessEqual(skipped, sum(g for g, _ in changes) + sum(falls) + MARGIN + DEVICE_FRAMES,
                             changes)
        return falls

    def play_loaded(self, driver, seconds):
        pw = self.pipewire()
        rec, path = self.record(pw, "pw.raw")
        stress = start_group(STRESS_CPU, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(end_group, stress)
        proc = self.start_show(pw, driver)
        self.wait_music(path, seconds, proc)
        end_group(stress)
        music = self.escape_and_report(proc)
        end_group(rec)
        if music["rate"] == 0:
            self.skipTest("SDL's %s driver opened no device here" % driver)
        # Under processor load PipeWire's pulse server once recorded 1024 frames, one of its
        # cycles, that are not the music (the program hands over only the decode or silence).
        segments = self.read(path, altered=2 * PIPEWIRE_QUANTUM)
        gaps = gaps_and_skips(segments)
        lag = self.check_in_step_at_the_end(music)
        drift = segments[-1][2] - segments[0][2]
        print("%s under load: %d gaps (%d frames of silence), %d frames skipped in %d "
              "underruns, recording drift %d frames, lag at the end %.1f ms, out of step: %s"
              % (driver, len(gaps), sum(g for g, _ in gaps), music["frames_skipped"],
                 music["underruns"], drift, 1000 * lag / self.rate,
                 out_of_step(segments, self.rate)))
        check_in_step(self, segments, self.rate, music["frames_skipped"],
                      DEVICE_LEAD_FRAMES * max(1, music["underruns"]))
        self.check_counts_agree(segments, music)

    def test_pipewire_pulse_under_load_keeps_the_music_with_the_picture(self):
        self.play_loaded("pulseaudio", 40)

    def test_pipewire_driver_under_load_keeps_the_music_with_the_picture(self):
        self.play_loaded("pipewire", 20)

    def test_server_killed_mid_show_then_started_again(self):
        pw = self.pipewire()
        rec, path = self.record(pw, "before.raw")
        proc = self.start_show(pw)
        self.wait_music(path, 3, proc)
        pw.stop()
        time.sleep(4)
        self.assertIsNone(proc.poll(), "the show ended with its sound server")
        self.assertTrue(pw.start(), pw.problem)
        rec, path = self.record(pw, "after.raw")
        self.wait_music(path, 4, proc)
        music = self.escape_and_report(proc)
        end_group(rec)
        self.assertGreaterEqual(music["devices_lost"], 1, music)
        self.assertEqual(music["devices_reopened"], music["devices_lost"], music)
        self.read(path)
        self.check_in_step_at_the_end(music)

    def test_server_killed_for_good_the_show_ends_silently_with_0(self):
        pw = self.pipewire()
        proc = self.start_show(pw)
        time.sleep(3)
        pw.stop()
        time.sleep(3)
        music = self.escape_and_report(proc)
        self.assertGreaterEqual(music["devices_lost"], 1, music)
        self.assertEqual(music["devices_reopened"], 0, music)
        self.assertIsNone(music["offset_frames"], "a lag reported for a lost device")

    def test_suspended_for_10_s_the_music_comes_back_in_step(self):
        pw = self.pipewire()
        rec, path = self.record(pw, "stop.raw")
        proc = self.start_show(pw)
        self.wait_music(path, 3, proc)
        os.killpg(proc.pid, signal.SIGSTOP)
        time.sleep(10)
        os.killpg(proc.pid, signal.SIGCONT)
        back = music_frames_written(path)
        self.wait_music(path, back / self.rate + 4, proc)
        music = self.escape_and_report(proc)
        end_group(rec)
        self.assertGreaterEqual(music["underruns"], 1, music)
        self.assertGreaterEqual(music["frames_skipped"], 9 * self.rate, music)
        segments = self.read(path)
        # Across the stop the music moved on with the clock: after the silence (and what
        # the server still held from before the stop) it is back where it began.
        print("after the suspend: out of step %s" % out_of_step(segments, self.rate))
        check_in_step(self, segments, self.rate)
        self.check_in_step_at_the_end(music)
        self.check_counts_agree(segments, music)

    def stopped_for_moments(self, server):
        """Stops the program for 0.1 to 1 s four times (the server runs dry meanwhile) and
        reads the recording: after each the music must be back where the clock says."""
        rec, path = self.record(server, "moments.raw")
        proc = self.start_show(server)
        self.wait_music(path, 2, proc)
        for seconds in (0.2, 0.5, 1.0, 0.1):
            os.killpg(proc.pid, signal.SIGSTOP)
            time.sleep(seconds)
            os.killpg(proc.pid, signal.SIGCONT)
            time.sleep(3.5)
        music = self.escape_and_report(proc)
        end_group(rec)
        segments = self.read(path)
        d0 = segments[0][2]
        print("stopped four times: %d frames skipped in %d underruns; offsets from the first "
              "run %s; out of step %s" % (music["frames_skipped"], music["underruns"],
                                          [d - d0 for _, _, d in segments],
                                          out_of_step(segments, self.rate)))
        self.assertGreaterEqual(music["underruns"], 4, music)
        check_in_step(self, segments, self.rate)

    def test_stopped_for_moments_pipewire_keeps_the_music_with_the_picture(self):
        self.stopped_for_moments(self.pipewire())

    def test_stopped_for_moments_pulseaudio_keeps_the_music_with_the_picture(self):
        pulse = PrivatePulse(self.tmp, self.rate)
        self.addCleanup(pulse.close)
        if pulse.problem:
            self.skipTest(pulse.problem)
        self.stopped_for_moments(pulse)

    def test_a_second_run_on_the_same_pulseaudio_server_is_in_step_from_the_start(self):
        pulse = PrivatePulse(self.tmp, self.rate)
        self.addCleanup(pulse.close)
        if pulse.problem:
            self.skipTest(pulse.problem)
        for run in (1, 2):
            rec, path = self.record(pulse, "run%d.raw" % run)
            proc = self.start_show(pulse)
            self.wait_music(path, 3, proc)
            self.assertTrue(harness.send_escape(proc), "could not send Escape")
            status, _, err = harness.finish(proc)
            self.assertEqual(status, 0, err[-2000:])
            startup, music = report_of(err)["startup"], report_of(err)["music"]
            end_group(rec)
            segments = self.read(path)
            lag = self.check_in_step_at_the_end(music)
            print("run %d: the first frame waited %.0f ms for the first request (%s), lag at "
                  "the end %.1f ms, %d frames skipped"
                  % (run, startup["sound_wait_ms"], startup["sound_request"],
                     1000 * lag / self.rate, music["frames_skipped"]))
            # However late the server first asked (within the wait), the opening is heard.
            if startup["sound_request"] == "answered":
                self.assertEqual(segments[0][0] - segments[0][2], self.first_sound, segments[:3])


if __name__ == "__main__":
    harness.main_needing_display()
