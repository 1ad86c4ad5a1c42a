"""Data files saved by an editor that writes UTF-8's byte-order mark: the mark is no text, so
a shader and the mesh that start with one load as without it. The real compiler refuses a
shader that still holds the mark, with a message that never names it."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

MARK = b"\xef\xbb\xbf"


class ByteOrderMark(unittest.TestCase):
    def test_marked_shaders_and_mesh_play(self):
        data = harness.copy_data(harness.make_tmpdir())
        for rel in ("shaders/cube.vs", "shaders/projector.fs", "3d/cube.obj"):
            path = os.path.join(data, rel)
            with open(path, "rb") as f:
                body = f.read()
            with open(path, "wb") as f:
                f.write(MARK + body)
        harness.expect_show_plays(data)


if __name__ == "__main__":
    harness.main_needing_display()
