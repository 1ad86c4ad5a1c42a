"""The music end to end: the real program plays to SDL's disk audio driver, and the file it
writes must be silence until the resume, 16384 frames of lead-in silence, then the Vorbis
decode of the music bit for bit for at least 10 s. A missing or undecodable music file gives
"Sound error." and exit status 255."""
import array
import os
import shutil
import struct
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

MUSIC = "music/BrenlowickpianoRoll-ChineseBlues1916.ogg"
LEAD_IN = 16384       # frames of silence after the resume (the half not yet refilled)
DEVICE_FRAMES = 4096  # the device buffer: silence while paused comes in whole buffers
CHECK_SECONDS = 10
WRITE_TIMEOUT = 150   # seconds; a loaded machine writes the same file, only later
REFERENCE = os.path.join(harness.BUILD, "tests", "quorl_vorbis_frames")


def vorbis_rate(path):
    """The sample rate from the Vorbis identification header."""
    with open(path, "rb") as f:
        head = f.read(4096)
    at = head.find(b"\x01vorbis")
    if at < 0:
        raise AssertionError("%s has no Vorbis identification header" % path)
    return struct.unpack_from("<I", head, at + 7 + 4 + 1)[0]


def music_frames_written(path):
    """Frames written from the first sounding sample on (0 before it), read cheaply."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return 0
    sounding = len(data.lstrip(b"\0"))
    return sounding // 8


def play_until_written(test, proc, path, frames, also_running=()):
    """Lets the program play until `frames` frames of music are in `path`, waiting for what
    was written, not for a time (a loaded machine writes the same, only later); then ends
    it with Escape, and it must exit with 0. `also_running`: (process, message) pairs that
    must still run then."""
    try:
        harness.expect_window(proc)
        deadline = time.monotonic() + WRITE_TIMEOUT
        while (music_frames_written(path) < frames and time.monotonic() < deadline
               and proc.poll() is None):
            time.sleep(0.5)
        for other, message in also_running:
            test.assertIsNone(other.poll(), message)
        end_with_escape(test, proc)
    finally:
        harness.stop(proc)


def end_with_escape(test, proc):
    """The program, still running, ends on Escape with status 0."""
    test.assertIsNone(proc.poll(), "the program ended early")
    test.assertTrue(harness.send_escape(proc), "could not send Escape")
    status, _, err = harness.finish(proc)
    test.assertEqual(status, 0, err)


def first_nonzero(samples):
    for i, s in enumerate(samples):
        if s != 0.0:
            return i
    return None


class MusicOnDisk(unittest.TestCase):
    def setUp(self):
        # Fail, never skip, when the data or the program is missing: this test is the proof.
        for rel in (MUSIC, "shaders/projector.fs", "images/frame.jpg", "3d/cube.obj"):
            self.assertTrue(os.path.isfile(os.path.join(harness.REPO, "data", rel)),
                            "data/%s is missing" % rel)
        self.assertTrue(os.access(harness.BIN, os.X_OK), "no program at %s" % harness.BIN)
        self.tmp = harness.make_tmpdir()
        self.data = harness.copy_data(self.tmp)

    def tearDown(self):
        shutil.rmtree(self.tmp, ignore_errors=True)

    def test_plays_lead_in_then_the_decode_bit_for_bit(self):
        self.assertTrue(os.access(REFERENCE, os.X_OK), "no reference decoder at %s" % REFERENCE)
        raw = os.path.join(self.tmp, "out.raw")
        proc = harness.start(self.data, {"SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": raw})
        rate = vorbis_rate(os.path.join(self.data, MUSIC))
        # A small margin covers the decode's own quiet first samples.
        play_until_written(self, proc, raw, (CHECK_SECONDS + 1) * rate)

        out = array.array("f")
        with open(raw, "rb") as f:
            out.frombytes(f.read())
        self.assertEqual(len(out) % 2, 0)
        want = CHECK_SECONDS * rate
        ref_bytes = subprocess.run([REFERENCE, os.path.join(self.data, MUSIC), str(want)],
                                   capture_output=True, check=True).stdout
        self.assertEqual(len(ref_bytes), want * 8)
        ref = array.array("f")
        ref.frombytes(ref_bytes)

        out_first = first_nonzero(out)
        ref_first = first_nonzero(ref)
        self.assertIsNotNone(out_first, "the device wrote only silence")
        self.assertIsNotNone(ref_first)
        self.assertEqual((out_first - ref_first) % 2, 0, "left and right are swapped")
        start = (out_first - ref_first) // 2  # frame at which the music's first frame sounds
        self.assertGreaterEqual(start, LEAD_IN, "the music started before the lead-in ended")
        self.assertEqual((start - LEAD_IN) % DEVICE_FRAMES, 0,
                         "the lead-in after the resume is not 16384 frames")
        played = len(out) // 2 - start
        self.assertGreaterEqual(played, want, "only %.2f s of music were written"
                                % (played / rate))
        got = out[2 * start: 2 * (start + want)].tobytes()
        if got != ref_bytes:
            frame = next(i for i in range(want)
                         if got[8 * i: 8 * i + 8] != ref_bytes[8 * i: 8 * i + 8])
            self.fail("music differs from the decode at frame %d (%.3f s)" % (frame, frame / rate))

    def test_missing_music_file_is_a_sound_error(self):
        os.remove(os.path.join(self.data, MUSIC))
        harness.expect_box_and_exit(self.data, "Error", "Sound error.")

    def test_file_that_is_not_ogg_vorbis_is_a_sound_error(self):
        with open(os.path.join(self.data, MUSIC), "wb") as f:
            f.write(b"OggS\x00\x02" + b"not a vorbis stream, only words " * 64)
        harness.expect_box_and_exit(self.data, "Error", "Sound error.")


if __name__ == "__main__":
    harness.main_needing_display()
