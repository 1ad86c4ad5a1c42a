"""A small DevTools-protocol client for Debian's chromium, and a static server for the page.

The browser runs headless with WebGL 2 on the processor (SwiftShader) and speaks the
protocol over a pipe (its file descriptors 3 and 4: JSON messages ended by a NUL byte), so
no port is opened and no websocket library is needed. Nothing here downloads a browser."""
import base64
import functools
import http.server
import json
import os
import queue
import shutil
import signal
import subprocess
import tempfile
import threading
import time

CHROMIUM = os.environ.get("QUORL_CHROMIUM") or shutil.which("chromium") or "/usr/bin/chromium"
FLAGS = [
    "--headless=new", "--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--no-first-run", "--no-default-browser-check", "--disable-extensions", "--mute-audio",
    # A hidden or idle headless page must still get its animation frames and timers.
    "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
    "--disable-backgrounding-occluded-windows",
]


class ProtocolError(Exception):
    pass


class Browser:
    """One headless chromium with a fresh profile, ended (by its process group) on close.
    `flags` are added to the usual ones."""

    engine = "chromium"

    def __init__(self, width=1280, height=720, flags=()):
        self.profile = tempfile.mkdtemp(prefix="quorl-chromium-")
        self.log = tempfile.TemporaryFile(mode="w+")  # the browser's own messages
        to_browser_r, self._to_browser = os.pipe()
        self._from_browser, from_browser_w = os.pipe()
        # The shell puts the two pipe ends at descriptors 3 and 4, where the browser looks
        # (bash: dash takes no descriptor above 9, which a busy test process has).
        command = 'exec "$0" "$@" 3<&%d 4>&%d' % (to_browser_r, from_browser_w)
        self.proc = subprocess.Popen(
            ["bash", "-c", command, CHROMIUM, *FLAGS, "--remote-debugging-pipe",
             "--user-data-dir=" + self.profile, "--window-size=%d,%d" % (width, height),
             *flags, "about:blank"],
            pass_fds=(to_browser_r, from_browser_w), stdin=subprocess.DEVNULL,
            stdout=self.log, stderr=self.log, start_new_session=True)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self._next_id = 0
        self._lock = threading.Lock()
        self._replies = {}
        self._reply_ready = threading.Condition()
        self.events = queue.Queue()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        buffer = b""
        while True:
            try:
                chunk = os.read(self._from_browser, 1 << 16)
            except OSError:
                chunk = b""
            if not chunk:
                with self._reply_ready:
                    self._replies[None] = "closed"
                    self._reply_ready.notify_all()
                return
            buffer += chunk
            while b"\0" in buffer:
                raw, buffer = buffer.split(b"\0", 1)
                message = json.loads(raw)
                if "id" in message:
                    with self._reply_ready:
                        self._replies[message["id"]] = message
                        self._reply_ready.notify_all()
                else:
                    self.events.put(message)

    def send(self, method, params=None, session=None, timeout=60):
        with self._lock:
            self._next_id += 1
            ident = self._next_id
        message = {"id": ident, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self._to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        with self._reply_ready:
            while ident not in self._replies:
                if None in self._replies:
                    self.log.seek(0)
                    raise ProtocolError("the browser went away during %s: %s" %
                                        (method, self.log.read()[-1500:]))
                left = deadline - time.monotonic()
                if left <= 0:
                    raise ProtocolError("%s: no answer in %d s" % (method, timeout))
                self._reply_ready.wait(left)
            reply = self._replies.pop(ident)
        if "error" in reply:
            raise ProtocolError("%s: %s" % (method, reply["error"]))
        return reply.get("result", {})

    def new_page(self, width, height, init_script=None):
        target = self.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = self.send("Target.attachToTarget",
                            {"targetId": target, "flatten": True})["sessionId"]
        return Page(self, session, width, height, init_script)

    def close(self):
        try:
            self.send("Browser.close", timeout=10)
        except (ProtocolError, OSError):
            pass
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            pass
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass
        self.proc.wait()
        for fd in (self._to_browser, self._from_browser):
            try:
                os.close(fd)
            except OSError:
                pass
        self.log.close()
        shutil.rmtree(self.profile, ignore_errors=True)


class Page:
    """A tab of exactly width x height CSS pixels at one device pixel each. `init_script`
    runs in every document it loads, before the page's own scripts."""

    def __init__(self, browser, session, width, height, init_script=None):
        self.browser = browser
        self.session = session
        self.console = []  # (type, text) of every console call and uncaught exception
        for domain in ("Page", "Runtime"):
            self.send(domain + ".enable")
        if init_script:
            self.send("Page.addScriptToEvaluateOnNewDocument", {"source": init_script})
        self.width, self.height = width, height
        self.set_density(1)
        self.send("Emulation.setFocusEmulationEnabled", {"enabled": True})

    def set_density(self, density):
        self.send("Emulation.setDeviceMetricsOverride",
                  {"width": self.width, "height": self.height, "deviceScaleFactor": density,
                   "mobile": False})

    def close(self):
        self.send("Page.close")

    def send(self, method, params=None, timeout=60):
        return self.browser.send(method, params, session=self.session, timeout=timeout)

    def drain_events(self):
        while True:
            try:
                event = self.browser.events.get_nowait()
            except queue.Empty:
                return
            if event.get("sessionId") != self.session:
                continue
            params = event.get("params", {})
            if event["method"] == "Runtime.consoleAPICalled":
                text = " ".join(str(a.get("value", a.get("description", "")))
                                for a in params.get("args", []))
                self.console.append((params.get("type"), text))
            elif event["method"] == "Runtime.exceptionThrown":
                details = params.get("exceptionDetails", {})
                self.console.append(("exception", details.get("exception", {}).get(
                    "description", details.get("text", ""))))

    def navigate(self, url):
        self.send("Page.navigate", {"url": url})

    def evaluate(self, expression, timeout=60):
        result = self.send("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": True}, timeout=timeout)
        if "exceptionDetails" in result:
            raise ProtocolError("%s: %s" % (expression, result["exceptionDetails"]))
        return result.get("result", {}).get("value")

    def wait_for(self, expression, timeout, poll=0.1):
        """Polls until `expression` is truthy; returns its value, or raises on the timeout.
        Until the page's scripts have run, the names it reads may not exist yet."""
        deadline = time.monotonic() + timeout
        last_error = None
        while True:
            try:
                value = self.evaluate(expression)
            except ProtocolError as e:
                value, last_error = None, e
            self.drain_events()
            if value:
                return value
            if time.monotonic() > deadline:
                raise TimeoutError("%s stayed false for %d s (%s); console: %s" %
                                   (expression, timeout, last_error, self.console[-10:]))
            time.sleep(poll)

    def click(self, x, y):
        for kind in ("mousePressed", "mouseReleased"):
            self.send("Input.dispatchMouseEvent", {"type": kind, "x": x, "y": y,
                                                   "button": "left", "clickCount": 1})

    def tap(self, x, y):
        self.send("Emulation.setTouchEmulationEnabled", {"enabled": True, "maxTouchPoints": 1})
        for kind, points in (("touchStart", [{"x": x, "y": y}]), ("touchEnd", [])):
            self.send("Input.dispatchTouchEvent", {"type": kind, "touchPoints": points})

    def key(self, name):
        code = {"Escape": 27, "a": 65}[name]
        for kind in ("rawKeyDown", "keyUp"):
            self.send("Input.dispatchKeyEvent", {"type": kind, "key": name,
                                                 "code": "Key" + name.upper() if len(name) == 1
                                                 else name, "windowsVirtualKeyCode": code})

    def screenshot(self):
        """The page as shown, a PNG file's bytes."""
        data = self.send("Page.captureScreenshot", {"format": "png"})["data"]
        return base64.b64decode(data)


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                          **{".wasm": "application/wasm", ".js": "text/javascript",
                             ".data": "application/octet-stream"})

    def log_message(self, *args):
        pass

    def log_request(self, code="-", size="-"):
        self.server.requests.append((self.path, int(code)))


class StaticServer:
    """Serves a folder on 127.0.0.1 at a free port, as any static host would; `requests`
    lists (path, status) of every request answered."""

    def __init__(self, folder):
        handler = functools.partial(QuietHandler, directory=folder)
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.httpd.requests = []
        self.requests = self.httpd.requests
        self.url = "http://127.0.0.1:%d/" % self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()
