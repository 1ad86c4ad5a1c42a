"""The capture's run report counts, among the film frames it drew, those that rendered a
scene: the nine scene slots (star tunnel, planes, brick tunnel, metaballs, lit cube,
textured cube, the second brick tunnel, the Mandelbrot zoom, the second metaballs) and no
white frame, writing strip or still picture. In JSON and in the readable text alike."""
import json
import os
import re
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

CAPTURE = os.path.join(harness.BUILD, "quorl-capture")
DATA = os.path.join(harness.REPO, "data")

# At 16 frames a second every display frame is an advance that draws its own film frame
# (a still or the strip reuses the film frame drawn before it: here a white one).
SCENE_MIDDLES = [36.5, 41.5, 51.5, 61.5, 71.5, 81.5, 91.5, 101.5, 111.5]
NO_SCENE = [1.0, 3.0, 6.5, 130.0]  # white, strip, present (after white), the last white


def scenes_reported(times, stats):
    """The scene count of a capture of `times`, as the report in `stats` form says it."""
    out = harness.make_tmpdir()
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env.pop("QUORL_STATS", None)
    if stats:
        env["QUORL_STATS"] = stats
    r = subprocess.run([CAPTURE, "--size", "96x72", "--fps", "16", "--stats", "--at",
                        ",".join(str(t) for t in times), "--out", out], cwd=DATA, env=env,
                       capture_output=True, text=True, timeout=300)
    assert r.returncode == 0, r.stderr
    if stats == "json":
        objects = [line for line in r.stderr.splitlines() if line.startswith("{")]
        assert len(objects) == 1, r.stderr
        return json.loads(objects[0])["film"]["scenes"]
    m = re.search(r"(\d+) rendered a scene", r.stderr)
    assert m, r.stderr
    return int(m.group(1))


class CaptureReport(unittest.TestCase):
    def test_scene_count_is_the_scene_frames_drawn(self):
        cases = [
            ("json", sorted(SCENE_MIDDLES + NO_SCENE), len(SCENE_MIDDLES)),
            ("1", sorted(SCENE_MIDDLES[::2] + NO_SCENE), len(SCENE_MIDDLES[::2])),
            ("json", NO_SCENE, 0),
        ]
        for stats, times, expected in cases:
            with self.subTest(stats=stats, times=times):
                self.assertEqual(scenes_reported(times, stats), expected)


if __name__ == "__main__":
    unittest.main()
