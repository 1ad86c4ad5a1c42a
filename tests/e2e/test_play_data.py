"""play.sh when data/ or parts of it are gone: it names what is missing and how to get it
back (and that advice works), exits 1 before building anything, and with the data whole it
goes on to set up and play. A copy of play.sh in a small repository of the test's own, with
stand-ins for setup.sh and the program that record being run."""
import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

DATA_FILES = ["data/shaders/projector.fs", "data/images/frame.jpg", "data/3d/cube.obj",
              "data/music/quorl.ogg"]


def git(repo, *args):
    subprocess.run(["git", "-c", "user.name=t", "-c", "user.email=t@t", *args], cwd=repo,
                   check=True, capture_output=True)


class PlayData(unittest.TestCase):
    def setUp(self):
        self.repo = os.path.join(harness.make_tmpdir(), "quorl")
        os.makedirs(os.path.join(self.repo, "build"))
        shutil.copy(os.path.join(harness.REPO, "play.sh"), self.repo)
        self.ran = os.path.join(self.repo, "ran")
        stubs = {"setup.sh": 'echo setup >> "%s"\n' % self.ran,
                 "build/quorl": 'echo "quorl in $(pwd)" >> "%s"\n' % self.ran}
        for name, body in stubs.items():
            path = os.path.join(self.repo, name)
            with open(path, "w") as f:
                f.write("#!/bin/sh\n" + body)
            os.chmod(path, 0o755)
        for name in DATA_FILES:
            os.makedirs(os.path.dirname(os.path.join(self.repo, name)), exist_ok=True)
            with open(os.path.join(self.repo, name), "w") as f:
                f.write(name)
        git(self.repo, "init", "-q")
        git(self.repo, "add", ".")
        git(self.repo, "commit", "-q", "-m", "data")

    def play(self):
        env = dict(os.environ, DISPLAY=":quorl-test", SDL_AUDIODRIVER="dummy")
        r = subprocess.run(["./play.sh"], cwd=self.repo, env=env, capture_output=True,
                           text=True, timeout=60)
        ran = open(self.ran).read().splitlines() if os.path.exists(self.ran) else []
        if os.path.exists(self.ran):
            os.remove(self.ran)
        return r, ran

    def expect_refused(self, r, ran, *texts):
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertEqual(ran, [], "built or played without its data")
        self.assertNotIn("cd:", r.stderr)  # not bash's own complaint
        for text in texts:
            self.assertIn(text, r.stderr)

    def test_whole_data_plays(self):
        r, ran = self.play()
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(ran, ["setup", "quorl in " + os.path.join(self.repo, "data")])

    def test_missing_data_is_named_and_the_advice_restores_it(self):
        shutil.rmtree(os.path.join(self.repo, "data"))
        r, ran = self.play()
        self.expect_refused(r, ran, "data/ is missing", "git checkout -- data")
        subprocess.run(["git", "checkout", "--", "data"], cwd=self.repo, check=True)
        self.assertEqual(self.play()[0].returncode, 0)

        os.remove(os.path.join(self.repo, DATA_FILES[1]))
        os.remove(os.path.join(self.repo, DATA_FILES[3]))
        r, ran = self.play()
        self.expect_refused(r, ran, "2 of the show's files are missing", "  " + DATA_FILES[1],
                            "  " + DATA_FILES[3], "git checkout -- data")
        self.assertNotIn(DATA_FILES[0], r.stderr)

    def test_outside_a_clone_the_missing_folders_are_named(self):
        shutil.rmtree(os.path.join(self.repo, ".git"))
        shutil.rmtree(os.path.join(self.repo, "data", "music"))
        r, ran = self.play()
        self.expect_refused(r, ran, "data/music/", "fresh copy")
        self.assertNotIn("data/images", r.stderr)


if __name__ == "__main__":
    unittest.main()
