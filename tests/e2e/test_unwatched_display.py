"""play.sh without a display plays under a virtual one (Xvfb) that nobody watches: a failed
start there cannot wait for someone to answer its box. The message comes on stderr and the
exit status is 255 at once. play.sh is run from a small repository of the test's own whose
setup.sh does nothing and whose build/quorl is the real program."""
import os
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

ENDS_WITHIN = 30  # a virtual display's start and a failed start-up


class UnwatchedDisplay(unittest.TestCase):
    def test_failed_start_under_play_sh_virtual_display_ends_with_its_message(self):
        if shutil.which("xvfb-run") is None:
            self.skipTest("xvfb-run is not installed")
        repo = os.path.join(harness.make_tmpdir(), "quorl")
        os.makedirs(os.path.join(repo, "build"))
        shutil.copy(os.path.join(harness.REPO, "play.sh"), repo)
        stubs = {"setup.sh": "", "build/quorl": 'exec "%s" "$@"\n' % os.path.abspath(harness.BIN)}
        for name, body in stubs.items():
            path = os.path.join(repo, name)
            with open(path, "w") as f:
                f.write("#!/bin/sh\n" + body)
            os.chmod(path, 0o755)
        shutil.copytree(os.path.join(harness.REPO, "data"), os.path.join(repo, "data"))
        os.remove(os.path.join(repo, "data", "shaders", "plasma.fs"))
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "QUORL_NO_BOX",
                            "QUORL_STATS")}
        env["SDL_AUDIODRIVER"] = "dummy"
        began = time.monotonic()
        proc = subprocess.Popen(["./play.sh"], cwd=repo, env=env, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True, start_new_session=True)
        try:
            out, err = proc.communicate(timeout=ENDS_WITHIN)
        except subprocess.TimeoutExpired:
            self.fail("still waiting after %d s (on a box nobody sees?); stderr: %r"
                      % (ENDS_WITHIN, harness.stop(proc)))
        finally:
            harness.stop(proc)
        print("ended after %.2f s" % (time.monotonic() - began))
        self.assertEqual(proc.returncode, 255, err)
        self.assertIn("virtual display", out + err)
        self.assertIn("shaders/plasma.fs: Could not open", err.splitlines())


if __name__ == "__main__":
    unittest.main()
