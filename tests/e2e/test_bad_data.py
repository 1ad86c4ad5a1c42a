"""The bad-data matrix: each of the 37 data files missing, empty, cut in half, replaced by
random bytes of the same length, and replaced by a directory, run through quorl-capture
(the program's own start-up, offscreen). A file the show cannot do without gives its
message (on stderr as "<caption>: <text>") and exit status 255; the mesh never stops the
show, and music cut in half plays and then falls silent. No case may end by a signal.
Cases run side by side, each in a data folder of its own made of hard links."""
import concurrent.futures
import os
import random
import re
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

CAPTURE = os.path.join(harness.BUILD, "quorl-capture")
VARIANTS = ("missing", "empty", "half", "random", "directory")
MUSIC_LINE = "Error: Sound error."


def data_files(root):
    files = []
    for folder in ("shaders", "images", "3d", "music"):
        files += sorted(folder + "/" + name for name in os.listdir(os.path.join(root, folder)))
    return files


def expected(rel, variant):
    """(exit status, stderr line pattern or None) for one case."""
    if rel.startswith("3d/"):
        return 0, None
    if rel.startswith("music/"):
        return (0, None) if variant == "half" else (255, re.escape(MUSIC_LINE))
    caption = re.escape(rel) + ": "
    if rel.startswith("shaders/"):
        if variant in ("missing", "directory"):
            return 255, caption + "Could not open$"
        # The driver's compile log: its wording is Mesa's, but it is the file's and not empty.
        return 255, "(%s|Program Error: ).+" % caption
    if variant in ("missing", "directory"):
        return 255, caption + re.escape("File error.") + "$"
    if variant in ("empty", "random"):
        return 255, caption + "unknown image type$"
    return 255, caption + ("truncated png$" if rel.endswith(".png") else "corrupt jpeg$")


def break_file(path, variant, seed):
    with open(path, "rb") as f:
        original = f.read()
    os.remove(path)  # a hard link: the shared copy stays as it was
    if variant == "missing":
        return
    if variant == "directory":
        os.mkdir(path)
        return
    if variant == "empty":
        content = b""
    elif variant == "half":
        content = original[:len(original) // 2]
    else:
        content = random.Random(seed).randbytes(len(original))
    with open(path, "wb") as f:
        f.write(content)


def run_case(master, scratch, index, rel, variant):
    """Runs one case; returns a description of what went wrong, or None."""
    case = os.path.join(scratch, "case%03d" % index)
    data = os.path.join(case, "data")
    shutil.copytree(master, data, copy_function=os.link)
    break_file(os.path.join(data, rel), variant, index)
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env["SDL_AUDIODRIVER"] = "dummy"
    out = os.path.join(case, "out")
    try:
        r = subprocess.run([CAPTURE, "--size", "32x32", "--at", "0", "--out", out], cwd=data,
                           env=env, capture_output=True, text=True, timeout=150)
    except subprocess.TimeoutExpired:
        return "did not finish in 150 s"
    status, pattern = expected(rel, variant)
    what = "exit %d, stderr %r" % (r.returncode, r.stderr[-600:])
    if r.returncode < 0:
        return "ended by signal %d; %s" % (-r.returncode, what)
    if r.returncode != status:
        return "wanted exit %d; %s" % (status, what)
    if pattern is None:
        if not os.path.exists(os.path.join(out, "000.png")):
            return "no frame written; " + what
    elif not any(re.match(pattern, line) for line in r.stderr.splitlines()):
        return "no stderr line like %r; %s" % (pattern, what)
    shutil.rmtree(case, ignore_errors=True)
    return None


class BadDataMatrix(unittest.TestCase):
    def test_every_data_file_broken_every_way(self):
        scratch = harness.make_tmpdir()
        master = os.path.join(scratch, "master")
        shutil.copytree(os.path.join(harness.REPO, "data"), master)
        files = data_files(master)
        self.assertEqual(len(files), 37, files)
        cases = [(rel, variant) for rel in files for variant in VARIANTS]
        failures = []
        workers = max(2, min(6, 2 * (os.cpu_count() or 1)))
        with concurrent.futures.ThreadPoolExecutor(max_workers=workers) as pool:
            futures = {pool.submit(run_case, master, scratch, i, rel, variant): (rel, variant)
                       for i, (rel, variant) in enumerate(cases)}
            for future in concurrent.futures.as_completed(futures):
                problem = future.result()
                if problem:
                    rel, variant = futures[future]
                    failures.append("%s %s: %s" % (rel, variant, problem))
        self.assertEqual(failures, [], "\n".join(sorted(failures)))


if __name__ == "__main__":
    unittest.main()
