"""Where a display is named but no message box can be shown (a Wayland session without
zenity, SDL's only way of showing one there), a user who started the show from a menu sees
no stderr: the program tells them through the desktop's own tools instead, the first that
works of kdialog (a box), notify-send and gdbus (desktop notifications). The stderr lines
stay, exactly. Without any display named the lines are the whole message and no tool runs.
The tools here are stand-ins on a PATH of their own, which has no zenity. The compositor
named is a socket that takes connections and closes them: it answers, so someone could see
a message; the video driver asked for is X11's and no X display is named, so no window can be
made and start-up fails with its three messages (SDL's Wayland driver is kept away from the
socket: it faults on a compositor that hangs up).
Where no display answers (the socket named is not there, the X server named is gone) or
QUORL_NO_BOX says nobody watches it, no box and no tool is tried: the stderr lines come at
once with nothing between them (a zenity that complains and takes its time is on the PATH
then)."""
import os
import socket
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from test_no_display import EXPECTED, QUICK_SECONDS  # noqa: E402  the lines of a failed start


def tool(folder, name, status):
    """A stand-in that writes its name and arguments, one a line, then a blank line; a
    zenity also complains on stderr and takes its time, as GTK's does without a display."""
    path = os.path.join(folder, name)
    complaint = ""
    if name == "zenity":
        complaint = "echo 'Gtk-WARNING **: cannot open display' >&2\nsleep 0.5\n"
    with open(path, "w") as f:
        f.write("#!/bin/sh\nfor a in \"$0\" \"$@\"; do echo \"$a\"; done >> \"$TOOL_LOG\"\n"
                "echo >> \"$TOOL_LOG\"\n%sexit %d\n" % (complaint, status))
    os.chmod(path, 0o755)


def unused_display_number():
    """An X display number with no server: neither its socket nor its lock is there."""
    for n in range(600, 700):
        if not os.path.exists("/tmp/.X11-unix/X%d" % n) and not os.path.exists(
                "/tmp/.X%d-lock" % n):
            return n
    raise AssertionError("no unused display number")


def fake_compositor(path):
    """A socket at path that takes each connection and closes it."""
    server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    server.bind(path)
    server.listen(16)

    def serve():
        while True:
            try:
                conn, _ = server.accept()
            except OSError:
                return
            conn.close()

    threading.Thread(target=serve, daemon=True).start()
    return server


class BoxElsewhere(unittest.TestCase):
    def run_with_tools(self, tools, display_env, compositor=True):
        tmp = harness.make_tmpdir()
        folder = os.path.join(tmp, "bin")
        os.mkdir(folder)
        for name, status in tools.items():
            tool(folder, name, status)
        log = os.path.join(tmp, "tools.log")
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "SDL_VIDEODRIVER",
                            "XDG_RUNTIME_DIR", "QUORL_STATS")}
        runtime = os.path.join(tmp, "runtime")
        os.mkdir(runtime, 0o700)
        if compositor:
            self.addCleanup(fake_compositor(os.path.join(runtime, "wayland-quorl")).close)
        env.update(PATH=folder, TOOL_LOG=log, SDL_AUDIODRIVER="dummy", XDG_RUNTIME_DIR=runtime)
        env.update(display_env)
        began = time.monotonic()
        r = subprocess.run([harness.BIN], cwd=os.path.join(harness.REPO, "data"), env=env,
                           capture_output=True, text=True, timeout=QUICK_SECONDS,
                           start_new_session=True)
        seconds = time.monotonic() - began
        calls = []
        if os.path.exists(log):
            with open(log) as f:
                calls = [c.splitlines() for c in f.read().split("\n\n") if c.strip()]
        return r, calls, seconds

    def test_the_first_tool_that_works_tells_the_user(self):
        wayland = {"WAYLAND_DISPLAY": "wayland-quorl", "SDL_VIDEODRIVER": "x11"}
        cases = {
            # KDE's box stands in for SDL's; nothing after it is tried.
            "kdialog": ({"kdialog": 0, "notify-send": 0, "gdbus": 0}, wayland, "kdialog"),
            # The box tool cannot show either: a notification.
            "notify-send": ({"kdialog": 1, "notify-send": 0, "gdbus": 0}, wayland, "notify-send"),
            "gdbus": ({"gdbus": 0}, wayland, "gdbus"),
            "none": ({}, wayland, None),
            # No display named at all: stderr is where the user is looking.
            "no display": ({"kdialog": 0, "notify-send": 0}, {}, None),
            "nobody watches": ({"kdialog": 0}, dict(wayland, QUORL_NO_BOX="1"), None),
        }
        for name, (tools, display_env, teller) in cases.items():
            with self.subTest(name):
                r, calls, seconds = self.run_with_tools(tools, display_env)
                print("%s: ended after %.2f s" % (name, seconds))
                self.assertEqual(r.returncode, 255, r.stderr)
                self.assertEqual(r.stderr.splitlines(), EXPECTED)
                told = [c for c in calls if os.path.basename(c[0]) == teller]
                if teller is None:
                    self.assertEqual(calls, [])
                    continue
                # One message each, in order, caption and text among the arguments.
                self.assertEqual(len(told), 3, calls)
                for call, line in zip(told, EXPECTED):
                    caption, text = line.split(": ", 1)
                    self.assertIn(caption, call[1:])
                    self.assertIn(text, call[1:])
                later = list(tools)[list(tools).index(teller) + 1:]
                self.assertFalse([c for c in calls if os.path.basename(c[0]) in later], calls)

    def test_no_display_that_answers_no_box_and_no_tool(self):
        cases = {
            "Wayland socket not there": {"WAYLAND_DISPLAY": "wayland-nowhere"},
            "X server gone": {"DISPLAY": ":%d" % unused_display_number()},
        }
        tools = {"zenity": 1, "kdialog": 0, "notify-send": 0}
        for name, display_env in cases.items():
            with self.subTest(name):
                r, calls, seconds = self.run_with_tools(tools, display_env, compositor=False)
                print("%s: ended after %.2f s" % (name, seconds))
                self.assertEqual(r.returncode, 255, r.stderr)
                self.assertEqual(r.stderr.splitlines(), EXPECTED)
                self.assertEqual(calls, [])


if __name__ == "__main__":
    unittest.main()
