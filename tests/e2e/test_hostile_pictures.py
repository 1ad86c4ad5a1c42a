"""Crafted pictures that crashed the old decoder, dropped into a copy of data/: the real
program shows the box with the decoder's reason and the picture's path as caption and exits
with status 255, never by a signal."""
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

FORGE = os.path.join(harness.BUILD, "tests", "quorl_image_forge")


class HostilePictures(unittest.TestCase):
    def test_crafted_pictures_give_their_box_and_exit_255(self):
        cases = (("huffman-overflow", "images/title.jpg", "corrupt jpeg"),
                 ("baseline-undefined-ac", "images/frame.jpg", "corrupt jpeg"),
                 ("progressive-undefined-ac", "images/mus.jpg", "progressive jpeg"),
                 ("png-bomb", "images/brick.png", "too large"))
        for kind, rel, reason in cases:
            with self.subTest(kind):
                data = harness.copy_data(harness.make_tmpdir())
                subprocess.run([FORGE, kind, os.path.join(data, rel)], check=True)
                harness.expect_box_and_exit(data, rel, reason)


if __name__ == "__main__":
    unittest.main()
