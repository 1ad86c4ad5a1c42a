"""Without any display the boxes cannot be shown: their lines on stderr are the message,
in order, and the exit status stays 255."""
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402


class NoDisplay(unittest.TestCase):
    def test_messages_reach_stderr_and_start_up_fails(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env["SDL_VIDEODRIVER"] = "x11"
        env["SDL_AUDIODRIVER"] = "dummy"
        r = subprocess.run([harness.BIN], cwd=os.path.join(harness.REPO, "data"), env=env,
                           capture_output=True, text=True, timeout=60)
        self.assertEqual(r.returncode, 255)
        self.assertEqual(r.stderr.strip().splitlines(), [
            "Error: wglSwapIntervalEXT",
            "Error: OpenGL Extensions error.",
            "Error: Bad kind of error, error.",
        ])


if __name__ == "__main__":
    unittest.main()
