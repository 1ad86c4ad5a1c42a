"""Shared helpers for the end-to-end tests: run the real program under the test
command's virtual display, find and dismiss its message boxes, send it keys."""
import atexit
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BIN = os.environ.get("QUORL_BIN", os.path.join(REPO, "build", "quorl"))
BUILD = os.environ.get("QUORL_BUILD_DIR", os.path.join(REPO, "build"))


# CTest reports a test that exits with this status as skipped (SKIP_RETURN_CODE).
SKIP_STATUS = 77


def display_problem():
    """Why the program's window could not be shown here, or None when an X display answers."""
    display = os.environ.get("DISPLAY")
    if not display:
        return "DISPLAY is not set"
    if shutil.which("xdpyinfo") is None:
        return None  # cannot ask; let the tests try
    try:
        r = subprocess.run(["xdpyinfo"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=20)
    except subprocess.TimeoutExpired:
        return "the X display %s does not answer" % display
    return None if r.returncode == 0 else "cannot open the X display %s" % display


def main_needing_display():
    """unittest.main() for tests that need the program's window; without a display they
    are skipped at once, saying why, instead of waiting for windows that never come."""
    problem = display_problem()
    if problem:
        print("SKIPPED: %s. These tests need an X display: run them through ./test.sh, which "
              "starts a virtual one (xvfb-run), or under xvfb-run -a yourself." % problem)
        sys.exit(SKIP_STATUS)
    unittest.main()


def make_tmpdir():
    """A fresh directory, removed when the test process ends."""
    path = tempfile.mkdtemp(prefix="quorl-e2e-")
    atexit.register(shutil.rmtree, path, True)
    return path


def copy_data(tmpdir):
    """A private copy of data/ to run in (and to break on purpose). Returns its path."""
    dst = os.path.join(tmpdir, "data")
    shutil.copytree(os.path.join(REPO, "data"), dst)
    return dst


_started = []


def start(workdir, env=None):
    """Starts the program in workdir; sound goes to the dummy driver unless env says else.
    It runs in a process group of its own: SDL shows a message box from a forked child,
    which must not outlive a test that gives up on the program."""
    full = dict(os.environ)
    full.setdefault("SDL_AUDIODRIVER", "dummy")
    # A run report asked for in the caller's shell would land in every test's stderr.
    full.pop("QUORL_STATS", None)
    full.update(env or {})
    proc = subprocess.Popen([BIN], cwd=workdir, env=full, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, start_new_session=True)
    _started.append(proc)
    return proc


def stop(proc):
    """Kills the program and everything it forked, if still there; returns its stderr."""
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass
    try:
        _, err = proc.communicate(timeout=10)
    except (ValueError, subprocess.TimeoutExpired):
        err = None  # already read to the end, or a stuck pipe
    return err or ""


@atexit.register
def _stop_all():
    for proc in _started:
        stop(proc)


def xdotool(*args, check=False):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True, check=check)


def windows_named(title):
    """Top-level X windows whose name is exactly title. (SDL's message boxes carry their
    name in a property type that xdotool's name search skips, so ask xwininfo.)"""
    out = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True,
                         text=True).stdout
    found = []
    for line in out.splitlines():
        m = re.match(r'\s*(0x[0-9a-f]+) "(.*)":', line)
        if m and m.group(2) == title:
            found.append(str(int(m.group(1), 16)))
    return found


def dismiss_box(title, timeout=30.0):
    """Waits for a message box captioned title and presses Return on it. True when done."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        for wid in windows_named(title):
            r = xdotool("windowfocus", "--sync", wid, "key", "Return")
            if r.returncode == 0:
                time.sleep(0.3)
                return True
        time.sleep(0.2)
    return False


def program_window(proc, timeout=60.0):
    """The visible window of the running program (it is named "quorl")."""
    deadline = time.time() + timeout
    while time.time() < deadline and proc.poll() is None:
        out = xdotool("search", "--onlyvisible", "--pid", str(proc.pid)).stdout.split()
        if out:
            return out[-1]
        time.sleep(0.2)
    return None


def send_escape(proc, timeout=60.0):
    wid = program_window(proc, timeout)
    if wid is None:
        return False
    return xdotool("windowfocus", "--sync", wid, "key", "Escape").returncode == 0


def finish(proc, timeout=30.0):
    """Waits for the program to end; returns (exit status, stdout, stderr)."""
    try:
        out, err = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        raise AssertionError("program did not end within %.0f s; stderr: %s"
                             % (timeout, stop(proc)))
    return proc.returncode, out, err


def expect_window(proc):
    """The program's window id; when none appears, the failure says what the program said."""
    wid = program_window(proc)
    if wid is None:
        raise AssertionError("the show's window never appeared; stderr: %r" % stop(proc))
    return wid


def expect_show_plays(workdir, env=None, seconds=1.0):
    """Starts the program, expects its window, lets it play, quits with Escape; expects
    exit status 0 and nothing on stderr."""
    proc = start(workdir, env)
    try:
        expect_window(proc)
        time.sleep(seconds)
        assert proc.poll() is None, "the program ended early; stderr: %r" % stop(proc)
        assert send_escape(proc), "could not send Escape"
        status, _, err = finish(proc)
        assert status == 0, "exit status %r, stderr %r" % (status, err)
        assert err.strip() == "", "stderr: %r" % err
    finally:
        stop(proc)


def expect_box_and_exit(workdir, caption, text, env=None, timeout=60.0):
    """Starts the program, expects one box (caption, text) and exit status 255."""
    proc = start(workdir, env)
    if not dismiss_box(caption, timeout):
        raise AssertionError("no box captioned %r appeared; stderr: %r" % (caption, stop(proc)))
    status, _, err = finish(proc)
    line = "%s: %s" % (caption, text)
    assert line in err.splitlines(), "stderr lacks %r: %r" % (line, err)
    assert status == 255, "exit status %r, stderr %r" % (status, err)
    return err
