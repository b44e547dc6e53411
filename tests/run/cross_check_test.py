"""The native braidel-run against the Windows program: each case runs both with the same
arguments, each from its own copy of one folder of inputs, and both must write the same files
byte for byte, the same standard output and error, and exit with the same code.

The native program is BRAIDEL_RUN; the Windows program is the win64 build's (scripts/paths.sh),
run under Wine by scripts/wine-braidel-run, and must have been built (scripts/test builds win64 first). A Windows
run starts Wine, which is slow, so a case filters many inputs in one batch run (--out-dir).
Lines may differ only in the system's own words for a failed call (strerror's on Linux, Wine's
messages on Windows), which end the line after the program's own words for what failed.
"""

import hashlib
import os
import re
import shutil
import struct
import subprocess
import tempfile
import unittest

import reference
import run_test
from file_safety_test import snapshot
from testimages import Image, from_rgba16, write_png, write_tiff

# Odd and even heights and widths, one-pixel frames and lines, and a frame wider than a vector.
SIZES = ((1, 1), (1, 2), (2, 1), (3, 3), (4, 4), (5, 6), (7, 5), (64, 33))
# Each size as PNG, as TIFF, and as PNG in a file named .tif, whose output is a TIFF in the
# default compression (a TIFF input's output keeps the input's).
INPUTS = ["%dx%d.%s" % (w, h, ext) for w, h in SIZES for ext in ("png", "tif", "png.tif")] + [
    "rgb8.png", "grey8.tif"]
BATCH = ["--jobs", "1", "--out-dir", "out", *INPUTS]


def kernel_batches():
    """Every kernel and field at both depths, on every input."""
    for kernel in reference.KERNELS:
        for field in reference.FIELDS:
            for depth in ("16", "8"):
                yield ("%s, %s lines, --depth %s" % (kernel, field, depth),
                       ["--mode", kernel, "--field", field, "--depth", depth, *BATCH])


# name, arguments (relative to the folder of inputs).
CASES = [
    *kernel_batches(),
    # 40 x 20: the 64 x 33 frames have rows the mask lacks (exit 4), the others are masked.
    ("a mask", ["--mode", "weighted", "--mask", "mask.png", *BATCH]),
    ("PNG level 9 with Paeth, TIFF LZW",
     ["--png-level", "9", "--png-filter", "paeth", "--tiff-compression", "lzw", *BATCH]),
    ("PNG level 0 adaptive, TIFF uncompressed",
     ["--png-level", "0", "--png-filter", "adaptive", "--tiff-compression", "none", *BATCH]),
    ("PNG level 6 with Sub, TIFF Deflate",
     ["--png-level", "6", "--png-filter", "sub", "--tiff-compression", "deflate", *BATCH]),
    ("PNG with Average", ["--png-filter", "average", *BATCH]),
    ("PNG unfiltered", ["--png-level", "3", "--png-filter", "none", *BATCH]),
    ("a block of mode 3", ["--config", "mode3.cfg", "3x3.png", "o.png"]),
    ("a block of mode 3 to save", ["--config", "mode3.cfg", "--save-config", "s.cfg"]),
    ("a block saved", ["--mode", "weighted", "--field", "odd", "--save-config", "w.cfg"]),
    ("a saved block loaded", ["--config", "odd.cfg", "--mode", "linear", "5x6.tif", "o.tif"]),
    ("PNG in, 8-bit TIFF out", ["--depth", "8", "7x5.png", "o.tiff"]),
    ("TIFF in, PNG out", ["grey8.tif", "o.png"]),
    ("a raw stream between files",
     ["--quiet", "--raw", "7x5", "--mode", "weighted", "--field", "odd", "frames.raw", "o.raw"]),
    ("a raw stream to standard output",
     ["--quiet", "--raw", "64x33", "--mode", "linear", "--mask", "mask-tall.png", "wide.raw",
      "-"]),
    ("a raw stream that ends inside a frame", ["--quiet", "--raw", "7x5", "partial.raw", "-"]),
    ("unreadable inputs in a batch", ["--jobs", "1", "--out-dir", "out", "missing.png",
                                      "text.png", "1x2.png"]),
    ("a usage error", ["--mode", "cubic", "1x1.png", "o.png"]),
]


def random_rows(width, height, channels, bits, seed):
    """Rows of `channels` samples a pixel of `bits` bits, from a seeded generator."""
    import numpy
    rng = numpy.random.default_rng(seed)
    return rng.integers(0, 1 << bits, (height, width * channels)).tolist()


def write_inputs(folder):
    """Every input of the cases, in `folder`."""
    for seed, (width, height) in enumerate(SIZES):
        frame = from_rgba16(run_test.random_frame(width, height, seed))
        write_png(os.path.join(folder, "%dx%d.png" % (width, height)), frame)
        write_tiff(os.path.join(folder, "%dx%d.tif" % (width, height)), frame)
        write_png(os.path.join(folder, "%dx%d.png.tif" % (width, height)), frame)
    write_png(os.path.join(folder, "rgb8.png"), Image(7, 5, 3, 8, random_rows(7, 5, 3, 8, 1)))
    write_tiff(os.path.join(folder, "grey8.tif"), Image(6, 7, 1, 8, random_rows(6, 7, 1, 8, 2)))
    mask_values = [0, 1, 2, 1000, 32768, 65529, 65530, 65535]
    write_png(os.path.join(folder, "mask.png"),
              Image(40, 20, 1, 16, [[mask_values[(x * 3 + y) % 8] for x in range(40)]
                                    for y in range(20)]))
    write_png(os.path.join(folder, "mask-tall.png"),
              Image(30, 40, 1, 16, [[(x * 7919 + y * 104729) % 65536 for x in range(30)]
                                    for y in range(40)]))
    frames = run_test.raw_stream([run_test.random_frame(7, 5, 100 + n) for n in range(5)])
    wide = run_test.raw_stream([run_test.random_frame(64, 33, 200 + n) for n in range(3)])
    for name, data in (("frames.raw", frames), ("wide.raw", wide),
                       ("partial.raw", frames[:-13]), ("mode3.cfg", struct.pack("<ii", 3, 0)),
                       ("odd.cfg", struct.pack("<ii", 2, 1)), ("text.png", b"not an image\n")):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def windows_program():
    """The win64 build's braidel-run.exe, where scripts/paths.sh says it is."""
    paths = os.path.join(run_test.ROOT, "scripts", "paths.sh")
    folder = subprocess.run(["bash", "-c", 'source "$1" && printf %s "$braidel_bin"', "-", paths],
                            capture_output=True, text=True, check=True).stdout
    return os.path.join(folder, "braidel-run.exe")


# What the program says before the system's words for a failed call.
SYSTEM_WORDS = re.compile(r"(: cannot be read|: not written|: the output folder cannot be made): .*")


def outcome(program, folder, args):
    """(exit code, stdout's digest, stderr with the system's words left out, every file in the
    folder: name -> digest)."""
    result = run_test.run(*args, cwd=folder, program=program, timeout=300)
    lines = SYSTEM_WORDS.sub(r"\1: (the system's words)", result.stderr.decode(errors="replace"))
    return (result.returncode, hashlib.sha256(result.stdout).hexdigest(), lines,
            snapshot(folder))


class CrossCheck(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if run_test.SYSTEM != "native":
            raise RuntimeError("BRAIDEL_RUN must name the native braidel-run to check against "
                               "the Windows program")
        exe = windows_program()
        if not os.path.isfile(exe):
            raise RuntimeError("the Windows program %s is missing: build it first "
                               "(cmake --workflow --preset win64-quick, or scripts/test)" % exe)
        cls.work = tempfile.mkdtemp(prefix="braidel-cross-check-")
        cls.inputs = os.path.join(cls.work, "inputs")
        os.mkdir(cls.inputs)
        write_inputs(cls.inputs)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_same_files_lines_and_exit_codes(self):
        for number, (name, args) in enumerate(CASES):
            with self.subTest(case=name):
                seen = {}
                for system, program in (("windows", run_test.WINDOWS_PROGRAM),
                                        ("native", run_test.PROGRAM)):
                    folder = os.path.join(self.work, "%02d-%s" % (number, system))
                    shutil.copytree(self.inputs, folder)
                    seen[system] = outcome(program, folder, args)
                windows, native = seen["windows"], seen["native"]
                self.assertEqual(native[0], windows[0], "exit codes\n" + native[2] + windows[2])
                self.assertEqual(native[2], windows[2], "standard error")
                self.assertEqual(native[1], windows[1], "standard output")
                differ = sorted(n for n in set(native[3]) | set(windows[3])
                                if native[3].get(n) != windows[3].get(n))
                self.assertEqual(differ, [], "files that differ")
                # A case that writes nothing checks nothing of the encoders.
                self.assertTrue(windows[0] != 0 or windows[1] != EMPTY or
                                len(windows[3]) > len(snapshot(self.inputs)), "nothing written")


EMPTY = hashlib.sha256(b"").hexdigest()

if __name__ == "__main__":
    unittest.main(verbosity=2)
