"""The packaged launcher (`quorl` in /usr/games), as configured into the build folder: it
answers --help and --version itself and refuses any other argument before the program
starts; with no argument it starts the program, with none, in the installed data folder. A
tree laid out as the package's, with a stand-in program that records how it was started."""
import os
import re
import shutil
import stat
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

LAUNCHER = os.path.join(harness.BUILD, "packaging", "quorl")


def project_version():
    with open(os.path.join(harness.REPO, "CMakeLists.txt")) as f:
        return re.search(r"project\(quorl VERSION ([0-9.]+)", f.read()).group(1)


class Launcher(unittest.TestCase):
    def setUp(self):
        """usr/games/quorl, usr/lib/quorl/quorl (the stand-in), usr/share/quorl."""
        self.usr = os.path.join(harness.make_tmpdir(), "usr")
        for d in ("games", "lib/quorl", "share/quorl"):
            os.makedirs(os.path.join(self.usr, d))
        self.launcher = os.path.join(self.usr, "games", "quorl")
        shutil.copy(LAUNCHER, self.launcher)
        self.record = os.path.join(self.usr, "started")
        program = os.path.join(self.usr, "lib", "quorl", "quorl")
        with open(program, "w") as f:
            f.write('#!/bin/sh\n{ pwd; echo "$#"; } > "%s"\n' % self.record)
        for path in (self.launcher, program):
            os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)

    def run_launcher(self, *args):
        return subprocess.run([self.launcher, *args], cwd=harness.make_tmpdir(),
                              capture_output=True, text=True, timeout=30)

    def test_help_and_version_are_answered_without_starting_the_show(self):
        for flag in ("-h", "--help"):
            r = self.run_launcher(flag)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertTrue(r.stdout.startswith("usage: quorl [--help | --version]\n"), r.stdout)
            self.assertIn("Escape", r.stdout)
            self.assertEqual(r.stderr, "")
        r = self.run_launcher("--version")
        self.assertEqual((r.returncode, r.stdout, r.stderr),
                         (0, "quorl %s\n" % project_version(), ""))
        with open(os.path.join(harness.REPO, "packaging", "changelog")) as f:
            self.assertTrue(f.readline().startswith("quorl (%s)" % project_version()))
        self.assertFalse(os.path.exists(self.record), "the program was started")

    def test_any_other_argument_is_refused_with_usage_and_2(self):
        for args in (["--bogus"], ["play"], ["--help", "extra"], ["--version", "-h"], [""]):
            r = self.run_launcher(*args)
            self.assertEqual(r.returncode, 2, args)
            self.assertEqual(r.stdout, "", args)
            lines = r.stderr.splitlines()
            self.assertIn("unexpected argument '%s'" % args[0], lines[0], args)
            self.assertEqual(lines[1], "usage: quorl [--help | --version]", args)
            self.assertFalse(os.path.exists(self.record), ("the program was started", args))

    def test_no_argument_starts_the_program_in_the_data_folder(self):
        r = self.run_launcher()
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(self.record) as f:
            folder, count = f.read().split()
        self.assertEqual(folder, os.path.join(self.usr, "share", "quorl"))
        self.assertEqual(count, "0")


if __name__ == "__main__":
    unittest.main()
