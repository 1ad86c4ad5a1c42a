"""web/build.sh and the deb-src list it adds to apt's sources: present while the decoders'
source packages are fetched, gone afterwards however the fetch ends (done, failed, or
interrupted as Ctrl+C would). Runs in a mount namespace of its own with a tmpfs over
/etc/apt/sources.list.d holding one Debian entry, and stand-ins for apt-get and the
compilers on PATH, so the machine's apt is never touched."""
import os
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

BUILD_SH = os.path.join(harness.REPO, "web", "build.sh")
LIST = "/etc/apt/sources.list.d/quorl-web-src.sources"
MOUNT_FAILED = 97
DEBIAN_ENTRY = """Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
"""
# apt-get as build.sh calls it: `update` copies the list it was given; `source` records
# whether the list is there, makes the .dsc, or fails for $FAIL_PACKAGE, or waits ($SLOW).
APT_GET = r"""#!/bin/sh
case " $* " in
*" update "*) cp "%(list)s" "$OUT/list-at-update" ;;
*" source "*)
  for p; do pkg=$p; done
  [ -f "%(list)s" ] && echo "source $pkg with the list" >> "$OUT/log"
  case "$pkg" in "${FAIL_PACKAGE:-none}"*) exit 100 ;; esac
  [ -z "${SLOW:-}" ] || sleep "$SLOW"
  touch "${pkg%%%%/*}_1.0-1.dsc" ;;
esac
exit 0
"""
WRAPPER = """trap 'true' INT TERM
mount -t tmpfs quorl-test /etc/apt/sources.list.d || exit %d
cp "$OUT/debian.sources" /etc/apt/sources.list.d/
"$@"
rc=$?
# After a signal the fetch's own shell may still be cleaning up: a moment for it.
for i in 1 2 3 4 5 6 7 8 9 10; do [ -e %s ] || break; sleep 0.2; done
ls -A /etc/apt/sources.list.d > "$OUT/after"
exit $rc
""" % (MOUNT_FAILED, LIST)


class WebBuildSources(unittest.TestCase):
    def setUp(self):
        self.unshare = harness.own_mount_namespace()
        if self.unshare is None:
            self.skipTest("unshare -m is not permitted here: no private sources folder")

    def start(self, **env_extra):
        out = harness.make_tmpdir()
        stubs = os.path.join(out, "bin")
        os.makedirs(stubs)
        with open(os.path.join(out, "debian.sources"), "w") as f:
            f.write(DEBIAN_ENTRY)
        # The build tools are there; unpacking fails, so the run ends after the fetch.
        bodies = {"apt-get": APT_GET % {"list": LIST}, "dpkg-source": "#!/bin/sh\nexit 1\n"}
        for tool in ("emcc", "cmake", "make", "xz"):
            bodies[tool] = "#!/bin/sh\nexit 0\n"
        for tool, body in bodies.items():
            with open(os.path.join(stubs, tool), "w") as f:
                f.write(body)
            os.chmod(os.path.join(stubs, tool), 0o755)
        env = dict(os.environ, OUT=out, PATH=stubs + ":" + os.environ["PATH"],
                   QUORL_WEB_CACHE=os.path.join(out, "cache"),
                   QUORL_WEB_BUILD=os.path.join(out, "build"), **env_extra)
        proc = subprocess.Popen(self.unshare + ["sh", "-c", WRAPPER, "sh", "bash", BUILD_SH],
                                env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                text=True, start_new_session=True)
        return proc, out

    def finish(self, proc, out):
        _, err = proc.communicate(timeout=120)
        if proc.returncode == MOUNT_FAILED:
            self.skipTest("no tmpfs in the private namespace: %s" % err)
        log = open(os.path.join(out, "log")).read() if os.path.exists(
            os.path.join(out, "log")) else ""
        with open(os.path.join(out, "after")) as f:
            after = f.read().split()
        return err, log, after

    def check_list_was_used_and_is_gone(self, out, log, after, err):
        with open(os.path.join(out, "list-at-update")) as f:
            self.assertIn("Types: deb-src", f.read())
        self.assertIn("with the list", log)
        self.assertEqual(after, ["debian.sources"], err)

    def test_the_list_is_gone_after_a_fetch_that_is_done_or_fails(self):
        proc, out = self.start()
        err, log, after = self.finish(proc, out)
        for p in ("zlib", "libogg", "libvorbis", "libjpeg-turbo", "libspng"):
            self.assertIn("source %s with the list" % p, log)
        self.check_list_was_used_and_is_gone(out, log, after, err)

        proc, out = self.start(FAIL_PACKAGE="libvorbis")
        err, log, after = self.finish(proc, out)
        self.assertNotEqual(proc.returncode, 0)
        self.assertIn("cannot fetch the source package libvorbis", err)
        self.check_list_was_used_and_is_gone(out, log, after, err)

    def test_the_list_is_gone_after_an_interrupted_fetch(self):
        for sig in (signal.SIGINT, signal.SIGTERM):
            proc, out = self.start(SLOW="30")
            log = os.path.join(out, "log")
            deadline = time.time() + 60
            while not os.path.exists(log) and proc.poll() is None and time.time() < deadline:
                time.sleep(0.05)
            self.assertIsNone(proc.poll(), "build.sh ended before the fetch")
            time.sleep(0.2)
            started = time.time()
            os.killpg(proc.pid, sig)  # as the terminal does: the whole group
            err, log_text, after = self.finish(proc, out)
            self.assertLess(time.time() - started, 10, "the fetch went on after the signal")
            self.assertNotEqual(proc.returncode, 0, sig)
            self.check_list_was_used_and_is_gone(out, log_text, after, err)


if __name__ == "__main__":
    unittest.main()
