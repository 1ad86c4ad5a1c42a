"""The whole show, end to end: the real program under a virtual display plays for 131
seconds and then ends by itself with exit code 0.

Environment: QUORL_BIN = the built program. Runs it with the repository's data/ as working
directory, SDL_AUDIODRIVER=dummy, under a private Xvfb server started here.
"""
import os
import signal
import subprocess
import sys
import time
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SHOW_SECONDS = 131.0
GRACE_SECONDS = 4.0  # start-up, the last passes and exit


def start_xvfb():
    """Starts Xvfb on a free display; returns (process, ':N')."""
    read_fd, write_fd = os.pipe()
    proc = subprocess.Popen(
        ["Xvfb", "-noreset", "-displayfd", str(write_fd), "-screen", "0", "800x600x24", "-nolisten", "tcp"],
        pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as pipe:
        number = pipe.readline().strip()
    if not number:
        proc.kill()
        raise RuntimeError("Xvfb did not report a display")
    return proc, ":" + number


class WholeShow(unittest.TestCase):
    def setUp(self):
        self.binary = os.environ.get("QUORL_BIN")
        if not self.binary:
            self.fail("QUORL_BIN is not set")
        self.xvfb, self.display = start_xvfb()

    def tearDown(self):
        self.xvfb.terminate()
        self.xvfb.wait(timeout=10)

    def test_plays_to_the_end_and_exits_zero(self):
        env = dict(os.environ, DISPLAY=self.display, SDL_AUDIODRIVER="dummy")
        env.pop("SDL_VIDEODRIVER", None)
        started = time.monotonic()
        proc = subprocess.Popen([self.binary], cwd=os.path.join(REPO, "data"), env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                start_new_session=True)
        try:
            out, err = proc.communicate(timeout=SHOW_SECONDS + 60)
        except subprocess.TimeoutExpired:
            # The whole group: a message box lives in a forked child holding the pipes.
            os.killpg(proc.pid, signal.SIGKILL)
            out, err = proc.communicate()
            self.fail("the show did not end by itself; stderr: %r" % err[-2000:])
        elapsed = time.monotonic() - started
        sys.stderr.write("show ended after %.1f s with code %d\n" % (elapsed, proc.returncode))
        self.assertEqual(proc.returncode, 0, "stderr: %r" % err[-2000:])
        self.assertGreaterEqual(elapsed, SHOW_SECONDS)
        self.assertLess(elapsed, SHOW_SECONDS + GRACE_SECONDS)


if __name__ == "__main__":
    unittest.main()
