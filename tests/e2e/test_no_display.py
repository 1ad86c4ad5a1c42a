"""With no display at all the show must not start: SDL would otherwise fall back to its
offscreen driver and play the whole show unseen, a failure that looks like success. The
window's context cannot be made, so the boxes of a failed start-up are due; they cannot
show, their lines on stderr are the message, in order, and the exit status is 255 - at
once, not after the show. Needs no display itself."""
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

EXPECTED = [
    "Error: wglSwapIntervalEXT",
    "Error: OpenGL Extensions error.",
    "Error: Bad kind of error, error.",
]
# Start-up failure takes a fraction of a second; a show played unseen takes 131 s.
QUICK_SECONDS = 20


def no_display_env(**extra):
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "SDL_VIDEODRIVER")}
    env["SDL_AUDIODRIVER"] = "dummy"
    env.update(extra)
    return env


class NoDisplay(unittest.TestCase):
    def run_without_display(self, env):
        began = time.monotonic()
        try:
            r = subprocess.run([harness.BIN], cwd=os.path.join(harness.REPO, "data"), env=env,
                               capture_output=True, text=True, timeout=QUICK_SECONDS,
                               start_new_session=True)
        except subprocess.TimeoutExpired as e:
            self.fail("still running after %d s (playing unseen?); stderr: %r"
                      % (QUICK_SECONDS, e.stderr))
        return r, time.monotonic() - began

    def test_start_up_fails_at_once_whatever_the_driver_choice(self):
        cases = {
            "no driver named": no_display_env(),
            # SDL's own fallback, asked for by name: still nothing anyone could see.
            "offscreen named": no_display_env(SDL_VIDEODRIVER="offscreen"),
            "dummy named": no_display_env(SDL_VIDEODRIVER="dummy"),
            "x11 named": no_display_env(SDL_VIDEODRIVER="x11"),
            # A runtime folder without a compositor in it: Wayland is tried and fails quietly.
            "empty runtime folder": no_display_env(XDG_RUNTIME_DIR=harness.make_tmpdir()),
        }
        for name, env in cases.items():
            with self.subTest(name):
                r, seconds = self.run_without_display(env)
                self.assertEqual(r.returncode, 255, r.stderr)
                # Exactly the three lines: no library noise around them.
                self.assertEqual(r.stderr.splitlines(), EXPECTED)
                self.assertEqual(r.stdout, "")
                print("%s: failed after %.2f s" % (name, seconds))


if __name__ == "__main__":
    unittest.main()
