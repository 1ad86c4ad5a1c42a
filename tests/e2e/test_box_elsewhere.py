"""Where a display is named but no message box can be shown (a Wayland session without
zenity, SDL's only way of showing one there), a user who started the show from a menu sees
no stderr: the program tells them through the desktop's own tools instead, the first that
works of kdialog (a box), notify-send and gdbus (desktop notifications). The stderr lines
stay, exactly. Without any display named the lines are the whole message and no tool runs.
The tools here are stand-ins on a PATH of their own, which has no zenity: the compositor
named does not exist, so the window fails with the three messages of a failed start."""
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from test_no_display import EXPECTED, QUICK_SECONDS  # noqa: E402  the lines of a failed start


def tool(folder, name, status):
    """A stand-in that writes its name and arguments, one a line, then a blank line."""
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        f.write("#!/bin/sh\nfor a in \"$0\" \"$@\"; do echo \"$a\"; done >> \"$TOOL_LOG\"\n"
                "echo >> \"$TOOL_LOG\"\nexit %d\n" % status)
    os.chmod(path, 0o755)


class BoxElsewhere(unittest.TestCase):
    def run_with_tools(self, tools, display_env):
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
        wayland = {"WAYLAND_DISPLAY": "wayland-nowhere"}
        cases = {
            # KDE's box stands in for SDL's; nothing after it is tried.
            "kdialog": ({"kdialog": 0, "notify-send": 0, "gdbus": 0}, wayland, "kdialog"),
            # The box tool cannot show either: a notification.
            "notify-send": ({"kdialog": 1, "notify-send": 0, "gdbus": 0}, wayland, "notify-send"),
            "gdbus": ({"gdbus": 0}, wayland, "gdbus"),
            "none": ({}, wayland, None),
            # No display named at all: stderr is where the user is looking.
            "no display": ({"kdialog": 0, "notify-send": 0}, {}, None),
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


if __name__ == "__main__":
    unittest.main()
