"""The frei0r module's reference (reference.py) against the plug-in itself: frames widened to 16
bits, run through braidel-run with every kernel and field, must come out as the reference says,
at 16 bits exactly and with --depth 8. The module's tests then hold it to the same reference in
every host.
"""

import os
import subprocess
import tempfile
import unittest

import numpy as np

import reference
import testimages

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

LAUNCHER = os.path.join(ROOT, "scripts", "wine-braidel-run")
SIZES = [(1, 5), (5, 1), (7, 3), (9, 9), (13, 6), (64, 33), (300, 41)]


def read_rgba_png(path, depth):
    image = testimages.read_png(path)
    assert (image.channels, image.bits) == (4, depth), (image.channels, image.bits)
    return image.array()


def expected(frame, kernel, field, depth):
    if depth == 8:
        return reference.rebuild8(frame, kernel, field)
    return reference.rebuild16(reference.widen(frame), kernel, field)


class ReferenceAgainstBraidelRun(unittest.TestCase):
    def test_every_kernel_and_field(self):
        with tempfile.TemporaryDirectory(prefix="braidel-reference-") as folder:
            frames = {}
            for width, height in SIZES:
                name = os.path.join(folder, "frame-%dx%d.png" % (width, height))
                frames[name] = reference.random_frame(width, height, width * 31 + height)
                wide = reference.widen(frames[name])
                testimages.write_png(name, testimages.from_array(wide, 16))
            settings = [(kernel, field, depth) for kernel in reference.KERNELS
                        for field in reference.FIELDS for depth in (16, 8)]
            for kernel, field, depth in settings:
                out = os.path.join(folder, "%s-%s-%d" % (kernel, field, depth))
                result = subprocess.run(
                    [LAUNCHER, "--quiet", "--mode", kernel, "--field", field, "--depth",
                     str(depth), "--out-dir", out, *frames], stdin=subprocess.DEVNULL,
                    capture_output=True, text=True, timeout=300)
                self.assertEqual(result.returncode, 0, result.stderr)
                for name, frame in frames.items():
                    with self.subTest(frame=os.path.basename(name), kernel=kernel, field=field,
                                      depth=depth):
                        got = read_rgba_png(os.path.join(out, os.path.basename(name)), depth)
                        np.testing.assert_array_equal(got, expected(frame, kernel, field, depth))


if __name__ == "__main__":
    unittest.main()
