"""A small WebDriver BiDi client for Debian's firefox-esr, with the page interface of cdp.py.

Firefox has no WebGL 2 headless: it runs in a window on the X display the tests run under
(tests/web/run.sh starts Xvfb), drawing with Mesa's llvmpipe (LIBGL_ALWAYS_SOFTWARE=1).
The protocol is JSON over a websocket; the few lines of websocket framing a client needs
are here, so no library is installed. Nothing here downloads a browser."""
import base64
import json
import os
import queue
import re
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import threading
import time

import cdp
import sound_servers

FIREFOX = os.environ.get("QUORL_FIREFOX") or shutil.which("firefox-esr") or "/usr/bin/firefox-esr"
# A fresh profile that starts quietly: no first-run pages, updates, telemetry or checks
# that reach the network.
PREFS = {
    "browser.shell.checkDefaultBrowser": False,
    "browser.startup.homepage_override.mstone": "ignore",
    "browser.startup.page": 0,
    "browser.aboutwelcome.enabled": False,
    "browser.tabs.warnOnClose": False,
    "browser.sessionstore.resume_from_crash": False,
    "browser.safebrowsing.malware.enabled": False,
    "browser.safebrowsing.phishing.enabled": False,
    "browser.safebrowsing.downloads.enabled": False,
    "browser.search.update": False,
    "app.update.disabledForTesting": True,
    "app.normandy.enabled": False,
    "datareporting.policy.dataSubmissionEnabled": False,
    "datareporting.healthreport.uploadEnabled": False,
    "toolkit.telemetry.reportingpolicy.firstRun": False,
    "toolkit.startup.max_resumed_crashes": -1,
    "extensions.update.enabled": False,
    "network.captive-portal-service.enabled": False,
    "network.connectivity-service.enabled": False,
    "dom.disable_beforeunload": True,
    "remote.active-protocols": 1,  # WebDriver BiDi only
    # llvmpipe is on the WebGL blocklist of some releases; the tests want it.
    "webgl.force-enabled": True,
    # A test's page in a background window must keep its animation frames and timers.
    "dom.min_background_timeout_value": 4,
    "widget.windows.window_occlusion_tracking.enabled": False,
}
KEYS = {"Escape": "\ue00c"}


class ProtocolError(cdp.ProtocolError):
    pass


class WebSocket:
    """A websocket client's side: text frames out (masked), text frames in."""

    def __init__(self, host, port, path):
        self.sock = socket.create_connection((host, port), timeout=30)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall(("GET %s HTTP/1.1\r\nHost: %s:%d\r\nUpgrade: websocket\r\n"
                           "Connection: Upgrade\r\nSec-WebSocket-Key: %s\r\n"
                           "Sec-WebSocket-Version: 13\r\n\r\n" % (path, host, port, key)).encode())
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise ProtocolError("the browser closed the websocket handshake")
            head += chunk
        head, self.buffer = head.split(b"\r\n\r\n", 1)
        if b" 101 " not in head.split(b"\r\n", 1)[0]:
            raise ProtocolError("websocket refused: %r" % head[:200])
        self.sock.settimeout(None)
        self.send_lock = threading.Lock()

    def send(self, text):
        payload = text.encode()
        n = len(payload)
        header = bytes([0x81])
        if n < 126:
            header += bytes([0x80 | n])
        elif n < 65536:
            header += bytes([0x80 | 126]) + struct.pack(">H", n)
        else:
            header += bytes([0x80 | 127]) + struct.pack(">Q", n)
        mask = os.urandom(4)
        masked = bytes(b ^ mask[i & 3] for i, b in enumerate(payload))
        with self.send_lock:
            self.sock.sendall(header + mask + masked)

    def _exactly(self, n):
        while len(self.buffer) < n:
            chunk = self.sock.recv(1 << 16)
            if not chunk:
                raise EOFError
            self.buffer += chunk
        out, self.buffer = self.buffer[:n], self.buffer[n:]
        return out

    def receive(self):
        """The next whole text message; EOFError when the connection is closed."""
        message = b""
        while True:
            b0, b1 = self._exactly(2)
            n = b1 & 0x7F
            if n == 126:
                n = struct.unpack(">H", self._exactly(2))[0]
            elif n == 127:
                n = struct.unpack(">Q", self._exactly(8))[0]
            mask = self._exactly(4) if b1 & 0x80 else None
            payload = self._exactly(n)
            if mask:
                payload = bytes(b ^ mask[i & 3] for i, b in enumerate(payload))
            opcode = b0 & 0x0F
            if opcode == 8:
                raise EOFError
            if opcode in (0, 1, 2):
                message += payload
                if b0 & 0x80:
                    return message.decode()
            # pings and pongs: the browser does not require answers from a client

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass


class Browser:
    """One firefox-esr with a fresh profile in a window on $DISPLAY, ended by its process
    group on close. `prefs` are added to the quiet profile's. Its sound goes to a private
    PulseAudio server's null sink: without a sound device its audio contexts never run."""

    engine = "firefox"

    def __init__(self, width=1280, height=720, prefs=None):
        self.profile = tempfile.mkdtemp(prefix="quorl-firefox-")
        with open(os.path.join(self.profile, "user.js"), "w") as f:
            for name, value in dict(PREFS, **(prefs or {})).items():
                f.write("user_pref(%s, %s);\n" % (json.dumps(name), json.dumps(value)))
        self.pulse = sound_servers.PrivatePulse(self.profile, 44100)
        env = dict(self.pulse.env if self.pulse.proc else os.environ, LIBGL_ALWAYS_SOFTWARE="1",
                   MOZ_CRASHREPORTER_DISABLE="1")
        env.pop("MOZ_HEADLESS", None)
        self.log = open(os.path.join(self.profile, "browser.log"), "w+")
        self.proc = subprocess.Popen(
            [FIREFOX, "--remote-debugging-port", "0", "--profile", self.profile, "--no-remote",
             "--new-instance", "--width", str(width), "--height", str(height), "about:blank"],
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log, env=env,
            start_new_session=True)
        port = self._wait_for_port(60)
        self.ws = WebSocket("127.0.0.1", port, "/session")
        self._next_id = 0
        self._lock = threading.Lock()
        self._replies = {}
        self._reply_ready = threading.Condition()
        self.events = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        self.send("session.new", {"capabilities": {}})
        self.send("session.subscribe", {"events": ["log.entryAdded"]})

    def _wait_for_port(self, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            self.log.seek(0)
            m = re.search(r"WebDriver BiDi listening on ws://[^:]+:(\d+)", self.log.read())
            if m:
                return int(m.group(1))
            if self.proc.poll() is not None:
                break
            time.sleep(0.1)
        self.log.seek(0)
        raise ProtocolError("firefox did not offer WebDriver BiDi: %s" % self.log.read()[-2000:])

    def _read(self):
        while True:
            try:
                message = json.loads(self.ws.receive())
            except (EOFError, OSError):
                with self._reply_ready:
                    self._replies[None] = "closed"
                    self._reply_ready.notify_all()
                return
            if message.get("type") == "event":
                self.events.put(message)
            elif "id" in message:
                with self._reply_ready:
                    self._replies[message["id"]] = message
                    self._reply_ready.notify_all()

    def send(self, method, params=None, timeout=60):
        with self._lock:
            self._next_id += 1
            ident = self._next_id
        self.ws.send(json.dumps({"id": ident, "method": method, "params": params or {}}))
        deadline = time.monotonic() + timeout
        with self._reply_ready:
            while ident not in self._replies:
                if None in self._replies:
                    raise ProtocolError("the browser went away during %s" % method)
                left = deadline - time.monotonic()
                if left <= 0:
                    raise ProtocolError("%s: no answer in %d s" % (method, timeout))
                self._reply_ready.wait(left)
            reply = self._replies.pop(ident)
        if reply.get("type") == "error":
            raise ProtocolError("%s: %s: %s" % (method, reply.get("error"), reply.get("message")))
        return reply.get("result", {})

    def new_page(self, width, height, init_script=None):
        return Page(self, width, height, init_script)

    def close(self):
        try:
            self.send("browser.close", timeout=10)
        except ProtocolError:
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
        self.ws.close()
        self.log.close()
        self.pulse.close()
        shutil.rmtree(self.profile, ignore_errors=True)


class Page:
    """A tab whose viewport is exactly width x height CSS pixels at one device pixel each.
    `init_script` runs in every document it loads, before the page's own scripts."""

    def __init__(self, browser, width, height, init_script=None):
        self.browser = browser
        self.context = browser.send("browsingContext.create", {"type": "tab"})["context"]
        self.console = []  # (type, text) of every console call and uncaught exception
        self.preload = None
        if init_script:
            self.preload = browser.send("script.addPreloadScript", {
                "functionDeclaration": "() => { %s }" % init_script,
                "contexts": [self.context]})["script"]
        self.set_viewport(width, height, 1)

    def set_viewport(self, width, height, density):
        self.width, self.height = width, height
        self.browser.send("browsingContext.setViewport", {
            "context": self.context, "viewport": {"width": width, "height": height},
            "devicePixelRatio": density})

    def set_density(self, density):
        self.set_viewport(self.width, self.height, density)

    def close(self):
        self.browser.send("browsingContext.close", {"context": self.context})
        if self.preload:
            self.browser.send("script.removePreloadScript", {"script": self.preload})

    def drain_events(self):
        while True:
            try:
                event = self.browser.events.get_nowait()
            except queue.Empty:
                return
            params = event.get("params", {})
            if params.get("source", {}).get("context") not in (self.context, None):
                continue
            if event["method"] == "log.entryAdded":
                kind = params.get("method") if params.get("type") == "console" else "exception"
                self.console.append((kind, params.get("text", "")))

    def navigate(self, url):
        self.browser.send("browsingContext.navigate",
                          {"context": self.context, "url": url, "wait": "none"})

    def evaluate(self, expression, timeout=60):
        # The value crosses as JSON text: BiDi's own serialisation of objects is verbose.
        wrapped = ("(async () => { const v = await (%s); "
                   "return v === undefined ? 'null' : JSON.stringify(v); })()" % expression)
        result = self.browser.send("script.evaluate", {
            "expression": wrapped, "target": {"context": self.context}, "awaitPromise": True,
            "resultOwnership": "none", "userActivation": False}, timeout=timeout)
        if result.get("type") == "exception":
            raise ProtocolError("%s: %s" % (expression, result.get("exceptionDetails", {}).get(
                "text")))
        return json.loads(result["result"]["value"])

    # The same polling as over the DevTools protocol: it needs only evaluate, drain_events
    # and console, and this module's ProtocolError is a kind of that one's.
    wait_for = cdp.Page.wait_for

    def _actions(self, source):
        self.browser.send("input.performActions", {"context": self.context, "actions": [source]})

    def click(self, x, y):
        self._actions({"type": "pointer", "id": "mouse", "parameters": {"pointerType": "mouse"},
                       "actions": [{"type": "pointerMove", "x": int(x), "y": int(y)},
                                   {"type": "pointerDown", "button": 0},
                                   {"type": "pointerUp", "button": 0}]})

    def tap(self, x, y):
        self._actions({"type": "pointer", "id": "finger", "parameters": {"pointerType": "touch"},
                       "actions": [{"type": "pointerMove", "x": int(x), "y": int(y)},
                                   {"type": "pointerDown", "button": 0},
                                   {"type": "pointerUp", "button": 0}]})

    def key(self, name):
        value = KEYS.get(name, name)
        self._actions({"type": "key", "id": "keyboard",
                       "actions": [{"type": "keyDown", "value": value},
                                   {"type": "keyUp", "value": value}]})

    def screenshot(self):
        """The viewport as shown, a PNG file's bytes."""
        data = self.browser.send("browsingContext.captureScreenshot",
                                 {"context": self.context})["data"]
        return base64.b64decode(data)
