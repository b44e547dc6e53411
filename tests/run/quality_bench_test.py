"""The quality benchmark (bench/quality.py) on small crops, so that it cannot rot unseen: each
tool rebuilds the rows the benchmark scores, the photographs' table holds only tools that do not
read the dropped rows, and the script runs start to finish on one tiny picture.

The native braidel-run is BRAIDEL_RUN; FFmpeg and scikit-image are Debian's.
"""

import json
import os
import subprocess
import sys
import unittest

import numpy as np

BENCH = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(
    __file__)))), "bench")
sys.path.insert(0, BENCH)
import quality  # noqa: E402

PROGRAM = os.environ["BRAIDEL_RUN"]
TINY = (48, 32)


def bench(*arguments):
    return subprocess.run([sys.executable, os.path.join(BENCH, "quality.py"), PROGRAM,
                           *arguments], capture_output=True, text=True, timeout=300)


class ToolTest(unittest.TestCase):
    def test_each_tool_rebuilds_the_scored_rows_and_no_others(self):
        truth = quality.load("astronaut.png", TINY)
        noise = np.random.default_rng(7).integers(0, 65536, truth.shape, dtype=np.uint16)
        for tool in quality.TOOLS:
            for field in quality.FIELDS:
                with self.subTest(tool=tool.name, field=field):
                    black = quality.rebuild(PROGRAM, tool, quality.dropped(truth, field), field)
                    kept = quality.rebuilt_rows("odd" if field == "even" else "even")
                    if tool.keeps_kept_rows:
                        # yadif works at 8 bits, so its kept rows may move by one step.
                        self.assertGreater(quality.scores(truth, black, kept)[0], 45)
                    other = truth.copy()
                    other[quality.rebuilt_rows(field)] = noise[quality.rebuilt_rows(field)]
                    noisy = quality.rebuild(PROGRAM, tool, other, field)
                    rows = quality.rebuilt_rows(field)
                    self.assertEqual(not np.array_equal(black[rows], noisy[rows]),
                                     tool.reads_dropped_rows)

    def test_pictures_are_cropped_to_even_sides_about_the_centre(self):
        # size asked, the (height, width) loaded; astronaut.png is 512 x 512
        for size, shape in ((None, (512, 512)), ((48, 32), (32, 48)), ((47, 31), (30, 46)),
                            ((9999, 3), (2, 512))):
            with self.subTest(size=size):
                frame = quality.load("astronaut.png", size)
                self.assertEqual(frame.shape, (*shape, 4))
                self.assertTrue((frame[:, :, 3] == quality.OPAQUE).all())
        whole, crop = quality.load("astronaut.png"), quality.load("astronaut.png", (48, 32))
        np.testing.assert_array_equal(crop, whole[240:272, 232:280])


class ScriptTest(unittest.TestCase):
    def test_one_tiny_picture_start_to_finish(self):
        result = bench("--pictures", "camera", "--size", "%dx%d" % TINY, "--json")
        self.assertEqual(result.returncode, 0, result.stderr)
        table = json.loads(result.stdout)
        scored = {(r["field"], r["tool"]) for r in table["pictures"]}
        self.assertEqual(scored, {(f, t.name) for f in quality.FIELDS
                                  for t in quality.STILL_TOOLS})
        self.assertEqual([r["tool"] for r in table["stereo"]][1:],
                         [t.name for t in quality.TOOLS])
        for row in table["pictures"] + table["stereo"]:
            with self.subTest(row=row):
                self.assertTrue(10 < row["psnr"] < 80)
                self.assertTrue(0 < row["ssim"] <= 1)
        untouched, *rebuilt = table["stereo"]
        linear = next(r for r in rebuilt if r["tool"] == "linear")
        self.assertGreater(linear["psnr"], untouched["psnr"] + 3)

    def test_the_printed_table(self):
        result = bench("--pictures", "coins,rocket", "--size", "%dx%d" % TINY)
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.splitlines()
        for start in ("picture ", "coins      even", "coins      odd", "rocket     odd", "mean ",
                      "linear against weighted: ahead on ", "tool ", "weighted ",
                      "stereo3d+scale "):
            with self.subTest(line=start):
                self.assertTrue(any(line.startswith(start) for line in lines), result.stdout)

    def test_bad_arguments_end_with_a_usage_line(self):
        for arguments in (["--pictures", "nosuch"], ["--size", "1x40"], ["--size", "big"]):
            with self.subTest(arguments=arguments):
                result = bench(*arguments)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stdout, "")
                self.assertIn("quality.py: error:", result.stderr)


if __name__ == "__main__":
    unittest.main()
