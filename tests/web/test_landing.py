"""What a viewer meets before the show, in both engines: the landing at any window size, a
folder that serves with no 404, and a card with one console line for each way the page can
fail (each made on a copy of the built folder), with no frame of the show drawn."""
import os
import subprocess
import time
import unittest

from engines import (CAPTURE, NO_WEBGL, REPO, SITE, EngineTests, engine_cases, frames, launch,
                     site_copy)
import cdp

CARD = "quorlPage.failure"
CARD_TEXT = ("[...document.querySelectorAll('#boxes .box')].filter(b => !b.classList"
             ".contains('hidden')).map(b => b.querySelector('h1').textContent + ': ' + "
             "b.querySelector('p').textContent)")


def remove(name):
    return lambda site: os.remove(os.path.join(site, name))


def cut_data(site):
    path = os.path.join(site, "quorl.data")
    with open(os.path.realpath(path), "rb") as f:
        data = f.read()
    os.remove(path)
    with open(path, "wb") as f:
        f.write(data[:len(data) // 3])


def flip_a_data_byte(site):
    path = os.path.join(site, "quorl.data")
    with open(os.path.realpath(path), "rb") as f:
        data = bytearray(f.read())
    os.remove(path)
    data[len(data) // 2] ^= 0x01
    with open(path, "wb") as f:
        f.write(data)


def garbage_wasm(site):
    path = os.path.join(site, "quorl.wasm")
    os.remove(path)
    with open(path, "wb") as f:
        f.write(b"\0asm\1\0\0\0" + b"\xff" * 4096)


def broken_picture(tmp):
    """A folder whose data package has an empty images/frame.jpg, and the desktop's line
    for it."""
    data = os.path.join(tmp, "data")
    subprocess.run(["cp", "-r", os.path.join(REPO, "data"), data], check=True)
    open(os.path.join(data, "images", "frame.jpg"), "wb").close()
    desktop = subprocess.run([CAPTURE, "--data", data, "--size", "64x48", "--at", "1",
                              "--out", os.path.join(tmp, "out")], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, timeout=120)
    lines = [l for l in desktop.stderr.splitlines() if l.startswith("images/frame.jpg: ")]

    def repack(site):
        for name in ("quorl.data", "quorl-data.js", "quorl-data.json"):
            os.remove(os.path.join(site, name))
        subprocess.run([os.path.join(REPO, "web", "pack-data.sh"), data, site], check=True)
    return site_copy(tmp, repack), lines


class LandingTests(EngineTests):
    def failed_page(self, site=None, url=None, browser=None, init_script=None):
        """Opens a broken copy of the folder (or `url`) and waits for the page's card."""
        if url is None:
            server = cdp.StaticServer(site)
            self.addCleanup(server.close)
            url = server.url + "index.html"
        page = (browser or self.browser).new_page(640, 360, init_script)
        self.addCleanup(page.close)
        page.navigate(url)
        page.wait_for(CARD, 120)
        return page

    def assert_card(self, page, cause, *words):
        """The card names the cause with `words`, one console line says the same, no line is
        empty and the show drew nothing."""
        got_cause, title, text = page.evaluate(CARD)
        self.assertEqual(got_cause, cause, text)
        for w in words:
            self.assertIn(w, text)
        shown = page.evaluate(CARD_TEXT)
        self.assertEqual(shown, [title + ": " + text])
        time.sleep(0.5)
        page.drain_events()
        errors = [t for kind, t in page.console if kind == "error"]
        self.assertEqual(errors.count(title + ": " + text), 1, page.console)
        self.assertNotIn("", [t.strip() for _, t in page.console])
        self.assertEqual(frames(page), 0)
        self.assertTrue(page.evaluate("document.getElementById('start').classList"
                                      ".contains('hidden')"))
        return page

    def test_failures_each_on_a_card_with_one_console_line(self):
        cases = [("data removed", remove("quorl.data"), "download", ["quorl.data", "HTTP 404"]),
                 ("data cut to a third", cut_data, "data", ["quorl.data", "bytes, not"]),
                 ("a data byte changed", flip_a_data_byte, "data", ["quorl.data", "SHA-256"]),
                 ("wasm removed", remove("quorl.wasm"), "code", ["quorl.wasm", "HTTP 404"]),
                 ("wasm broken", garbage_wasm, "code", ["quorl.wasm", "could not be compiled"])]
        for name, change, cause, words in cases:
            with self.subTest(name):
                site = site_copy(self.temporary(), change)
                self.assert_card(self.failed_page(site), cause, *words)
        with self.subTest("a data byte changed, over plain http from afar"):
            # No crypto.subtle outside secure contexts: the page's own SHA-256 checks then.
            site = site_copy(self.temporary(), flip_a_data_byte)
            page = self.failed_page(site, init_script="delete Crypto.prototype.subtle;")
            self.assert_card(page, "data", "SHA-256")
            self.assertTrue(page.evaluate("typeof quorlSha256 === 'function'"))
        with self.subTest("whole data, over plain http from afar"):
            page = self.open(init_script="delete Crypto.prototype.subtle;")
            page.wait_for("quorlPage.firstFrameAt !== null", 120)
            self.assertIsNone(page.evaluate(CARD))
        with self.subTest("opened from the disk"):
            page = self.failed_page(url="file://" + os.path.join(SITE, "index.html"))
            self.assert_card(page, "file", "web/serve.sh")

    def test_no_webgl2_names_it_and_keeps_the_program_lines_on_the_console(self):
        browser = launch(self.engine, **NO_WEBGL[self.engine])
        self.addCleanup(browser.close)
        page = self.assert_card(self.failed_page(SITE, browser=browser), "webgl2", "WebGL 2",
                                "hardware")
        # The program's own messages follow on the console, not as more cards.
        boxes = page.evaluate("quorlPage.boxes")
        self.assertGreater(len(boxes), 0)
        errors = [t for kind, t in page.console if kind == "error"]
        for caption, text in boxes:
            self.assertIn(caption + ": " + text, errors)
        self.assertEqual(page.evaluate("quorlPage.endCode"), 255)  # a failed start

    def test_a_broken_picture_shows_the_desktop_message_and_no_frame(self):
        site, line = broken_picture(self.temporary())
        self.assertEqual(len(line), 1)
        caption, text = line[0].split(": ", 1)
        server = cdp.StaticServer(site)
        self.addCleanup(server.close)
        page = self.open(server=server)
        page.wait_for("quorlPage.endCode !== null", 120)
        self.assertEqual(page.evaluate("quorlPage.endCode"), 255)  # a failed start
        self.assertEqual(page.evaluate("quorlPage.boxes"), [[caption, text]])
        self.assertEqual(page.evaluate(CARD_TEXT), [line[0]])
        page.drain_events()
        self.assertIn(("error", line[0]), page.console)
        self.assertNotIn("", [t.strip() for _, t in page.console])
        self.assertEqual(frames(page), 0)

    def test_without_web_audio_the_show_plays_silently_and_says_so(self):
        page = self.open("?speed=1", init_script="delete window.AudioContext; "
                         "delete window.webkitAudioContext;")
        self.start(page)
        page.wait_for("Module._quorl_frames_drawn() > 30", 60)
        self.assertIsNone(page.evaluate("quorlPage.endCode"))
        note = page.evaluate("document.getElementById('note')")
        self.assertIsNotNone(note)
        self.assertIn("No sound", page.evaluate("document.getElementById('note').innerText"))

    def test_the_start_button_fits_every_window_on_one_line(self):
        for width, height in ((160, 90), (320, 240), (1920, 1080)):
            with self.subTest(size="%dx%d" % (width, height)):
                page = self.open(width=width, height=height)
                page.wait_for("quorlPage.firstFrameAt !== null", 120)
                box = page.evaluate("""(() => {
                    const b = document.querySelector('#start button');
                    const label = [...b.children].find(s => s.offsetParent !== null);
                    const r = b.getBoundingClientRect(), l = label.getBoundingClientRect();
                    return {left: r.left, top: r.top, right: r.right, bottom: r.bottom,
                            spill: b.scrollWidth - b.clientWidth, lines: Math.round(
                            l.height / parseFloat(getComputedStyle(label).lineHeight === 'normal'
                              ? parseFloat(getComputedStyle(label).fontSize) * 1.15
                              : getComputedStyle(label).lineHeight)),
                            text: label.textContent, vw: innerWidth, vh: innerHeight,
                            font: parseFloat(getComputedStyle(label).fontSize)};
                })()""")
                self.assertEqual((box["vw"], box["vh"]), (width, height))
                self.assertGreaterEqual(box["left"], 0, box)
                self.assertGreaterEqual(box["top"], 0, box)
                self.assertLessEqual(box["right"], width, box)
                self.assertLessEqual(box["bottom"], height, box)
                self.assertLessEqual(box["spill"], 0, box)
                self.assertEqual(box["lines"], 1, box)
                self.assertGreaterEqual(box["font"], 12, box)  # still readable
        # A tap starts the show as a click does.
        page.tap(960, 540)
        page.wait_for("quorlPage.startedAt !== null", 10)

    def test_the_folder_serves_with_no_404_and_a_picture_for_link_previews(self):
        server = cdp.StaticServer(SITE)
        self.addCleanup(server.close)
        page = self.open(server=server)
        page.wait_for("quorlPage.firstFrameAt !== null", 120)
        page.wait_for("document.querySelector('#landing img').complete", 10)
        self.assertEqual(page.evaluate("document.querySelector('#landing img').naturalWidth"),
                         1200)
        meta = page.evaluate("Object.fromEntries([...document.querySelectorAll('meta')].map("
                             "m => [m.getAttribute('property') || m.name, m.content]))")
        self.assertEqual(meta["og:image"], "poster.png")
        self.assertEqual((meta["og:image:width"], meta["og:image:height"]), ("1200", "630"))
        self.assertEqual(meta["twitter:card"], "summary_large_image")
        self.assertIn("2 min 11 s", meta["description"])
        for icon in ("favicon.ico", "apple-touch-icon.png", "poster.png"):
            with open(os.path.join(SITE, icon), "rb") as f:
                head = f.read(8)
            self.assertIn(head[:4], (b"\x00\x00\x01\x00", b"\x89PNG"), icon)
        self.assertEqual(page.evaluate("fetch('favicon.ico').then(r => r.status)"), 200)
        time.sleep(1)
        missing = [r for r in server.requests if r[1] >= 400]
        self.assertEqual(missing, [])
        self.assertIn("/index.html", [path for path, _ in server.requests])


engine_cases(LandingTests, __name__)

if __name__ == "__main__":
    unittest.main(verbosity=2)
