"""The two engines the page is tested in, behind one page interface (cdp.py, bidi.py), and
what the page tests share: the built folder, broken copies of it, a test case per engine.

Environment: QUORL_WEB_SITE (the built page), QUORL_BUILD_DIR (the desktop build with
quorl and quorl-capture), QUORL_WEB_ENGINES (default "chromium,firefox")."""
import atexit
import os
import shutil
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))
import bidi  # noqa: E402
import cdp  # noqa: E402

SITE = os.environ.get("QUORL_WEB_SITE", os.path.join(REPO, "build-web", "site"))
BUILD = os.environ.get("QUORL_BUILD_DIR", os.path.join(REPO, "build"))
CAPTURE = os.path.join(BUILD, "quorl-capture")
ENGINES = os.environ.get("QUORL_WEB_ENGINES", "chromium,firefox").split(",")

# Each engine's own switch that turns WebGL off, as a viewer's settings would.
NO_WEBGL = {"chromium": {"flags": ["--disable-webgl", "--disable-webgl2"]},
            "firefox": {"prefs": {"webgl.disabled": True, "webgl.force-enabled": False}}}


def launch(engine, **options):
    if engine == "chromium":
        return cdp.Browser(flags=options.get("flags", ()))
    return bidi.Browser(prefs=options.get("prefs"))


_shared = {}


def shared_browser(engine):
    """One browser per engine for every test class of the run (a firefox takes seconds
    to start), closed when the run ends."""
    if engine not in _shared:
        _shared[engine] = launch(engine)
        atexit.register(_shared[engine].close)
    return _shared[engine]


def site_copy(tmp, change):
    """A copy of the built folder (links to its files) in which `change(folder)` may
    replace or remove files; returns the folder."""
    site = os.path.join(tmp, "site")
    os.mkdir(site)
    for name in os.listdir(SITE):
        os.symlink(os.path.join(SITE, name), os.path.join(site, name))
    change(site)
    return site


def engine_cases(mixin, module):
    """One TestCase per engine in `module` from `mixin`'s tests: ChromiumX, FirefoxX."""
    for engine in ("chromium", "firefox"):
        name = engine.capitalize() + mixin.__name__
        case = type(name, (mixin, unittest.TestCase), {"engine": engine})
        case.__module__ = module
        if engine not in ENGINES:
            case = unittest.skip("QUORL_WEB_ENGINES leaves out %s" % engine)(case)
        sys.modules[module].__dict__[name] = case


class EngineTests:
    """Shared set-up: the built folder on a local static server, one browser per class."""

    engine = None

    @classmethod
    def setUpClass(cls):
        if not os.path.isfile(os.path.join(SITE, "index.html")):
            raise unittest.SkipTest("no page in %s: run web/build.sh" % SITE)
        cls.server = cdp.StaticServer(SITE)
        cls.browser = shared_browser(cls.engine)

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def open(self, query="", width=640, height=360, server=None, init_script=None,
             browser=None):
        page = (browser or self.browser).new_page(width, height, init_script)
        page.navigate((server or self.server).url + "index.html" + query)
        self.addCleanup(page.close)
        return page

    def start(self, page, x=320, y=180):
        """Waits for the start button over the first frame and clicks it."""
        page.wait_for("quorlPage.firstFrameAt !== null", 120)
        self.assertEqual(frames(page), 1)
        self.assertEqual(page.evaluate("document.querySelector('#start button').innerText"),
                         "Click or tap to start")
        page.click(x, y)
        page.wait_for("quorlPage.startedAt !== null", 10)

    def temporary(self):
        tmp = tempfile.mkdtemp(prefix="quorl-web-")
        self.addCleanup(shutil.rmtree, tmp, True)
        return tmp


def frames(page):
    """Display frames the program drew; 0 when its code never ran."""
    return page.evaluate("(() => { try { return Module._quorl_frames_drawn(); } "
                         "catch (e) { return 0; } })()")
