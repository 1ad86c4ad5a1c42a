"""The show in a browser: the page built by web/build.sh, served by a local static server and
played in Debian's chromium (headless, WebGL 2 on SwiftShader) and firefox-esr (in a window
on the virtual display, WebGL 2 on llvmpipe), against the desktop build.

Environment: see engines.py; tests/web/run.sh sets it and runs this under a virtual display
(the desktop program's music is recorded from a real run)."""
import array
import base64
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from engines import CAPTURE, REPO, EngineTests, engine_cases, frames
import harness  # noqa: E402
import pngread  # noqa: E402

# The stills: a picture, an intertitle, the star tunnel, the metaballs, the textured cube
# and the Mandelbrot zoom, at a wide size so the film is pillarboxed as on most screens.
STILL_TIMES = [46.0, 11.0, 36.0, 61.0, 81.0, 101.5]
STILL_W, STILL_H = 640, 360
# Two rasterisers (llvmpipe, SwiftShader) may round a texel lookup or a blend differently,
# and the page clamps the pictures the desktop clamps to their border (GL_CLAMP) to their
# edge instead. Each channel may differ by up to PIXEL_TOLERANCE levels of 255; up to
# OUTLIER_SHARE of the pixels (a texel's edge landing on the other side) may differ more.
# A wrong scene, a missing texture or a shifted picture changes most pixels by far more.
PIXEL_TOLERANCE = 12
OUTLIER_SHARE = 0.005

RATE = 44100
LEAD_IN = 16384        # frames of silence from the resume: the half not yet refilled
CHECK_FRAMES = 10 * RATE
# The page's libvorbis is the same source built for WebAssembly with another C library,
# whose cos() and sin() (the transform's tables) may differ from glibc's in the last bit:
# the samples then differ by a few units in their last place. A frame off, a half played
# twice or as silence, or a channel swapped differs by far more.
SAMPLE_TOLERANCE = 1e-6
TAP = "window.quorlTapAudio = true;"  # the page keeps what it hands Web Audio
TAPPED = "quorlPage.audioTap.reduce((n, b) => n + b.length, 0)"


class ShowTests(EngineTests):
    def ended(self, page, timeout):
        return page.wait_for("quorlPage.endCode !== null && String(quorlPage.endCode)", timeout)

    def test_click_starts_frames_that_run_to_the_end_and_the_music_stops(self):
        page = self.open("?speed=10")
        self.start(page)
        page.wait_for("Module._quorl_frames_drawn() > 5", 60)
        page.evaluate("window.heard = Module.quorlAudio && Module.quorlAudio.context, true")
        self.assertEqual(self.ended(page, 120), "0")
        count = frames(page)
        self.assertGreater(count, 20)
        self.assertTrue(page.evaluate(
            "!document.getElementById('ended').classList.contains('hidden')"))
        # The loop and the music have stopped: no frame after the end, the context closed.
        time.sleep(0.5)
        self.assertEqual(frames(page), count)
        self.assertEqual(page.evaluate("Module.quorlAudio"), None)
        self.assertEqual(page.wait_for("window.heard && window.heard.state === 'closed'", 5),
                         True)
        load = page.evaluate("quorlPage.firstFrameAt")
        print("\n%s: load to first frame %.0f ms, %d frames for 131 s at 10x" %
              (self.engine, load, count))

    def test_escape_stops_picture_and_music_and_play_again_starts_the_music_over(self):
        page = self.open(init_script=TAP)
        self.start(page)
        page.evaluate("window.heard = Module.quorlAudio.context, true")
        time.sleep(3)
        first_run = samples_from_page(page)
        page.key("Escape")
        self.assertEqual(self.ended(page, 30), "0")
        self.assertTrue(page.evaluate(
            "!document.getElementById('ended').classList.contains('hidden')"))
        page.wait_for("window.heard.state === 'closed'", 5)
        after_escape = page.evaluate(TAPPED)
        time.sleep(1.5)  # several callbacks' worth at 4096 frames each
        self.assertEqual(page.evaluate(TAPPED), after_escape,
                         "samples were handed over after the show ended")
        if not first_run:
            self.skipTest("%s handed no samples to its audio context (no sound device): "
                          "the music of \"Play again\" is not compared" % self.engine)
        # "Play again": a new show whose music begins as the first one's did.
        page.evaluate("window.oldPage = true")
        page.click(320, 180)
        page.wait_for("!window.oldPage && quorlPage.firstFrameAt !== null", 120)
        time.sleep(0.5)
        if page.evaluate("quorlPage.startedAt === null"):
            print("\n%s: \"Play again\" asked for a new click for the sound" % self.engine)
            page.click(320, 180)
        page.wait_for("quorlPage.startedAt !== null", 10)
        page.wait_for(TAPPED + " > %d" % (2 * (LEAD_IN + RATE)), 30)
        again = samples_from_page(page)
        page.key("Escape")
        a, b = first_sound(first_run), first_sound(again)
        n = RATE  # half a second, both channels
        self.assertGreaterEqual(min(len(first_run) - a, len(again) - b), n)
        worst = max(abs(x - y) for x, y in zip(first_run[a:a + n], again[b:b + n]))
        self.assertLessEqual(worst, SAMPLE_TOLERANCE, "the second show's music began elsewhere")

    def test_escape_before_the_click_is_not_an_escape(self):
        page = self.open()
        page.wait_for("quorlPage.firstFrameAt !== null", 120)
        page.key("Escape")
        time.sleep(1)
        self.start(page)
        page.wait_for("Module._quorl_frames_drawn() > 3", 60)
        before = frames(page)
        time.sleep(5)
        self.assertIsNone(page.evaluate("quorlPage.endCode"))
        self.assertGreater(frames(page), before + 10)

    def test_a_lost_webgl_context_ends_picture_and_music_under_its_card(self):
        page = self.open(init_script=TAP)
        self.start(page)
        page.wait_for("Module._quorl_frames_drawn() > 3", 60)
        page.evaluate("window.heard = Module.quorlAudio && Module.quorlAudio.context, true")
        time.sleep(1)
        page.evaluate("Module.canvas.getContext('webgl2')"
                      ".getExtension('WEBGL_lose_context').loseContext(), true")
        self.assertEqual(self.ended(page, 30), "3")
        self.assertEqual(page.evaluate("quorlPage.failure && quorlPage.failure[0]"), "context")
        self.assertTrue(page.evaluate(
            "document.getElementById('ended').classList.contains('hidden')"),
            "\"Play again\" offered over a show that could not draw")
        count, tapped = frames(page), page.evaluate(TAPPED)
        time.sleep(1.5)  # several animation frames and sound callbacks
        self.assertEqual(frames(page), count, "frames went on after the context was lost")
        self.assertEqual(page.evaluate(TAPPED), tapped,
                         "samples were handed over after the context was lost")
        if page.evaluate("window.heard !== null"):
            page.wait_for("window.heard.state === 'closed'", 5)

    def test_the_drawing_buffer_follows_a_density_change(self):
        page = self.open("?speed=1")  # no fullscreen: the page keeps its size
        self.start(page)
        page.wait_for("Module._quorl_frames_drawn() > 3", 60)
        self.assertEqual(page.evaluate("[Module.canvas.width, Module.canvas.height]"), [640, 360])
        page.evaluate("window.before = Module._quorl_frames_drawn(), true")
        page.set_density(2)
        page.wait_for("devicePixelRatio === 2", 5, poll=0.02)
        page.evaluate("window.seen = Module._quorl_frames_drawn(), true")
        page.wait_for("Module.canvas.width === 1280 && Module.canvas.height === 720", 5, poll=0.02)
        late = page.evaluate("Module._quorl_frames_drawn() - window.seen")
        print("\n%s: the buffer followed the density within %d frames" % (self.engine, late))
        self.assertLessEqual(late, 3)
        # A density that would ask for more than 4096 pixels a side is capped there, in
        # proportion.
        page.set_density(8)
        page.wait_for("Module.canvas.width === 4096 && Module.canvas.height === 2304", 5,
                      poll=0.02)

    def test_stills_match_the_capture(self):
        out = tempfile.mkdtemp(prefix="quorl-web-stills-")
        self.addCleanup(shutil.rmtree, out, True)
        subprocess.run([CAPTURE, "--data", os.path.join(REPO, "data"),
                        "--size", "%dx%d" % (STILL_W, STILL_H),
                        "--at", ",".join("%g" % t for t in STILL_TIMES), "--out", out],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=300)
        for i, t in enumerate(STILL_TIMES):
            with self.subTest(at=t):
                page = self.open("?at=%g&size=%dx%d" % (t, STILL_W, STILL_H), STILL_W, STILL_H)
                page.wait_for("quorlPage.still", 120)
                shot = os.path.join(out, "%s%03d.png" % (self.engine, i))
                with open(shot, "wb") as f:
                    f.write(page.screenshot())
                self.assert_close(pngread.read_png(shot),
                                  pngread.read_png(os.path.join(out, "%03d.png" % i)), t)

    def assert_close(self, got, want, t):
        (gw, gh, gc, grows), (ww, wh, wc, wrows) = got, want
        self.assertEqual((gw, gh), (ww, wh))
        worst, outliers, total = 0, 0, gw * gh
        for grow, wrow in zip(grows, wrows):
            for x in range(gw):
                d = max(abs(grow[x * gc + c] - wrow[x * wc + c]) for c in range(3))
                worst = max(worst, d)
                outliers += d > PIXEL_TOLERANCE
        print("\n%s still at %g s: %.3f%% of pixels beyond %d, worst %d" %
              (self.engine, t, 100.0 * outliers / total, PIXEL_TOLERANCE, worst))
        self.assertLessEqual(outliers, OUTLIER_SHARE * total)

    def test_music_samples_equal_the_desktop_program(self):
        page = self.open(init_script=TAP)
        self.start(page)
        wanted = 2 * (LEAD_IN + CHECK_FRAMES + RATE)
        time.sleep(3)
        if page.evaluate(TAPPED) == 0:
            self.skipTest("%s handed no samples to its audio context (no sound device)" %
                          self.engine)
        page.wait_for(TAPPED + " > %d" % wanted, 90, poll=1.0)
        page.key("Escape")
        web = samples_from_page(page)
        desktop = desktop_samples(LEAD_IN + CHECK_FRAMES + RATE)
        web_start = first_sound(web)
        # From the resume: the lead-in's silent half, then the music where its decode sounds.
        self.assertGreaterEqual(web_start, 2 * LEAD_IN, "the lead-in was not silent")
        self.assertLess(web_start, 2 * (LEAD_IN + RATE), "no music in the first second")
        desk_start = first_sound(desktop)
        n = 2 * CHECK_FRAMES
        self.assertGreaterEqual(len(web) - web_start, n)
        self.assertGreaterEqual(len(desktop) - desk_start, n)
        got, want = web[web_start:web_start + n], desktop[desk_start:desk_start + n]
        worst = max(abs(a - b) for a, b in zip(got, want))
        print("\n%s music: 10 s from frame %d, largest difference %.3g" %
              (self.engine, web_start // 2, worst))
        far = next((i for i in range(n) if abs(got[i] - want[i]) > SAMPLE_TOLERANCE), None)
        if far is not None:
            self.fail("the page's samples differ from frame %d on (%r against %r)" %
                      (far // 2, got[far], want[far]))


engine_cases(ShowTests, __name__)


def first_sound(samples):
    return next(i for i, v in enumerate(samples) if v != 0.0) & ~1


def samples_from_page(page):
    """Every sample the page handed Web Audio since it loaded, as float32s."""
    encoded = page.evaluate("""(() => {
        const tap = quorlPage.audioTap;
        let n = 0;
        for (const b of tap) n += b.length;
        const all = new Float32Array(n);
        let at = 0;
        for (const b of tap) { all.set(b, at); at += b.length; }
        const bytes = new Uint8Array(all.buffer);
        let s = '';
        for (let i = 0; i < bytes.length; i += 8192)
          s += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
        return btoa(s);
    })()""", timeout=120)
    out = array.array("f")
    out.frombytes(base64.b64decode(encoded))
    return out


def desktop_samples(frames):
    """What the desktop program hands its sound device (SDL's disk driver writes exactly
    that) from its start until `frames` frames of music are written."""
    tmp = harness.make_tmpdir()
    path = os.path.join(tmp, "sound.raw")
    proc = harness.start(os.path.join(REPO, "data"),
                         {"SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": path})
    try:
        harness.expect_window(proc)
        deadline = time.monotonic() + 150
        while time.monotonic() < deadline and proc.poll() is None:
            if os.path.exists(path) and os.path.getsize(path) >= 8 * (frames + LEAD_IN * 2):
                break
            time.sleep(0.5)
    finally:
        harness.stop(proc)
    out = array.array("f")
    with open(path, "rb") as f:
        out.frombytes(f.read())
    return out


if __name__ == "__main__":
    unittest.main(verbosity=2)
