"""What ends the program from outside. A signal during start-up, or while a start-up box is
shown, ends the box (its process too) and the program at once with 255, as any failed
start; SIGINT, SIGTERM, SIGHUP and SIGQUIT during the show end it with 0 and the run report;
an X server that dies mid-show ends it with the documented code 3 and, when asked for, the
run report."""
import os
import re
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

PROMPT_SECONDS = 2.0
DISPLAY_LOST_STATUS = 3
SIGNALS = {"SIGINT": signal.SIGINT, "SIGTERM": signal.SIGTERM, "SIGHUP": signal.SIGHUP,
           "SIGQUIT": signal.SIGQUIT}
# The program keeps a signal ignored that it was started with (nohup, a background job):
# start it with none ignored, whatever the test itself was started with.
signal.signal(signal.SIGHUP, signal.SIG_DFL)
signal.signal(signal.SIGQUIT, signal.SIG_DFL)
signal.signal(signal.SIGINT, signal.default_int_handler)


def root_children(display=None):
    env = dict(os.environ)
    if display:
        env["DISPLAY"] = display
    out = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True, text=True,
                         env=env).stdout
    return set(re.findall(r"^\s*(0x[0-9a-f]+) ", out, re.M))


def wait_for(predicate, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()


def group_alive(pgid):
    """True while a process of the group still runs (the box's included). A killed one
    waiting to be reaped by whoever adopted it (a zombie) holds nothing and counts as gone."""
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % entry) as f:
                stat = f.read()
        except OSError:
            continue
        fields = stat[stat.rindex(")") + 2:].split()
        if fields[0] != "Z" and int(fields[2]) == pgid:
            return True
    return False


def end_within(proc, seconds):
    """Waits for the program; (status, stderr, seconds taken) or a failure saying it hung."""
    began = time.monotonic()
    try:
        _, err = proc.communicate(timeout=seconds)
    except subprocess.TimeoutExpired:
        raise AssertionError("still running %.1f s after the signal; stderr: %r"
                             % (seconds, harness.stop(proc)))
    return proc.returncode, err, time.monotonic() - began


class SignalDuringBox(unittest.TestCase):
    def test_each_signal_ends_the_box_and_the_program_with_255(self):
        data = harness.copy_data(harness.make_tmpdir())
        os.remove(os.path.join(data, "shaders", "plasma.fs"))
        caption = "shaders/plasma.fs"
        for name, sig in SIGNALS.items():
            with self.subTest(name):
                before = root_children()
                proc = harness.start(data, {"QUORL_STATS": "1"})
                try:
                    if not wait_for(lambda: harness.windows_named(caption), 60):
                        self.fail("no box; stderr: %r" % harness.stop(proc))
                    os.kill(proc.pid, sig)  # the program alone, as kill or a closed terminal
                    status, err, seconds = end_within(proc, PROMPT_SECONDS)
                    print("%s: ended after %.2f s" % (name, seconds))
                    self.assertEqual(status, 255, err)
                    self.assertIn("%s: Could not open" % caption, err.splitlines())
                    self.assertIn("quorl run report (exit code 255)", err)  # as any failed start
                    self.assertTrue(wait_for(lambda: not group_alive(proc.pid), 1.0),
                                    "a process of the program outlived it (the box's?)")
                    self.assertTrue(wait_for(lambda: root_children() <= before, 1.0),
                                    "windows left on the display")
                finally:
                    harness.stop(proc)


class SignalDuringStartUp(unittest.TestCase):
    """Start-up held at the music's step: SDL's disk driver opens its file for writing, and a
    FIFO nobody reads blocks that open. Whenever the signal comes, start-up has not ended."""

    def test_each_signal_ends_the_start_up_at_once_with_255(self):
        tmp = harness.make_tmpdir()
        data = harness.copy_data(tmp)
        fifo = os.path.join(tmp, "sound.fifo")
        os.mkfifo(fifo)
        env = {"QUORL_STATS": "1", "SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": fifo}
        for name, sig in SIGNALS.items():
            with self.subTest(name):
                before = root_children()
                proc = harness.start(data, env)
                try:
                    time.sleep(1.0)
                    if proc.poll() is not None:
                        self.fail("ended by itself: %r" % harness.stop(proc))
                    os.kill(proc.pid, sig)
                    status, err, seconds = end_within(proc, PROMPT_SECONDS)
                    print("%s: ended after %.2f s" % (name, seconds))
                    self.assertEqual(status, 255, err)
                    self.assertIn("quorl run report (exit code 255)", err)
                    self.assertIn("start-up   ended before the first frame", err)
                    self.assertTrue(wait_for(lambda: root_children() <= before, 1.0),
                                    "windows left on the display")
                finally:
                    harness.stop(proc)


class SignalDuringShow(unittest.TestCase):
    def test_each_signal_ends_the_show_with_0_and_the_report(self):
        data = harness.copy_data(harness.make_tmpdir())
        for name, sig in SIGNALS.items():
            with self.subTest(name):
                proc = harness.start(data, {"QUORL_STATS": "1"})
                try:
                    harness.expect_window(proc)
                    time.sleep(0.5)
                    os.kill(proc.pid, sig)
                    status, err, seconds = end_within(proc, PROMPT_SECONDS)
                    print("%s: ended after %.2f s" % (name, seconds))
                    self.assertEqual(status, 0, err)
                    self.assertIn("quorl run report (exit code 0)", err)
                finally:
                    harness.stop(proc)


def remove_leftovers(display, pid):
    """A killed X server leaves its lock and socket behind: removed while the lock is still
    the one it wrote (another server may have taken the number since)."""
    number = display[1:]
    lock = "/tmp/.X%s-lock" % number
    try:
        with open(lock) as f:
            if int(f.read().strip() or 0) != pid:
                return
    except (OSError, ValueError):
        return
    for path in (lock, "/tmp/.X11-unix/X%s" % number):
        try:
            os.remove(path)
        except OSError:
            pass


def end_run(proc, server, display):
    """After a run on an X server of the test's own: the program (if started) and the
    server ended, the server's leftovers removed."""
    if proc:
        harness.stop(proc)
    if server.poll() is None:
        os.killpg(server.pid, signal.SIGKILL)
        server.wait()
    remove_leftovers(display, server.pid)


class DisplayLost(unittest.TestCase):
    """On an X server of the test's own, killed while the show plays."""

    def start_server(self):
        runtime = harness.make_tmpdir()
        read_end, write_end = os.pipe()
        server = subprocess.Popen(
            ["Xvfb", "-noreset", "-displayfd", str(write_end), "-nolisten", "tcp", "-screen", "0",
             "640x480x24"], pass_fds=(write_end,), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, start_new_session=True,
            env=dict(os.environ, XDG_RUNTIME_DIR=runtime))
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as f:
            number = f.readline().strip()
        if not number:
            server.kill()
            server.wait()
            self.fail("Xvfb did not start")
        return server, ":" + number.decode()

    def test_program_ends_with_code_3_and_its_report(self):
        data = harness.copy_data(harness.make_tmpdir())
        for stats in ("1", ""):
            with self.subTest(QUORL_STATS=stats):
                server, display = self.start_server()
                proc = None
                try:
                    proc = harness.start(data, {"DISPLAY": display, "QUORL_STATS": stats})
                    env = dict(os.environ, DISPLAY=display)
                    shown = wait_for(lambda: subprocess.run(
                        ["xdotool", "search", "--onlyvisible", "--pid", str(proc.pid)],
                        capture_output=True, env=env).returncode == 0 or proc.poll() is not None,
                        60)
                    if not shown or proc.poll() is not None:
                        self.fail("the show did not start; stderr: %r" % harness.stop(proc))
                    time.sleep(1.0)
                    os.killpg(server.pid, signal.SIGKILL)
                    server.wait()
                    status, err, seconds = end_within(proc, PROMPT_SECONDS)
                    print("QUORL_STATS=%r: ended %.2f s after the server" % (stats, seconds))
                    self.assertEqual(status, DISPLAY_LOST_STATUS, err)
                    self.assertIn("Error: Display connection lost.", err.splitlines())
                    reported = "quorl run report (exit code %d)" % DISPLAY_LOST_STATUS in err
                    self.assertEqual(reported, bool(stats), err)
                finally:
                    end_run(proc, server, display)


if __name__ == "__main__":
    harness.main_needing_display()
