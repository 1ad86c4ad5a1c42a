"""Broken data: each failure shows its box (caption and text, and the same line on stderr)
and ends with exit status 255; a missing mesh does not stop the show."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402


class StartupFailures(unittest.TestCase):
    def setUp(self):
        self.data = harness.copy_data(harness.make_tmpdir())

    def path(self, rel):
        return os.path.join(self.data, rel)

    def test_missing_shader_file(self):
        os.remove(self.path("shaders/plasma.fs"))
        harness.expect_box_and_exit(self.data, "shaders/plasma.fs", "Could not open")

    def test_shader_that_does_not_compile_shows_its_log(self):
        with open(self.path("shaders/cube.vs"), "w") as f:
            f.write("#version 130\nvoid main() { this is not glsl; }\n")
        proc = harness.start(self.data)
        self.assertTrue(harness.dismiss_box("shaders/cube.vs"))
        status, _, err = harness.finish(proc)
        self.assertEqual(status, 255)
        lines = [l for l in err.splitlines() if l.startswith("shaders/cube.vs: ")]
        self.assertTrue(lines and len(lines[0]) > len("shaders/cube.vs: "), err)

    def test_missing_picture(self):
        os.remove(self.path("images/greets2.jpg"))
        harness.expect_box_and_exit(self.data, "images/greets2.jpg", "File error.")

    def test_undecodable_picture_shows_the_decoders_reason(self):
        with open(self.path("images/title.jpg"), "wb") as f:
            f.write(b"this is no picture at all" * 10)
        harness.expect_box_and_exit(self.data, "images/title.jpg", "unknown image type")

    def test_missing_mesh_does_not_stop_the_show(self):
        os.remove(self.path("3d/cube.obj"))
        harness.expect_show_plays(self.data)


if __name__ == "__main__":
    harness.main_needing_display()
