"""quorl-capture when writing fails: a full disk (a small tmpfs in a mount namespace of the
test's own), an output that is a link to /dev/full, a folder it may not write, a read-only
mount. Each must end with a non-zero status and the system's reason, leave only whole
pictures under their final names and no temporary file behind."""
import os
import resource
import shutil
import signal
import struct
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import pngread  # noqa: E402

CAPTURE = os.path.join(harness.BUILD, "quorl-capture")
DATA = os.path.join(harness.REPO, "data")
NO_SPACE = "No space left on device"
MOUNT_FAILED = 97  # from the namespace's script: the test could not set up its mount


def capture_env():
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env.pop("QUORL_STATS", None)
    return env


def in_namespace(unshare, setup, capture_args, keep):
    """Runs `setup` (shell, with $M the mount point) and the capture in a mount namespace
    of its own, then copies what the mount holds to `keep` (the mount goes with the
    namespace). Returns the capture's CompletedProcess."""
    mount_point = keep + "-mnt"
    os.makedirs(mount_point, exist_ok=True)
    script = ('M="$1"; KEEP="$2"; shift 2; (%s) || exit %d; "$@"; rc=$?; cp -a "$M"/. "$KEEP"/;'
              ' exit $rc' % (setup, MOUNT_FAILED))
    os.makedirs(keep, exist_ok=True)
    args = [a.replace("{M}", mount_point) for a in capture_args]
    return subprocess.run(unshare + ["sh", "-c", script, "sh", mount_point, keep, CAPTURE, *args],
                          cwd=DATA, env=capture_env(), capture_output=True, text=True,
                          timeout=600)


def whole_png(path):
    """Decodes the picture and checks its last chunk is the end chunk."""
    pngread.read_png(path)  # a cut file fails in zlib
    with open(path, "rb") as f:
        f.seek(-12, os.SEEK_END)
        length, kind = struct.unpack(">I4s", f.read(8))
    if (length, kind) != (0, b"IEND"):
        raise AssertionError("%s does not end with IEND" % path)


class WriteFailures(unittest.TestCase):
    def check_outcome(self, r, folder, status, reason, args):
        """Exit status and message; every regular file under `folder` is a whole PNG under
        its final name; no temporary file is left."""
        self.assertEqual(r.returncode, status, (args, r.stderr))
        self.assertIn(reason, r.stderr, args)
        for top, _, files in os.walk(folder):
            for name in files:
                path = os.path.join(top, name)
                self.assertFalse(name.startswith(".quorl-capture-"),
                                 "leftover temporary file %s (%s)" % (path, args))
                if os.path.islink(path) or not os.path.isfile(path):
                    continue  # the link to /dev/full
                self.assertTrue(name.endswith(".png"), (path, args))
                whole_png(path)

    def test_a_full_disk_stops_the_capture_with_the_reason_and_only_whole_files(self):
        unshare = harness.own_mount_namespace()
        if unshare is None:
            self.skipTest("unshare -m is not permitted here, so no private tmpfs can be mounted")
        tmp = harness.make_tmpdir()
        small = "mount -t tmpfs -o size=512k quorl-test \"$M\""
        full = small + ' && { head -c 1M /dev/zero > "$M/fill" 2>/dev/null; true; }'
        size = ["--size", "640x480"]  # about 200 kB a picture: the third does not fit
        cases = [
            # (setup, arguments, exit status, what must not exist afterwards)
            (small, size + ["--at", "1,61,101.5,120", "--out", "{M}/at"], 1, None),
            (small, size + ["--fps", "10", "--frames", "{M}/frames", "--from", "60", "--to",
                            "62"], 1, None),
            (small, size + ["--sheet", "{M}/sheet.png"], 1, "sheet.png"),
            (small, ["--size", "160x120", "--fps", "10", "--video", "{M}/show.mp4"], 1,
             "show.mp4"),
            # Already full: found by the check before anything is rendered, and the folders
            # made for the output are taken away again.
            (full, size + ["--at", "1", "--out", "{M}/late/stills"], 2, "late"),
            (full, size + ["--sheet", "{M}/new/deep/sheet.png"], 2, "new"),
        ]
        for i, (setup, args, status, absent) in enumerate(cases):
            keep = os.path.join(tmp, "case%d" % i)
            r = in_namespace(unshare, setup, args, keep)
            if r.returncode == MOUNT_FAILED:
                self.skipTest("no tmpfs can be mounted in the private namespace: %s" % r.stderr)
            if os.path.exists(os.path.join(keep, "fill")):
                os.remove(os.path.join(keep, "fill"))
            self.check_outcome(r, keep, status, NO_SPACE, args)
            if absent:
                self.assertFalse(os.path.exists(os.path.join(keep, absent)), args)
            if status == 1 and "--at" in args:
                self.assertEqual(sorted(os.listdir(os.path.join(keep, "at"))),
                                 ["000.png", "001.png"], r.stderr)

    def test_an_output_linked_to_dev_full_fails_with_the_reason(self):
        tmp = harness.make_tmpdir()
        link = os.path.join(tmp, "sheet.png")
        os.symlink("/dev/full", link)
        stills = os.path.join(tmp, "stills")
        os.makedirs(stills)
        os.symlink("/dev/full", os.path.join(stills, "001.png"))
        for args in (["--size", "320x240", "--sheet", link],
                     ["--size", "320x240", "--at", "1,2,3", "--out", stills]):
            r = subprocess.run([CAPTURE, *args], cwd=DATA, env=capture_env(),
                               capture_output=True, text=True, timeout=600)
            self.check_outcome(r, tmp, 1, NO_SPACE, args)
        self.assertEqual(sorted(os.listdir(stills)), ["000.png", "001.png"])
        self.assertEqual(os.readlink(os.path.join(stills, "001.png")), "/dev/full")

    def interrupt_while_writing(self, args, folder, sig, before_signal=None):
        """Starts the capture, waits for its temporary file in `folder`, calls
        before_signal(), sends `sig`; returns the exit status and the capture's stderr."""
        # SIGQUIT would dump a core into the data folder: no core files.
        no_core = lambda: resource.setrlimit(resource.RLIMIT_CORE, (0, 0))  # noqa: E731
        proc = subprocess.Popen([CAPTURE, *args], cwd=DATA, env=capture_env(),
                                stderr=subprocess.PIPE, text=True, start_new_session=True,
                                preexec_fn=no_core)
        try:
            proc.stderr.readline()  # "data from ...": the folder's probe is gone by now
            deadline = time.time() + 300
            while not os.listdir(folder) and proc.poll() is None and time.time() < deadline:
                time.sleep(0.005)
            self.assertIsNone(proc.poll(), "the capture ended before it was interrupted")
            if before_signal:
                before_signal()
            os.kill(proc.pid, sig)
            proc.wait(timeout=60)
            err = proc.stderr.read()
        finally:
            harness.stop(proc)
        return proc.returncode, err

    def test_an_interrupted_capture_leaves_nothing_under_the_final_name(self):
        # A large picture takes seconds to encode: the signal comes while it is written.
        for sig in (signal.SIGKILL, signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT):
            folder = os.path.join(harness.make_tmpdir(), "stills")
            status, _ = self.interrupt_while_writing(
                ["--size", "4096x3072", "--at", "1", "--out", folder], folder, sig)
            self.assertEqual(status, -sig, sig)
            names = os.listdir(folder)
            self.assertNotIn("000.png", names, sig)
            if sig != signal.SIGKILL:  # a handler can only run for these
                self.assertEqual(names, [], sig)

    def test_a_folder_renamed_while_writing_is_still_cleaned(self):
        # The clean-up goes through the folder, not its old path: a picture and a video.
        tmp = harness.make_tmpdir()
        cases = [
            # (arguments, output, signal, seconds between the rename and the signal)
            (["--size", "4096x3072", "--at", "1", "--out"], "stills", signal.SIGTERM, 0),
            (["--size", "160x120", "--fps", "10", "--video"], "show.mp4", signal.SIGQUIT, 0.5),
        ]
        for i, (args, name, sig, pause) in enumerate(cases):
            folder, moved = os.path.join(tmp, "out%d" % i), os.path.join(tmp, "moved%d" % i)
            os.makedirs(folder)
            target = os.path.join(folder, name)
            watch = target if name == "stills" else folder
            status, err = self.interrupt_while_writing(
                args + [target], watch, sig,
                before_signal=lambda: (os.rename(folder, moved), time.sleep(pause)))
            self.assertEqual(status, -sig, (args, err))
            left = [n for _, _, files in os.walk(moved) for n in files]
            self.assertEqual(left, [], (args, err))

    def test_a_video_whose_folder_is_renamed_is_made_in_the_moved_folder(self):
        tmp = harness.make_tmpdir()
        folder, moved = os.path.join(tmp, "out"), os.path.join(tmp, "moved")
        os.makedirs(folder)
        proc = subprocess.Popen([CAPTURE, "--size", "160x120", "--fps", "10", "--video",
                                 os.path.join(folder, "show.mp4")], cwd=DATA, env=capture_env(),
                                stderr=subprocess.PIPE, text=True, start_new_session=True)
        try:
            proc.stderr.readline()  # "data from ...": the folder's probe is gone by now
            deadline = time.time() + 300
            while not os.listdir(folder) and proc.poll() is None and time.time() < deadline:
                time.sleep(0.005)
            self.assertIsNone(proc.poll(), "the capture ended before its folder was moved")
            time.sleep(0.5)  # ffmpeg has the file open by now
            os.rename(folder, moved)
            err = proc.communicate(timeout=600)[1]
        finally:
            harness.stop(proc)
        self.assertEqual(proc.returncode, 0, err)
        self.assertEqual(os.listdir(moved), ["show.mp4"], err)
        self.assertIn("the video is " + os.path.join(moved, "show.mp4"), err)
        probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration",
                                "-of", "csv=p=0", os.path.join(moved, "show.mp4")],
                               capture_output=True, text=True)
        self.assertEqual(probe.returncode, 0, probe.stderr)
        self.assertGreater(float(probe.stdout), 130.0)

    def test_a_folder_it_may_not_write_says_permission_denied(self):
        if os.geteuid() != 0 or shutil.which("setpriv") is None:
            self.skipTest("needs root and setpriv to run the capture as an ordinary user")
        tmp = harness.make_tmpdir()
        os.chmod(tmp, 0o755)
        locked = os.path.join(tmp, "locked")
        os.makedirs(locked)  # root's, 0755: nobody may not write there
        nobody = ["setpriv", "--reuid", "nobody", "--regid", "nogroup", "--clear-groups"]
        for args in (["--at", "1", "--out", os.path.join(locked, "new", "stills")],
                     ["--at", "1", "--out", locked],
                     ["--sheet", os.path.join(locked, "sheet.png")]):
            r = subprocess.run(nobody + [CAPTURE, *args], cwd=DATA, env=capture_env(),
                               capture_output=True, text=True, timeout=120)
            self.assertEqual(r.returncode, 2, (args, r.stderr))
            self.assertIn("Permission denied", r.stderr, args)
            self.assertEqual(os.listdir(locked), [], args)

    def test_a_read_only_mount_says_read_only_file_system(self):
        unshare = harness.own_mount_namespace()
        if unshare is None:
            self.skipTest("unshare -m is not permitted here, so no read-only bind mount can be made")
        tmp = harness.make_tmpdir()
        source = os.path.join(tmp, "source")
        os.makedirs(source)
        read_only = 'mount --bind "%s" "$M" && mount -o remount,bind,ro "$M"' % source
        for i, args in enumerate((["--at", "1", "--out", "{M}/new"], ["--at", "1", "--out", "{M}"],
                                  ["--sheet", "{M}/sheet.png"])):
            r = in_namespace(unshare, read_only, args, os.path.join(tmp, "case%d" % i))
            if r.returncode == MOUNT_FAILED:
                self.skipTest("no read-only bind mount in the private namespace: %s" % r.stderr)
            self.assertEqual(r.returncode, 2, (args, r.stderr))
            self.assertIn("Read-only file system", r.stderr, args)
        self.assertEqual(os.listdir(source), [])


if __name__ == "__main__":
    unittest.main()
