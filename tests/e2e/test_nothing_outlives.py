"""Nothing of the program outlives it. SDL draws a start-up box from a forked copy of the
program: killed (SIGKILL, as the OOM killer or a force-quit does), or ended by SIGQUIT or a
SIGPIPE from outside while the box is up, the program leaves within a second no process,
no window and no instance lock behind (the box's process never holds the lock), and the
next quorl starts. A closed stderr does not
kill a start-up message. Without a session bus (and with dbus-x11 installed, whose
dbus-launch libdbus would autolaunch) no bus is started for the program, so none is left
behind holding the X server."""
import os
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from test_signals import group_alive, root_children, wait_for  # noqa: E402

# A background job of a script starts with SIGQUIT ignored, and the program keeps it so:
# start it with the default.
signal.signal(signal.SIGQUIT, signal.SIG_DFL)
CAPTION = "shaders/plasma.fs"
GONE_SECONDS = 1.0


def broken_data():
    data = harness.copy_data(harness.make_tmpdir())
    os.remove(os.path.join(data, "shaders", "plasma.fs"))
    return data


def lock_holders(pids):
    """Those of pids holding a descriptor of the instance lock (the socket bound to the
    abstract name "quorl" in this network namespace)."""
    inodes = set()
    with open("/proc/net/unix") as f:
        for line in f.read().splitlines()[1:]:
            fields = line.split()
            if len(fields) >= 8 and fields[7] == "@quorl":
                inodes.add("socket:[%s]" % fields[6])
    holders = []
    for pid in pids:
        try:
            fds = os.listdir("/proc/%d/fd" % pid)
            links = {os.readlink("/proc/%d/fd/%s" % (pid, fd)) for fd in fds}
        except OSError:
            continue
        if links & inodes:
            holders.append(pid)
    return holders


def group_members(pgid):
    members = []
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % entry) as f:
                stat = f.read()
        except OSError:
            continue
        if int(stat[stat.rindex(")") + 2:].split()[2]) == pgid:
            members.append(int(entry))
    return members


def buses_of(runtime):
    """The dbus-launch and dbus-daemon processes started for our program: they inherit its
    environment, whose XDG_RUNTIME_DIR is a folder of the test's own. Other programs' buses
    on the machine (other tests run private ones) are not ours to count or end."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/comm" % entry) as f:
                command = f.read().strip()
            if command not in ("dbus-launch", "dbus-daemon"):
                continue
            with open("/proc/%s/environ" % entry, "rb") as f:
                environ = f.read().split(b"\0")
        except OSError:
            continue
        if ("XDG_RUNTIME_DIR=" + runtime).encode() in environ:
            found.append((int(entry), command))
    return found


class KillDuringBox(unittest.TestCase):
    def test_kill_quit_and_pipe_leave_nothing_and_the_next_one_starts(self):
        data = broken_data()
        good = harness.copy_data(harness.make_tmpdir())
        # status expected: killed outright, or 255 as any failed start
        cases = {"SIGKILL": (signal.SIGKILL, -signal.SIGKILL), "SIGQUIT": (signal.SIGQUIT, 255),
                 "SIGPIPE": (signal.SIGPIPE, 255)}
        for name, (sig, expected) in cases.items():
            with self.subTest(name):
                before = root_children()
                proc = harness.start(data)
                try:
                    if not wait_for(lambda: harness.windows_named(CAPTION), 60):
                        self.fail("no box; stderr: %r" % harness.stop(proc))
                    # The box's process (SDL's fork) never holds the lock; the program does.
                    members = group_members(proc.pid)
                    self.assertGreater(len(members), 1, "no process of the box")
                    self.assertEqual(lock_holders(members), [proc.pid])
                    os.kill(proc.pid, sig)  # the program alone, not its group
                    began = time.monotonic()
                    try:
                        status = proc.wait(timeout=GONE_SECONDS)
                    except subprocess.TimeoutExpired:
                        self.fail("still running; stderr: %r" % harness.stop(proc))
                    alone = wait_for(lambda: not group_alive(proc.pid),
                                     GONE_SECONDS - (time.monotonic() - began))
                    gone = time.monotonic() - began
                    err = harness.stop(proc)  # the stderr of the program and its box
                    self.assertTrue(alone, "a process of the program outlived it (the box's?)")
                    self.assertEqual(status, expected, err)
                    self.assertTrue(wait_for(lambda: root_children() <= before, 1.0),
                                    "windows left on the display")
                    print("%s: ended after %.2f s, its windows gone after %.2f s"
                          % (name, gone, time.monotonic() - began))
                finally:
                    harness.stop(proc)
                # The lock went with it: the next one plays.
                harness.expect_show_plays(good, seconds=0.2)

    def test_closed_stderr_does_not_kill_the_message(self):
        data = broken_data()
        read_end, write_end = os.pipe()
        os.close(read_end)  # the first write to stderr meets a closed pipe
        env = dict(os.environ, SDL_AUDIODRIVER="dummy")
        env.pop("QUORL_STATS", None)
        proc = subprocess.Popen([harness.BIN], cwd=data, env=env, stdout=subprocess.DEVNULL,
                                stderr=write_end, start_new_session=True)
        os.close(write_end)
        try:
            self.assertTrue(harness.dismiss_box(CAPTION), "no box")
            self.assertEqual(proc.wait(timeout=30), 255)
        finally:
            harness.stop(proc)


class NoSessionBus(unittest.TestCase):
    RUNS = 5

    def setUp(self):
        subprocess.run([os.path.join(harness.REPO, "tools", "install-packages.sh"), "dbus-x11"],
                       check=True, stdout=subprocess.DEVNULL)
        # No session bus: neither named nor a user bus in the runtime folder.
        os.environ.pop("DBUS_SESSION_BUS_ADDRESS", None)

    def test_no_bus_is_started_and_the_server_stays_free(self):
        data = harness.copy_data(harness.make_tmpdir())
        runtime = harness.make_tmpdir()  # no user bus in it
        for _ in range(self.RUNS):
            harness.expect_show_plays(data, {"XDG_RUNTIME_DIR": runtime}, seconds=0.5)
        started = buses_of(runtime)
        try:
            self.assertEqual(started, [], "buses left behind by the program")
            began = time.monotonic()
            r = subprocess.run(["xwininfo", "-root"], capture_output=True, timeout=5)
            self.assertEqual(r.returncode, 0)
            self.assertLess(time.monotonic() - began, 1.0, "the X server answers slowly")
        finally:
            for pid, _ in started:  # started for the program
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass


if __name__ == "__main__":
    harness.main_needing_display()
