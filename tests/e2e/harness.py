"""Shared helpers for the end-to-end tests: run the real program under the test
command's virtual display (or one of the test's own), find and dismiss its message boxes,
send it keys."""
import atexit
import ctypes
import os
import re
import select
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


def _kill_with_parent():
    """In the child before exec: the kernel ends it when the test process dies, even by
    SIGKILL (a timed-out test), so no server outlives its test."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def _screen_of(display_info):
    """xdpyinfo's screen as Xvfb's -screen argument ("1280x720x24"), or the test command's."""
    size = re.search(r"dimensions:\s+(\d+x\d+) pixels", display_info)
    depth = re.search(r"depth of root window:\s+(\d+) planes", display_info)
    if size and depth:
        return "%sx%s" % (size.group(1), depth.group(1))
    return "1280x720x24"


def _use_own_display():
    """With QUORL_E2E_OWN_DISPLAY set (CTest sets it), the test moves to a virtual display of
    its own, shaped like the one it was given: the windows it looks for, the boxes it
    dismisses by title and the window manager it pretends to be are then its alone, so the
    tests run side by side. Without a display to copy the tests skip as before. The server
    never resets: at a reset (when its last client leaves, here between two starts of the
    program) a program connecting at that moment was seen to get no GL context."""
    if os.environ.get("QUORL_E2E_OWN_DISPLAY") != "1" or display_problem():
        return
    if shutil.which("Xvfb") is None:
        return  # stays on the given display
    info = ""
    if shutil.which("xdpyinfo"):
        info = subprocess.run(["xdpyinfo"], capture_output=True, text=True, timeout=20).stdout
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-noreset", "-screen", "0",
         _screen_of(info)], pass_fds=(write_end,), stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL, preexec_fn=_kill_with_parent)
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + 30
    while not number.endswith(b"\n") and time.monotonic() < deadline:
        if select.select([read_end], [], [], 1.0)[0]:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
    os.close(read_end)
    if not number.strip().isdigit():
        server.kill()
        server.wait()
        raise RuntimeError("Xvfb did not start a display for this test")

    def stop_server():
        _stop_all()  # the programs first: they must not see their display go
        server.terminate()  # asked, so that it removes its socket and lock file
        try:
            server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()

    atexit.register(stop_server)
    os.environ["DISPLAY"] = ":" + number.decode().strip()


_use_own_display()


def own_mount_namespace():
    """The unshare command that gives this test a mount namespace, or None."""
    for cmd in (["unshare", "-m"], ["unshare", "-m", "--map-root-user"]):
        try:
            if subprocess.run(cmd + ["true"], capture_output=True).returncode == 0:
                return cmd
        except FileNotFoundError:
            return None
    return None
