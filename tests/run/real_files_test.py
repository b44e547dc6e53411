"""Real image files through braidel-run (run_test.PROGRAM), in a few batch runs.

  real_files_test.py SOURCES [unittest options]

SOURCES holds the unpacked libpng and libtiff source packages. Their test images, generated TIFF
variants and files that must be refused go through --mode copy; every output must equal the
independent decode (tests/image_files/references.py) rebuilt by the model (reference.py), every
refusal must be one line. Metadata is carried between PNG and TIFF and read back with pypng and
tifffile.
"""
import pathlib
import re
import shutil
import sys
import tempfile
import unittest

import numpy as np

import reference
import references
from run_test import run

SOURCES = None
WORK = None
CASES = []
BATCHES = []  # (cases, their paths as typed, exit code, stderr lines)


def batch(out, inputs, *options, cwd=None):
    """One run over `inputs` with --out-dir `out`: (exit code, stderr lines)."""
    result = run("--mode", "copy", "--jobs", "2", *options, "--out-dir", str(out),
                 *map(str, inputs), cwd=cwd, timeout=600)
    return result.returncode, result.stderr.decode().splitlines()


def rebuilt(pixels):
    """The copy-line rebuild of the even lines, as the model does it. That kernel only chooses
    rows, so the model runs on a one-pixel frame of row numbers (fast on 24-megapixel files)."""
    numbers = reference.rebuild([[(y,)] for y in range(len(pixels))], "copy", 0)
    return pixels[[row[0][0] for row in numbers]]


def read_output(path):
    """(RGBA16 pixels, bits per channel, channels) of a written file, by pypng or tifffile."""
    if path.read_bytes()[:4] == b"\x89PNG":
        pixels, info = references.png_pixels(references.png_reader(path))
        return pixels, info["bitdepth"], info["planes"]
    page, _, _ = references.tiff_tags(path)
    return references.tiff_reference(path), page.bitspersample, page.samplesperpixel


def lines_about(lines, path):
    prefix = f"braidel-run: {path}"
    return [line for line in lines if line.startswith((prefix + ":", prefix + " "))]


def leftovers(folder):
    return [p.name for p in folder.iterdir() if p.name.startswith(".braidel-")]


def case(name):
    return next(c for c in CASES if c.name == name)


# TIFF compression tags in and out: PackBits is read, never written (Deflate instead).
KEPT_COMPRESSION = {1: 1, 5: 5, 8: 8, 32946: 8, 32773: 8}


def setUpModule():
    global WORK, CASES
    WORK = pathlib.Path(tempfile.mkdtemp(prefix="braidel-real-files-"))
    rng = np.random.default_rng(11)
    library = references.library_cases(SOURCES)
    generated = references.generated_cases(WORK, rng) + references.refusal_cases(WORK, rng)
    CASES = library + generated
    # A batch per folder, named from there: all the absolute paths together would pass the
    # 32767 characters of a Windows command line.
    for cases, folder in ((library, SOURCES), (generated, WORK)):
        typed = [c.path.relative_to(folder) for c in cases]
        BATCHES.append((cases, typed, *batch(WORK / "out", typed, cwd=folder)))


def tearDownModule():
    shutil.rmtree(WORK, ignore_errors=True)


class LibraryFiles(unittest.TestCase):
    """Every case in two batches: outputs as the model says, refusals in one line each."""

    def test_batches(self):
        for _, typed, code, lines in BATCHES:
            self.assertEqual(code, 3, "\n".join(lines))
            named = {line for path in typed for line in lines_about(lines, path)}
            self.assertEqual([line for line in lines if line not in named], [])
        out = WORK / "out"
        self.assertEqual(leftovers(out), [])
        self.assertLessEqual({p.name for p in out.iterdir()}, {c.path.name for c in CASES})

    def test_each_file(self):
        for c, typed, lines in ((c, t, b[3]) for b in BATCHES for c, t in zip(b[0], b[1])):
            with self.subTest(c.name):
                out = WORK / "out" / c.path.name
                about = lines_about(lines, typed)
                if out.exists():
                    self.assertTrue(c.pixels is not None or c.either, f"written: {about}")
                    self.check_written(c, typed, out, about)
                else:
                    self.assertTrue(c.refusal is not None or c.either, f"not written: {about}")
                    self.assertEqual(len(about), 1, about)
                    self.assertIn(c.refusal or "", about[0])
                    self.assertNotIn(" -> ", about[0])

    def check_written(self, c, typed, out, about):
        self.assertEqual(len(about), 1, about)
        line = re.fullmatch(rf"braidel-run: {re.escape(str(typed))}( \(page 1 of (\d+)\))? -> "
                            rf"{re.escape(str(out))} \(copy line, even lines\)", about[0])
        self.assertIsNotNone(line, about[0])
        if c.pages is not None:
            self.assertEqual(int(line[2] or 1), c.pages, about[0])
        pixels, bits, channels = read_output(out)
        self.assertEqual((bits, channels), (16, 4))
        if c.pixels is not None:
            self.assertTrue(np.array_equal(pixels, rebuilt(c.pixels)), "pixels differ")
        if out.suffix == ".png":
            if not c.either:  # a damaged file's chunks say nothing for sure
                self.assertEqual(references.png_metadata(out), references.png_metadata(c.path))
            return
        _, tags, _ = references.tiff_tags(out)
        self.assertEqual(tags[259], KEPT_COMPRESSION[c.compression])
        self.assertEqual(np.atleast_1d(tags[338])[0], 1 if c.associated else 2)
        got, want = references.tiff_metadata(out), references.tiff_metadata(c.path)
        if want["resolution"]:
            self.assertTrue(np.allclose(got.pop("resolution"), want.pop("resolution")))
        self.assertEqual(got, want)

    def test_multi_page_summary(self):
        _, _, _, lines = BATCHES[1]
        self.assertIn("(page 1 of 3) -> ", lines_about(lines, "three-pages.tif")[0])


class OutputOptions(unittest.TestCase):
    def test_depth_and_compression(self):
        # (options, inputs, output compression tag, bits)
        runs = [
            (["--depth", "8", "--tiff-compression", "none"],
             ["le-16-rgba-contig-strips-lzw2.tif", "pngsuite/basn6a16.png"], 1, 8),
            (["--tiff-compression", "lzw"], ["be-16-grey+alpha-contig-tiles-deflate.tif"], 5, 16),
        ]
        for number, (options, names, compression, bits) in enumerate(runs):
            out = WORK / f"options-{number}"
            code, lines = batch(out, [case(n).path for n in names], "--quiet", *options)
            self.assertEqual((code, lines), (0, []))
            self.assertEqual(leftovers(out), [])
            for name in names:
                with self.subTest(options=options, file=name):
                    path = out / pathlib.Path(name).name
                    pixels, got_bits, _ = read_output(path)
                    want = rebuilt(case(name).pixels).astype(np.uint32)
                    if bits == 8:  # to nearest, then widened back by the reader
                        want = (want * 255 + 32767) // 65535 * 257
                    self.assertEqual(got_bits, bits)
                    self.assertTrue(np.array_equal(pixels, want), "pixels differ")
                    if path.suffix == ".tif":
                        self.assertEqual(references.tiff_tags(path)[1][259], compression)


class Metadata(unittest.TestCase):
    """Each source of metadata to PNG and to TIFF. The input's content chooses how it is read
    and the output name's extension how it is written, so one batch makes every pair."""

    @classmethod
    def setUpClass(cls):
        cls.inputs = WORK / "metadata"
        cls.inputs.mkdir()
        for kind, make in references.METADATA_SOURCES.items():
            for target in ("png", "tif"):
                make(cls.inputs / f"{kind}-to.{target}")
        inputs = sorted(cls.inputs.iterdir())
        cls.runs = [batch(WORK / f"metadata-out-{n}", inputs, "--quiet") for n in (1, 2)]

    def test_carried_over(self):
        self.assertEqual(self.runs, [(0, [])] * 2)
        for kind in references.METADATA_SOURCES:
            for target in ("png", "tif"):
                out = WORK / "metadata-out-1" / f"{kind}-to.{target}"
                for what, ok, detail in references.metadata_checks(out, kind):
                    with self.subTest(f"{kind} -> {target}: {what}"):
                        self.assertTrue(ok, detail)
                if target == "tif":  # the input TIFF's own (none), else the default Deflate
                    tags = references.tiff_tags(out)[1]
                    self.assertEqual(tags[259], 1 if kind == "tif" else 8)

    def test_same_input_same_bytes(self):
        first, second = (WORK / f"metadata-out-{n}" for n in (1, 2))
        names = sorted(p.name for p in first.iterdir())
        self.assertEqual(names, sorted(p.name for p in second.iterdir()))
        self.assertEqual(leftovers(first) + leftovers(second), [])
        for name in names:
            with self.subTest(name):
                self.assertEqual((first / name).read_bytes(), (second / name).read_bytes())


if __name__ == "__main__":
    SOURCES = pathlib.Path(sys.argv.pop(1))
    unittest.main(verbosity=2)
