"""The show in a browser: the page built by web/build.sh, served by a local static server and
played by Debian's headless chromium (WebGL 2 on SwiftShader), against the desktop build.

Environment: QUORL_WEB_SITE (the built page), QUORL_BUILD_DIR (the desktop build with
quorl and quorl-capture); tests/web/run.sh sets both and runs this under a virtual display
(the desktop program's music is recorded from a real run)."""
import array
import base64
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))
import cdp  # noqa: E402
import harness  # noqa: E402
import pngread  # noqa: E402

SITE = os.environ.get("QUORL_WEB_SITE", os.path.join(REPO, "build-web", "site"))
BUILD = os.environ.get("QUORL_BUILD_DIR", os.path.join(REPO, "build"))
CAPTURE = os.path.join(BUILD, "quorl-capture")

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


def broken_site(tmp):
    """The page with a data package whose images/frame.jpg is empty."""
    data = os.path.join(tmp, "data")
    shutil.copytree(os.path.join(REPO, "data"), data)
    open(os.path.join(data, "images", "frame.jpg"), "wb").close()
    site = os.path.join(tmp, "site")
    os.mkdir(site)
    for name in os.listdir(SITE):
        if not name.startswith("quorl-data") and name != "quorl.data":
            os.symlink(os.path.join(SITE, name), os.path.join(site, name))
    subprocess.run([os.path.join(REPO, "web", "pack-data.sh"), data, site], check=True)
    return data, site


class PageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.isfile(os.path.join(SITE, "index.html")):
            raise unittest.SkipTest("no page in %s: run web/build.sh" % SITE)
        cls.server = cdp.StaticServer(SITE)
        cls.browser = cdp.Browser()

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()
        cls.server.close()

    def open(self, query="", width=640, height=360, server=None):
        page = self.browser.new_page(width, height)
        page.navigate((server or self.server).url + "index.html" + query)
        self.addCleanup(page.send, "Page.close")
        return page

    def start(self, page):
        """Waits for "Click to start" over the first frame and clicks it."""
        page.wait_for("quorlPage.firstFrameAt !== null", 120)
        self.assertEqual(page.evaluate("Module._quorl_frames_drawn()"), 1)
        self.assertFalse(page.evaluate("document.getElementById('start').hidden"))
        self.assertEqual(page.evaluate(
            "document.querySelector('#start button').textContent"), "Click to start")
        page.click(320, 180)
        page.wait_for("quorlPage.startedAt !== null", 10)

    def test_click_starts_frames_that_run_to_the_end(self):
        page = self.open("?speed=10")
        self.start(page)
        page.wait_for("Module._quorl_frames_drawn() > 5", 60)
        code = page.wait_for("quorlPage.endCode !== null && String(quorlPage.endCode)", 120)
        self.assertEqual(code, "0")
        frames = page.evaluate("Module._quorl_frames_drawn()")
        self.assertGreater(frames, 20)
        self.assertTrue(page.evaluate(
            "!document.getElementById('ended').classList.contains('hidden')"))
        # The loop has stopped: no frame after the end.
        time.sleep(0.5)
        self.assertEqual(page.evaluate("Module._quorl_frames_drawn()"), frames)
        load = page.evaluate("quorlPage.firstFrameAt")
        print("\nweb: load to first frame %.0f ms, %d frames for 131 s at 10x" % (load, frames))

    def test_escape_ends_the_show_early(self):
        page = self.open()
        self.start(page)
        page.wait_for("Module._quorl_frames_drawn() > 3", 60)
        page.key("Escape", "Escape", 27)
        code = page.wait_for("quorlPage.endCode !== null && String(quorlPage.endCode)", 30)
        self.assertEqual(code, "0")
        self.assertLess(page.evaluate("performance.now() - quorlPage.startedAt"), 60000)

    def test_a_broken_picture_shows_the_desktop_message_and_no_frame(self):
        tmp = tempfile.mkdtemp(prefix="quorl-web-")
        self.addCleanup(shutil.rmtree, tmp, True)
        data, site = broken_site(tmp)
        desktop = subprocess.run([CAPTURE, "--data", data, "--size", "64x48", "--at", "1",
                                  "--out", os.path.join(tmp, "out")],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                 timeout=120)
        line = [l for l in desktop.stderr.splitlines() if l.startswith("images/frame.jpg: ")]
        self.assertEqual(len(line), 1, desktop.stderr)
        caption, text = line[0].split(": ", 1)
        server = cdp.StaticServer(site)
        self.addCleanup(server.close)
        page = self.open(server=server)
        code = page.wait_for("quorlPage.endCode !== null && String(quorlPage.endCode)", 120)
        self.assertEqual(code, "-1")
        self.assertEqual(page.evaluate("quorlPage.boxes"), [[caption, text]])
        self.assertEqual(page.evaluate("document.querySelector('#boxes .box p').textContent"),
                         text)
        page.drain_events()
        self.assertIn(("error", line[0]), page.console)
        self.assertEqual(page.evaluate("Module._quorl_frames_drawn()"), 0)
        self.assertTrue(page.evaluate("document.getElementById('start').classList"
                                      ".contains('hidden')"))

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
                shot = os.path.join(out, "page%03d.png" % i)
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
        print("\nweb still at %g s: %.3f%% of pixels beyond %d, worst %d" %
              (t, 100.0 * outliers / total, PIXEL_TOLERANCE, worst))
        self.assertLessEqual(outliers, OUTLIER_SHARE * total)

    def test_music_samples_equal_the_desktop_program(self):
        page = self.open()
        page.wait_for("quorlPage.firstFrameAt !== null", 120)
        page.evaluate("Module.quorlAudioTap = []")
        self.start(page)
        wanted = 2 * (LEAD_IN + CHECK_FRAMES + RATE)
        page.wait_for("Module.quorlAudioTap.reduce((n, b) => n + b.length, 0) > %d" % wanted, 90,
                      poll=1.0)
        page.key("Escape", "Escape", 27)
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
        print("\nweb music: 10 s from frame %d, largest difference %.3g" %
              (web_start // 2, worst))
        far = next((i for i in range(n) if abs(got[i] - want[i]) > SAMPLE_TOLERANCE), None)
        if far is not None:
            self.fail("the page's samples differ from frame %d on (%r against %r)" %
                      (far // 2, got[far], want[far]))


def first_sound(samples):
    return next(i for i, v in enumerate(samples) if v != 0.0) & ~1


def samples_from_page(page):
    """Every sample the page handed Web Audio since the tap was set, as float32s."""
    encoded = page.evaluate("""(() => {
        const tap = Module.quorlAudioTap;
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
