"""The X server killed at random moments of start-up (on a server of the test's own): each
run ends with 255 and a failed start's message, or with 3 and "Display connection lost."
once the show is up; never by a signal (a crash inside the GL driver on the dead
connection) and never with Xlib's own exit(1) or its text. QUORL_DEATH_RUNS and QUORL_DEATH_SEED set
how many moments and which; the table of outcomes is printed."""
import collections
import os
import random
import re
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from test_signals import end_run  # noqa: E402

RUNS = int(os.environ.get("QUORL_DEATH_RUNS", "20"))
SEED = int(os.environ.get("QUORL_DEATH_SEED", str(int(time.time()))))
# Start-up takes 0.3-1.5 s here; moments are drawn over the whole of it and a little after.
LATEST_SECONDS = 1.2
END_SECONDS = 10.0
START_UP_LINES = {
    "Error: wglSwapIntervalEXT", "Error: OpenGL Extensions error.",
    "Error: Bad kind of error, error.", "Error: Display connection lost."}


def start_server():
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-noreset", "-displayfd", str(write_end), "-nolisten", "tcp", "-screen", "0",
         "640x480x24"], pass_fds=(write_end,), stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL, start_new_session=True)
    os.close(write_end)
    with os.fdopen(read_end, "rb") as f:
        number = f.readline().strip()
    if not number:
        server.kill()
        server.wait()
        raise AssertionError("Xvfb did not start")
    return server, ":" + number.decode()


def outcome(status, err):
    """One row of the table: how the run ended and what it said (its last line for the
    documented statuses, else its first, numbers masked so that alike runs count together)."""
    if status < 0:
        return "signal %s" % signal.Signals(-status).name
    lines = err.splitlines()
    if not lines:
        return "%d (nothing on stderr)" % status
    line = lines[-1] if status in (3, 255) else re.sub(r"\d+", "N", lines[0])
    return "%d %s" % (status, line)


def acceptable(status, err):
    """The documented lines and nothing else: no Xlib or toolkit text around them."""
    lines = err.splitlines()
    if status == 255:
        return bool(lines) and set(lines) <= START_UP_LINES
    if status == 3:
        return lines == ["Error: Display connection lost."]
    return False


class DisplayDiesAtStart(unittest.TestCase):
    def test_server_killed_at_random_moments_of_start_up(self):
        data = harness.copy_data(harness.make_tmpdir())
        draw = random.Random(SEED)
        table = collections.Counter()
        wrong = []
        for run in range(RUNS):
            moment = draw.uniform(0.0, LATEST_SECONDS)
            server, display = start_server()
            proc = None
            try:
                proc = harness.start(data, {"DISPLAY": display})
                time.sleep(moment)
                os.killpg(server.pid, signal.SIGKILL)
                server.wait()
                try:
                    _, err = proc.communicate(timeout=END_SECONDS)
                except subprocess.TimeoutExpired:
                    err = harness.stop(proc)
                    wrong.append("%.3f s: still running %.0f s later; stderr %r"
                                 % (moment, END_SECONDS, err))
                    table["hung"] += 1
                    continue
                table[outcome(proc.returncode, err)] += 1
                if not acceptable(proc.returncode, err):
                    wrong.append("%.3f s: %s; stderr %r"
                                 % (moment, outcome(proc.returncode, err), err[-400:]))
            finally:
                end_run(proc, server, display)
        print("seed %d, %d runs, server killed 0-%.1f s after the start:" % (SEED, RUNS,
                                                                            LATEST_SECONDS))
        for name, count in table.most_common():
            print("  %3d  %s" % (count, name))
        self.assertEqual(wrong, [])


if __name__ == "__main__":
    unittest.main()
