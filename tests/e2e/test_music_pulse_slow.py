"""The music through a sound server that takes audio by the clock, as hardware does, while
the machine is loaded: a private PulseAudio server (own runtime folder, real-time priority
as desktops give it) with a null sink in float32 at 44100 Hz, its monitor recorded with
parec. After the lead-in, the recording must equal the Vorbis decode bit for bit: no
dropout (silence the server inserts when the program's buffer runs dry) and no late refill.
A first callback that comes late (SDL's first one through a loaded server can come over a
second after the resume) is met by skipping the music to where the picture is, so the music
may begin later in the decode than its first sample; from where it begins it must then run
without a slip. Skipped, saying why, when the server cannot start here."""
import array
import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from sound_servers import STRESS, PrivatePulse, end_group, start_group  # noqa: E402
from test_music_disk import (MUSIC, REFERENCE, first_nonzero,  # noqa: E402
                             play_until_written, vorbis_rate)

CHECK_SECONDS = 40
LATE_START_SECONDS = 4  # the most music a late first callback may skip


def describe_slip(got, ref, frame):
    """What went wrong at `frame`: silence inserted, and how far the music moved after it."""
    gap = (len(got[8 * frame:]) - len(got[8 * frame:].lstrip(b"\0"))) // 8
    probe_at = frame + gap + 4096
    probe = got[8 * probe_at: 8 * (probe_at + 64)]
    found = ref.find(probe) if len(probe) == 8 * 64 else -1
    moved = "not found in the decode" if found < 0 or found % 8 else \
        "the music then runs %d frames late" % (probe_at - found // 8)
    return "%d frames of silence, %s" % (gap, moved)


class MusicThroughPulseUnderLoad(unittest.TestCase):
    def setUp(self):
        self.assertTrue(os.access(harness.BIN, os.X_OK), "no program at %s" % harness.BIN)
        self.assertTrue(os.access(REFERENCE, os.X_OK), "no reference decoder at %s" % REFERENCE)
        self.tmp = harness.make_tmpdir()
        self.data = harness.copy_data(self.tmp)
        self.rate = vorbis_rate(os.path.join(self.data, MUSIC))
        self.pulse = PrivatePulse(self.tmp, self.rate)
        if self.pulse.problem:
            self.skipTest(self.pulse.problem)
        self.addCleanup(self.pulse.close)

    def test_recording_after_the_lead_in_is_the_decode_bit_for_bit(self):
        self.assertIsNotNone(shutil.which("stress-ng"), "stress-ng is needed (setup.sh)")
        raw = os.path.join(self.tmp, "rec.raw")
        rec = self.pulse.record(raw)
        self.addCleanup(end_group, rec)
        stress = start_group(STRESS, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(end_group, stress)
        want = CHECK_SECONDS * self.rate
        proc = harness.start(self.data, {"SDL_AUDIODRIVER": "pulseaudio",
                                         "PULSE_SERVER": self.pulse.env["PULSE_SERVER"]})
        try:
            play_until_written(self, proc, raw, want + self.rate,
                               also_running=[(stress, "the load ended early")])
        finally:
            end_group(stress)
            end_group(rec)

        out = array.array("f")
        with open(raw, "rb") as f:
            data = f.read()
        out.frombytes(data[: len(data) // 8 * 8])
        spare = LATE_START_SECONDS * self.rate
        ref_bytes = subprocess.run([REFERENCE, os.path.join(self.data, MUSIC),
                                    str(want + spare)], capture_output=True, check=True).stdout
        ref = array.array("f")
        ref.frombytes(ref_bytes)
        out_first = first_nonzero(out)
        ref_first = first_nonzero(ref)
        self.assertIsNotNone(out_first, "the server recorded only silence")
        self.assertEqual((out_first - ref_first) % 2, 0, "left and right are swapped")
        # Where the recorded music begins in the decode: its first sample, or later when a
        # late first callback was met by a skip.
        begin = out_first // 2
        probe = out[2 * begin: 2 * (begin + 64)].tobytes()
        found = ref_bytes.find(probe)
        while found >= 0 and found % 8:
            found = ref_bytes.find(probe, found + 1)
        self.assertGreaterEqual(found, 0, "the recorded music is not found in the first %d s "
                                "of the decode" % (CHECK_SECONDS + LATE_START_SECONDS))
        print("the music began %d frames into the decode (%d skipped at the start)"
              % (found // 8, found // 8 - ref_first // 2))
        played = len(out) // 2 - begin
        self.assertGreaterEqual(played, want, "only %.2f s of music were recorded"
                                % (played / self.rate))
        got = out[2 * begin: 2 * (begin + want)].tobytes()
        ref_part = ref_bytes[found: found + 8 * want]
        if got != ref_part:
            frame = next(i for i in range(want)
                         if got[8 * i: 8 * i + 8] != ref_part[8 * i: 8 * i + 8])
            self.fail("recording differs from the decode at frame %d (%.3f s) after the music "
                      "began %d frames into the decode: %s"
                      % (frame, frame / self.rate, found // 8,
                         describe_slip(got, ref_part, frame)))


if __name__ == "__main__":
    harness.main_needing_display()
