"""End-to-end tests of braidel-run: real files in, files out.

The program is BRAIDEL_RUN when set (the native program), else scripts/wine-braidel-run, the
Windows program under Wine, which takes the tests' absolute paths as paths on drive Z:; every
end-to-end table runs what PROGRAM names. Rows that only one of them can meet say so
(windows_only, native_only). Expected pixels come from
reference.py, a model written from the filter's rules, never from the plug-in's code.
"""

import hashlib
import os
import pty
import random
import re
import select
import shutil
import signal
import subprocess
import sys
import struct
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)

import reference  # noqa: E402
from testimages import (Image, chunk, from_rgba16, png_bytes, read_image,  # noqa: E402
                        write_png, write_tiff)

WINDOWS_PROGRAM = os.path.join(ROOT, "scripts", "wine-braidel-run")
PROGRAM = os.environ.get("BRAIDEL_RUN") or WINDOWS_PROGRAM
SYSTEM = "windows" if os.path.realpath(PROGRAM) == os.path.realpath(WINDOWS_PROGRAM) else "native"

# Table rows that only one program can meet: row name -> (system, why).
ONLY_ON = {}

# The native program built with the sanitizers (the native preset's), whose own bookkeeping of
# memory no memory limit or peak can see past.
SANITIZED = SYSTEM == "native" and b"AddressSanitizer" in open(PROGRAM, "rb").read()
# Table rows that the sanitized program cannot meet: row name -> why.
NOT_SANITIZED = {}


def not_sanitized(reason, rows):
    """Table rows (tuples named by their first item) skipped for the sanitized program."""
    for row in rows:
        NOT_SANITIZED[row[0]] = reason
    return rows


def only_on(system, reason, rows=None):
    """A test method's decorator that skips it on the other system, or, given table rows (tuples
    named by their first item), those rows marked for it."""
    if rows is None:
        return unittest.skipUnless(SYSTEM == system, "%s program only: %s" % (system, reason))
    for row in rows:
        ONLY_ON[row[0]] = (system, reason)
    return rows


def windows_only(reason, rows=None):
    return only_on("windows", reason, rows)


def native_only(reason, rows=None):
    return only_on("native", reason, rows)


def skip_row_elsewhere(test, row):
    """Skips the table row `row` (within its subTest) when it is marked for the other system."""
    system, reason = ONLY_ON.get(row, (SYSTEM, ""))
    if system != SYSTEM:
        test.skipTest("%s program only: %s" % (system, reason))
    if SANITIZED and row in NOT_SANITIZED:
        test.skipTest("not under the sanitizers: " + NOT_SANITIZED[row])


def run(*args, cwd=None, timeout=120, program=PROGRAM):
    return subprocess.run([program, *args], cwd=cwd, stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=timeout)


# The signals that stop a run cleanly (exit 128 + the signal's number), as kill, timeout and a
# closing terminal send them. The Windows program stops on Ctrl-C, a console control event,
# which Wine makes of SIGINT.
STOP_SIGNALS = (signal.SIGINT,) if SYSTEM == "windows" else (
    signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT, signal.SIGPIPE, signal.SIGALRM,
    signal.SIGUSR1, signal.SIGUSR2)


def random_frame(width, height, seed):
    rng = random.Random(seed)
    return [[tuple(rng.randrange(65536) for _ in range(4)) for _ in range(width)]
            for _ in range(height)]


def raw_stream(frames):
    """Frames as a raw rgba64le stream: little-endian 16-bit R, G, B, A, rows back to back."""
    flat = [v for frame in frames for row in frame for pixel in row for v in pixel]
    return struct.pack("<%dH" % len(flat), *flat)


def raw_frames(data, width, height):
    values = struct.unpack("<%dH" % (len(data) // 2), data)
    pixels = [tuple(values[i:i + 4]) for i in range(0, len(values), 4)]
    rows = [pixels[i:i + width] for i in range(0, len(pixels), width)]
    return [rows[i:i + height] for i in range(0, len(rows), height)]


def feed_forever(stream, frame_bytes):
    """Writes frames into a process's standard input until it stops reading."""
    def feed():
        try:
            while True:
                stream.write(frame_bytes)
        except OSError:
            pass
        finally:
            try:
                stream.close()
            except OSError:
                pass
    thread = threading.Thread(target=feed, daemon=True)
    thread.start()
    return thread


def error_lines(process, feeder):
    """The stderr lines of a process that has ended, once its feeder has stopped too."""
    feeder.join(timeout=60)
    with process.stderr:
        return process.stderr.read().decode().splitlines()


def digest(path):
    """A file's SHA-256, read a block at a time: the tables make files of gigabytes."""
    sha = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            sha.update(block)
    return sha.hexdigest()


class Workspace(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="braidel-run-test-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def leftovers(self, folder=None):
        folder = folder or self.dir
        return [n for n in os.listdir(folder) if n.startswith(".braidel-") or "braidel-tmp" in n]

    def assertExit(self, result, code):
        self.assertEqual(result.returncode, code,
                         "stderr: " + result.stderr.decode(errors="replace"))

    def assertOneErrorLine(self, result, *fragments):
        lines = result.stderr.decode().splitlines()
        self.assertEqual(len(lines), 1, lines)
        self.assertTrue(lines[0].startswith("braidel-run: "), lines[0])
        for fragment in fragments:
            self.assertIn(fragment, lines[0])


class KernelOutputs(Workspace):
    """Every kernel on both fields, with and without a mask, against the model."""

    def check(self, frame, kernel, field, mask=None, writer=write_png, out_ext="png"):
        source = self.path("in" + (".png" if writer is write_png else ".tif"))
        writer(source, from_rgba16(frame))
        before = digest(source)
        args = ["--quiet", "--mode", kernel, "--field", ("even", "odd")[field]]
        mask_grey = None
        if mask is not None:
            write_png(self.path("mask.png"), Image(len(mask[0]), len(mask), 1, 16, mask))
            args += ["--mask", self.path("mask.png")]
            mask_grey = mask
        output = self.path("out." + out_ext)
        result = run(*args, source, output)
        self.assertExit(result, 0)
        self.assertEqual(result.stderr, b"")
        got = read_image(output)
        self.assertEqual((got.channels, got.bits), (4, 16))
        want = reference.rebuild(frame, kernel, field, mask_grey)
        self.assertEqual(got.rgba16(), want, "%s field %d" % (kernel, field))
        self.assertEqual(digest(source), before, "the input was modified")
        self.assertEqual(self.leftovers(), [])

    def test_kernels_fields_and_masks(self):
        cases = [(13, 9, 0), (12, 8, 1), (5, 2, 2), (2, 7, 3)]
        for kernel in ("copy", "linear", "weighted"):
            for field in (0, 1):
                for width, height, seed in cases:
                    with self.subTest(kernel=kernel, field=field, size=(width, height)):
                        self.check(random_frame(width, height, seed), kernel, field)

    def test_with_a_mask(self):
        width, height = 11, 7
        frame = random_frame(width, height, 7)
        # Values outside the band (0, 65530 and above) and inside it (1, 65529, others); a
        # mask narrower and taller than the frame.
        values = [0, 1, 65529, 65530, 65535, 32768, 7]
        mask = [[values[(x + y) % len(values)] for x in range(width - 3)]
                for y in range(height + 2)]
        for kernel in ("copy", "linear", "weighted"):
            for field in (0, 1):
                with self.subTest(kernel=kernel, field=field):
                    self.check(frame, kernel, field, mask=mask)
        # Without --quiet, one line says what the mask pass does with braidel-run's helper.
        result = run("--mask", self.path("mask.png"), self.path("in.png"), self.path("o.png"))
        self.assertExit(result, 0)
        self.assertIn(b"note: the mask pass", result.stderr.splitlines()[0])

    def test_both_eyes(self):
        # Each packing, kernel and first row's eye (left by default) on frames of odd and even
        # heights in one batch, against both one-view results; the weighted rows masked. The
        # right eye's rows leave threads free, so that each frame's two renders run at once.
        frames = {"h%02d.png" % h: random_frame(w, h, 50 + h) for w, h in
                  ((3, 1), (4, 2), (5, 7), (2, 24))}
        for name, frame in frames.items():
            write_png(self.path(name), from_rgba16(frame))
        mask = [[(x * 9973 + y * 65521) % 65536 for x in range(5)] for y in range(24)]
        write_png(self.path("mask.png"), Image(5, 24, 1, 16, mask))
        for layout in reference.EYE_LAYOUTS:
            for kernel in reference.KERNELS:
                for first in ("left", "right"):
                    with self.subTest(layout=layout, kernel=kernel, first_row=first):
                        masked = kernel == "weighted"
                        out = self.path("%s-%s-%s" % (layout, kernel, first))
                        args = ["--quiet", "--mode", kernel, "--both-eyes", layout, "--out-dir", out]
                        args += ["--first-row", first, "--jobs", "8"] if first == "right" else []
                        args += ["--mask", self.path("mask.png")] if masked else []
                        result = run(*args, *[self.path(n) for n in frames])
                        self.assertExit(result, 0)
                        self.assertEqual(result.stderr, b"")
                        for name, frame in frames.items():
                            want = reference.both_eyes(frame, kernel, layout, first,
                                                       mask if masked else None)
                            stem = name[:-len(".png")]
                            got = read_image(os.path.join(out, name)).rgba16() \
                                if layout != "two-outputs" else \
                                tuple(read_image(os.path.join(out, "%s-%s.png" % (stem, eye)))
                                      .rgba16() for eye in ("left", "right"))
                            self.assertEqual(got, want, name)
                        self.assertEqual(self.leftovers(out), [])
        # A single frame's two outputs, each in its own format.
        result = run("--quiet", "--mode", "linear", "--both-eyes", "two-outputs",
                     self.path("h07.png"), self.path("l.tif"), self.path("r.png"))
        self.assertExit(result, 0)
        self.assertEqual((read_image(self.path("l.tif")).rgba16(),
                          read_image(self.path("r.png")).rgba16()),
                         reference.both_eyes(frames["h07.png"], "linear", "two-outputs"))

    def test_tiff_in_and_out(self):
        frame = random_frame(9, 6, 11)
        for out_ext in ("tif", "tiff", "PNG"):
            with self.subTest(out=out_ext):
                self.check(frame, "weighted", 1, writer=write_tiff, out_ext=out_ext)

    def test_six_point_edge_values(self):
        # Uniform frames whose edge pixels and first red channel come out one lower.
        frame = [[(v, v, v, v)] * 4 for v in (3, 631, 3, 631, 1, 65535, 1)]
        self.check(frame, "weighted", 0)
        self.check(frame, "weighted", 1)

    def test_eight_bit_and_grey_inputs_are_widened(self):
        rng = random.Random(5)
        cases = [(1, 8), (2, 8), (3, 8), (4, 8), (1, 16), (3, 16)]
        for channels, bits in cases:
            rows = [[rng.randrange(1 << bits) for _ in range(6 * channels)] for _ in range(5)]
            image = Image(6, 5, channels, bits, rows)
            for writer, name in ((write_png, "in.png"), (write_tiff, "in.tif")):
                if writer is write_tiff and channels == 2:
                    continue
                with self.subTest(channels=channels, bits=bits, file=name):
                    writer(self.path(name), image)
                    result = run("--quiet", "--mode", "linear", self.path(name),
                                 self.path("out.png"))
                    self.assertExit(result, 0)
                    want = reference.rebuild(image.rgba16(), "linear", 0)
                    self.assertEqual(read_image(self.path("out.png")).rgba16(), want)

    def test_palette_and_one_bit_inputs(self):
        # Formats the converter widens: 1-bit grey and an 8-bit palette.
        width, height = 8, 3

        def png(name, bits, colour, lines, extra=()):
            with open(self.path(name), "wb") as f:
                f.write(png_bytes(width, height, bits, colour, b"".join(b"\0" + l for l in lines),
                                  extra))

        png("bw.png", 1, 0, [bytes([0b10110010])] * height)
        palette = [(65535, 0, 0), (0, 65535, 0), (0, 0, 65535)]
        png("pal.png", 8, 3, [bytes(x % 3 for x in range(width))] * height,
            [chunk(b"PLTE", bytes([255, 0, 0, 0, 255, 0, 0, 0, 255]))])
        white, black = (65535,) * 4, (0, 0, 0, 65535)
        frames = {
            "bw.png": [[white if (0b10110010 >> (7 - x)) & 1 else black for x in range(width)]] * height,
            "pal.png": [[palette[x % 3] + (65535,) for x in range(width)]] * height,
        }
        for name, frame in frames.items():
            with self.subTest(name=name):
                self.assertExit(run("--quiet", "--mode", "linear", self.path(name),
                                    self.path("out.png")), 0)
                self.assertEqual(read_image(self.path("out.png")).rgba16(),
                                 reference.rebuild(frame, "linear", 0))


class Configuration(Workspace):
    def test_saved_block_is_loaded_back(self):
        block = self.path("weighted-odd.cfg")
        result = run("--mode", "weighted", "--field", "odd", "--save-config", block)
        self.assertExit(result, 0)
        with open(block, "rb") as f:
            self.assertEqual(f.read(), bytes([2, 0, 0, 0, 1, 0, 0, 0]))
        frame = random_frame(8, 7, 3)
        write_png(self.path("in.png"), from_rgba16(frame))
        result = run("--quiet", "--config", block, self.path("in.png"), self.path("out.png"))
        self.assertExit(result, 0)
        self.assertEqual(read_image(self.path("out.png")).rgba16(),
                         reference.rebuild(frame, "weighted", 1))
        # Options override the loaded block.
        result = run("--quiet", "--config", block, "--field", "even", self.path("in.png"),
                     self.path("out.png"))
        self.assertExit(result, 0)
        self.assertEqual(read_image(self.path("out.png")).rgba16(),
                         reference.rebuild(frame, "weighted", 0))

    def test_default_is_copy_on_even_lines(self):
        frame = random_frame(4, 5, 9)
        write_png(self.path("in.png"), from_rgba16(frame))
        self.assertExit(run("--quiet", self.path("in.png"), self.path("out.png")), 0)
        self.assertEqual(read_image(self.path("out.png")).rgba16(),
                         reference.rebuild(frame, "copy", 0))

    def test_block_selecting_no_kernel_fails_the_render(self):
        with open(self.path("bad.cfg"), "wb") as f:
            f.write(bytes([3, 0, 0, 0, 0, 0, 0, 0]))
        write_png(self.path("in.png"), from_rgba16(random_frame(4, 4, 1)))
        result = run("--config", self.path("bad.cfg"), self.path("in.png"), self.path("o.png"))
        self.assertExit(result, 4)
        self.assertFalse(os.path.exists(self.path("o.png")))

    def test_block_of_wrong_size_is_unreadable(self):
        with open(self.path("short.cfg"), "wb") as f:
            f.write(bytes(7))
        write_png(self.path("in.png"), from_rgba16(random_frame(4, 4, 1)))
        for block in (self.path("short.cfg"), self.path("missing.cfg")):
            with self.subTest(block=block):
                result = run("--config", block, self.path("in.png"), self.path("o.png"))
                self.assertExit(result, 3)
                self.assertOneErrorLine(result, block)


class Errors(Workspace):
    def setUp(self):
        super().setUp()
        self.frame = random_frame(6, 6, 2)
        write_png(self.path("in.png"), from_rgba16(self.frame))

    def test_usage_errors(self):
        with open(self.path("notes.txt"), "w") as f:
            f.write("not an image\n")
        cases = [
            (),
            (self.path("in.png"),),
            ("--mode", "cubic", self.path("in.png"), self.path("o.png")),
            ("--field", "both", self.path("in.png"), self.path("o.png")),
            ("--jobs", "0", "--out-dir", self.path("d"), self.path("in.png")),
            ("--frobnicate", self.path("in.png"), self.path("o.png")),
            ("--mask",),
            (self.path("in.png"), self.path("o.jpg")),
            ("--out-dir", self.path("d"), self.path("in.png"), self.path("in.png")),
            # Every output's format is known before the first frame is written.
            ("--out-dir", self.path("d"), self.path("in.png"), self.path("notes.txt")),
            ("--save-config", self.path("w.cfg"), self.path("in.png"), self.path("o.jpg")),
            ("--raw", "0x4", self.path("in.png"), self.path("o.raw")),
            ("--raw", "4x65536", self.path("in.png"), self.path("o.raw")),
            ("--raw", "4", self.path("in.png"), self.path("o.raw")),
            ("--raw", "4x4x4", self.path("in.png"), self.path("o.raw")),
            ("--raw", "4x4", "--out-dir", self.path("d"), self.path("in.png")),
            ("--raw", "4x4", "-"),
            # A packed frame beyond 65535 pixels a side, refused before anything is read.
            ("--raw", "32768x4", "--both-eyes", "side-by-side", self.path("in.png"),
             self.path("o.raw")),
            ("--both-eyes", "two-outputs", self.path("in.png"), self.path("o.png"),
             self.path("o.png")),
            ("--both-eyes", "top-bottom", "--field", "odd", self.path("in.png"),
             self.path("o.png")),
            # Numbered sequences and lists of inputs.
            (self.path("in.%04d.png"), self.path("o.png")),
            (self.path("in.png"), self.path("o.####.png")),
            ("--frames", "1-3", self.path("in.png"), self.path("o.png")),
            ("--frames", "3-1", self.path("in.%d.png"), self.path("o.%d.png")),
            ("--frames", "-1", self.path("in.%d.png"), self.path("o.%d.png")),
            (self.path("in.%d_%d.png"), self.path("o.%d.png")),
            ("--inputs", self.path("notes.txt"), self.path("in.png"), self.path("o.png")),
            ("--raw", "4x4", "--skip-existing", self.path("in.png"), self.path("o.raw")),
            ("--config", "-", "--inputs", "-", "--out-dir", self.path("d")),
        ]
        for args in cases:
            with self.subTest(args=args):
                result = run(*args)
                self.assertExit(result, 2)
                self.assertOneErrorLine(result)
                self.assertEqual(sorted(os.listdir(self.dir)), ["in.png", "notes.txt"])

    def test_help_and_version(self):
        result = run("--help")
        self.assertExit(result, 0)
        # The usage lines are the reference's synopsis, form for form.
        with open(os.path.join(ROOT, "docs", "braidel-run.md"), encoding="utf-8") as f:
            section = f.read().split("generated by braidel-manual: synopsis", 1)[1]
        synopsis = section.split("```\n", 2)[1].splitlines()
        usage = [line.split("braidel-run", 1)[1] for line in result.stdout.decode().splitlines()
                 if line.startswith(("usage: braidel-run ", "       braidel-run "))]
        self.assertEqual(["braidel-run" + form for form in usage], synopsis)
        result = run("--version")
        self.assertExit(result, 0)
        self.assertIn(b"Stereo Braidel Filter Plugin. (orv)", result.stdout)

    def test_unreadable_inputs(self):
        with open(self.path("text.png"), "w") as f:
            f.write("not an image\n")
        write_png(self.path("wide.png"), Image(65536, 1, 1, 8, [[0] * 65536]))
        cases = [self.path("missing.png"), self.path("text.png"), self.path("wide.png"),
                 self.dir]
        for source in cases:
            with self.subTest(source=source):
                result = run(source, self.path("o.png"))
                self.assertExit(result, 3)
                self.assertOneErrorLine(result, source)
                self.assertFalse(os.path.exists(self.path("o.png")))
        result = run("--mask", self.path("text.png"), self.path("in.png"), self.path("o.png"))
        self.assertExit(result, 3)
        self.assertOneErrorLine(result, "text.png")

    def test_packed_frame_too_large_is_refused_before_any_write(self):
        write_png(self.path("wide.png"), Image(32768, 2, 1, 8, [[0] * 32768] * 2))
        write_png(self.path("tall.png"), Image(1, 32768, 1, 8, [[0]] * 32768))
        for source, layout, size in (("wide.png", "side-by-side", "65536 x 2"),
                                     ("tall.png", "top-bottom", "1 x 65536")):
            with self.subTest(layout=layout):
                result = run("--both-eyes", layout, self.path(source), self.path("o.png"))
                self.assertExit(result, 3)
                self.assertOneErrorLine(result, source, size, "nothing written")
                self.assertFalse(os.path.exists(self.path("o.png")))
                self.assertEqual(self.leftovers(), [])

    def test_short_mask_fails_the_render_and_keeps_an_existing_output(self):
        write_png(self.path("mask.png"), Image(6, 5, 1, 16, [[100] * 6] * 5))
        with open(self.path("o.png"), "wb") as f:
            f.write(b"previous result")
        # Quiet: without it, a line notes what the mask pass does before the error.
        result = run("--quiet", "--mask", self.path("mask.png"), self.path("in.png"),
                     self.path("o.png"))
        self.assertExit(result, 4)
        self.assertOneErrorLine(result, "in.png")
        with open(self.path("o.png"), "rb") as f:
            self.assertEqual(f.read(), b"previous result")
        self.assertEqual(self.leftovers(), [])

    def test_output_not_written(self):
        with open(self.path("file"), "w") as f:
            f.write("x")
        os.mkdir(self.path("taken.png"))
        cases = [
            (self.path("in.png"), self.path("missing-folder", "o.png")),
            (self.path("in.png"), self.path("file", "o.png")),
            (self.path("in.png"), self.path("taken.png")),
            (self.path("in.png"), self.path("in.png")),
            ("--out-dir", self.path("file"), self.path("in.png")),
            ("--raw", "6x6", self.path("in.png"), self.path("in.png")),
            ("--raw", "6x6", self.path("in.png"), self.path("missing-folder", "o.raw")),
        ]
        if os.geteuid() != 0:
            os.mkdir(self.path("locked"))
            os.chmod(self.path("locked"), 0o555)
            cases.append(("--out-dir", self.path("locked"), self.path("in.png")))
        before = digest(self.path("in.png"))
        for args in cases:
            with self.subTest(args=args):
                result = run(*args)
                self.assertExit(result, 5)
                self.assertOneErrorLine(result)
                self.assertEqual(self.leftovers(), [])
                self.assertEqual(os.listdir(self.path("taken.png")), [])
        self.assertEqual(digest(self.path("in.png")), before)


class Batch(Workspace):
    def write_frames(self, count, height=6):
        frames = {}
        for i in range(count):
            name = "f%02d.png" % i
            frames[name] = random_frame(7, height, 100 + i)
            write_png(self.path(name), from_rgba16(frames[name]))
        return frames

    def test_every_frame_in_parallel(self):
        frames = self.write_frames(6)
        result = run("--mode", "weighted", "--jobs", "3", "--out-dir", self.path("out"),
                     *[self.path(n) for n in frames])
        self.assertExit(result, 0)
        self.assertEqual(len(result.stderr.decode().splitlines()), len(frames))
        for name, frame in frames.items():
            self.assertEqual(read_image(self.path("out", name)).rgba16(),
                             reference.rebuild(frame, "weighted", 0), name)
        self.assertEqual(self.leftovers(self.path("out")), [])

    def test_one_bad_frame(self):
        frames = self.write_frames(4)
        with open(self.path("f02.png"), "wb") as f:
            f.write(b"broken")
        result = run("--quiet", "--mode", "linear", "--out-dir", self.path("out"),
                     *[self.path(n) for n in sorted(frames)])
        self.assertExit(result, 3)
        self.assertOneErrorLine(result, "f02.png")
        self.assertEqual(sorted(os.listdir(self.path("out"))), ["f00.png", "f01.png", "f03.png"])
        for name in ("f00.png", "f01.png", "f03.png"):
            self.assertEqual(read_image(self.path("out", name)).rgba16(),
                             reference.rebuild(frames[name], "linear", 0))

    def test_exit_code_of_the_first_failure_in_input_order(self):
        write_png(self.path("tall.png"), from_rgba16(random_frame(4, 9, 1)))
        write_png(self.path("flat.png"), from_rgba16(random_frame(4, 3, 1)))
        write_png(self.path("mask.png"), Image(4, 5, 1, 16, [[9] * 4] * 5))
        common = ["--quiet", "--mask", self.path("mask.png"), "--out-dir", self.path("out")]
        # tall.png has more rows than the mask (4), missing.png cannot be read (3).
        result = run(*common, self.path("flat.png"), self.path("tall.png"), self.path("missing.png"))
        self.assertExit(result, 4)
        result = run(*common, self.path("missing.png"), self.path("tall.png"), self.path("flat.png"))
        self.assertExit(result, 3)
        self.assertEqual(os.listdir(self.path("out")), ["flat.png"])

    def test_abort_by_console_control_event(self):
        # Ctrl-C's SIGINT (which Wine turns into a console control event for the Windows
        # program), sent once the first frame is done, stops the run.
        frames = self.write_frames(40, height=300)
        process = subprocess.Popen(
            [PROGRAM, "--jobs", "1", "--mode", "weighted", "--out-dir", self.path("out"),
             *[self.path(n) for n in sorted(frames)]],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        first = process.stderr.readline()
        self.assertIn(b"f00.png", first)
        process.send_signal(signal.SIGINT)
        rest = process.stderr.read()
        self.assertEqual(process.wait(timeout=120), 130, rest)
        self.assertIn(b"aborted", rest)
        written = sorted(os.listdir(self.path("out")))
        self.assertLess(len(written), len(frames))
        self.assertEqual(self.leftovers(self.path("out")), [])
        for name in written:
            self.assertEqual(read_image(self.path("out", name)).rgba16(),
                             reference.rebuild(frames[name], "weighted", 0), name)


class Sequences(Workspace):
    """Numbered frame sequences, lists of inputs and resumed runs: the frames named, each
    filtered as a batch filters it."""

    def write_sequence(self, name, numbers, writer=write_png):
        frames = {}
        for number in numbers:
            frames[number] = random_frame(5, 4, 300 + number)
            writer(self.path(name % number), from_rgba16(frames[number]))
        return frames

    def assertFiltered(self, frames, output_of, kernel="linear"):
        for number, frame in frames.items():
            self.assertEqual(read_image(output_of(number)).rgba16(),
                             reference.rebuild(frame, kernel, 0), output_of(number))

    def test_sequences(self):
        # Frames 1, 2, 3, 5, 10 and one wider than the padding; names that are no frame of
        # the sequence lie beside them.
        numbers = [1, 2, 3, 5, 10, 12345]
        cases = [
            # (name, INPUT, OUTPUT or None for --out-dir, options, frames filtered, output of n)
            ("printf fields", "f.%04d.png", "o.%04d.png", [], numbers, "o.%04d.png"),
            ("# fields", "f.####.png", "o.#.png", [], numbers, "o.%d.png"),
            ("mixed fields", "f.####.png", "o_%02d.tif", [], numbers, "o_%02d.tif"),
            ("into a folder", "f.%04d.png", None, [], numbers, "out/f.%04d.png"),
            ("a frame list", "f.%04d.png", "o.%d.png", ["--frames", "10,2-3,3"], [2, 3, 10],
             "o.%d.png"),
            ("a single frame", "f.####.png", "o.####.png", ["--frames", "12345"], [12345],
             "o.%04d.png"),
            ("tiff frames", "t.%d.tif", "o.%d.png", [], [0, 7], "o.%d.png"),
        ]
        for name, source, output, options, filtered, output_name in cases:
            with self.subTest(name):
                shutil.rmtree(self.dir)
                os.mkdir(self.dir)
                writer = write_tiff if source.endswith(".tif") else write_png
                frames = self.write_sequence(source.replace("####", "%04d"),
                                             [0, 7] if writer is write_tiff else numbers, writer)
                for other in ("f.001.png", "f.0002.tif", "f.00011.png", "notes.txt"):
                    shutil.copy(self.path(source.replace("####", "%04d") % 1
                                          if writer is write_png else "t.0.tif"),
                                self.path(other))
                target = ["--out-dir", self.path("out")] if output is None else []
                result = run("--mode", "linear", *options, *target, self.path(source),
                             *([self.path(output)] if output else []))
                self.assertExit(result, 0)
                self.assertEqual(len(result.stderr.splitlines()), len(filtered))
                self.assertFiltered({n: frames[n] for n in filtered},
                                    lambda n: self.path(output_name % n))
                written = os.listdir(self.path("out")) if output is None else [
                    n for n in os.listdir(self.dir) if n.startswith("o")]
                self.assertEqual(len(written), len(filtered), written)

    def test_both_eyes_as_two_sequences(self):
        self.write_sequence("f.%04d.png", [1, 2, 3])
        with open(self.path("l.0002.png"), "wb") as f:
            f.write(b"kept only with its right eye's output")
        with open(self.path("l.0003.png"), "wb") as f:
            f.write(b"kept")
        with open(self.path("r.0003.png"), "wb") as f:
            f.write(b"kept")
        result = run("--skip-existing", "--both-eyes", "two-outputs", self.path("f.%04d.png"),
                     self.path("l.%04d.png"), self.path("r.####.png"))
        self.assertExit(result, 0)
        self.assertIn(b"2 existing outputs kept; 2 frames to filter", result.stderr)
        for n in (1, 2):
            for eye in "lr":
                self.assertEqual(read_image(self.path("%s.%04d.png" % (eye, n))).width, 5)
        with open(self.path("l.0003.png"), "rb") as f:
            self.assertEqual(f.read(), b"kept")
        result = run("--both-eyes", "two-outputs", self.path("f.%04d.png"),
                     self.path("l.%04d.png"), self.path("r.png"))
        self.assertExit(result, 2)
        self.assertOneErrorLine(result, "r.png needs a number field")

    def test_refused_before_anything_is_read(self):
        self.write_sequence("f.%04d.png", [1, 2, 4, 6])
        with open(self.path("f.0001.png"), "wb") as f:
            f.write(b"damaged, and never read")
        cases = [
            # (name, --frames, OUTPUT, exit code, what the one line says)
            ("a frame missing from the range", "1-2,4-6", "o.%04d.png", 2,
             ("frame 5 ", "f.0005.png")),
            ("an output folder that does not exist", "1-2,4", os.path.join("none", "o.%04d.png"),
             5, ("o.0001.png: not written: its folder", "does not exist")),
        ]
        for name, frames, output, code, fragments in cases:
            with self.subTest(name):
                result = run("--frames", frames, "--save-config", self.path("w.cfg"),
                             self.path("f.%04d.png"), self.path(output))
                self.assertExit(result, code)
                self.assertOneErrorLine(result, *fragments)
                self.assertFalse([n for n in os.listdir(self.dir) if not n.startswith("f.")])

    def test_inputs_from_a_list(self):
        names = ["a.png", "b c.png", "d\u00e9.png"]
        if SYSTEM == "native":
            names.append("line\nbreak.png")
        frames = {}
        for i, name in enumerate(names):
            frames[name] = random_frame(4, 4, 500 + i)
            write_png(self.path(name), from_rgba16(frames[name]))
        plain = [n for n in names if "\n" not in n]
        cases = [
            ("lines", ["--inputs"], "".join(self.path(n) + "\n" for n in plain).encode(),
             plain),
            ("lines with CR LF", ["--inputs"],
             "".join(self.path(n) + "\r\n" for n in plain).encode(), plain),
            ("NUL-separated", ["--inputs0"],
             b"".join(self.path(n).encode() + b"\0" for n in names), names),
        ]
        for name, option, listed, wanted in cases:
            for source in ("file", "standard input"):
                with self.subTest(name, source=source):
                    shutil.rmtree(self.path("out"), ignore_errors=True)
                    with open(self.path("list"), "wb") as f:
                        f.write(listed)
                    result = subprocess.run(
                        [PROGRAM, "--quiet", "--mode", "linear", *option,
                         "-" if source != "file" else self.path("list"), "--out-dir",
                         self.path("out")],
                        input=listed if source != "file" else None, capture_output=True,
                        timeout=120)
                    self.assertExit(result, 0)
                    self.assertEqual(sorted(os.listdir(self.path("out"))), sorted(wanted))
                    self.assertFiltered({n: frames[n] for n in wanted},
                                        lambda n: self.path("out", n))

    def test_skip_existing_keeps_outputs_and_reads_no_kept_frame(self):
        frames = self.write_sequence("f.%04d.png", range(1, 7))
        os.mkdir(self.path("out"))
        for kept in (2, 5):
            with open(self.path("out", "f.%04d.png" % kept), "wb") as f:
                f.write(b"kept as it is")
            with open(self.path("f.%04d.png" % kept), "wb") as f:
                f.write(b"damaged: a kept frame is never read")
        cases = [
            ("a sequence into a folder", [self.path("f.%04d.png"), "--out-dir", self.path("out")],
             lambda n: self.path("out", "f.%04d.png" % n)),
            ("a sequence into a sequence",
             [self.path("f.####.png"), self.path("out", "f.%04d.png")],
             lambda n: self.path("out", "f.%04d.png" % n)),
        ]
        for name, args, output_of in cases:
            with self.subTest(name):
                for n in (1, 3, 4, 6):
                    if os.path.exists(output_of(n)):
                        os.remove(output_of(n))
                result = run("--mode", "linear", "--skip-existing", *args)
                self.assertExit(result, 0)
                lines = result.stderr.decode().splitlines()
                self.assertIn("2 existing outputs kept; 4 frames to filter", lines[0])
                self.assertEqual(len(lines), 5, lines)
                self.assertFiltered({n: frames[n] for n in (1, 3, 4, 6)}, output_of)
                for kept in (2, 5):
                    with open(output_of(kept), "rb") as f:
                        self.assertEqual(f.read(), b"kept as it is")
                # A second run finds every output and reads nothing.
                result = run("--skip-existing", *args)
                self.assertExit(result, 0)
                self.assertIn(b"6 existing outputs kept; 0 frames to filter", result.stderr)
                self.assertEqual(self.leftovers(self.path("out")), [])


class RawStreams(Workspace):
    """Raw rgba64le frame streams give the pixels the same frames give as PNG files."""

    def filtered_as_png(self, frames, options):
        names = ["f%02d.png" % i for i in range(len(frames))]
        for name, frame in zip(names, frames):
            write_png(self.path(name), from_rgba16(frame))
        result = run("--quiet", *options, "--out-dir", self.path("png"),
                     *[self.path(n) for n in names])
        self.assertExit(result, 0)
        return [read_image(self.path("png", n)).rgba16() for n in names]

    def stream(self, options, data, source="-", output="-", timeout=120):
        return subprocess.run([PROGRAM, *options, source, output], input=data,
                              capture_output=True, timeout=timeout)

    def test_streams_through_files_and_pipes(self):
        write_png(self.path("mask.png"),
                  Image(3, 7, 1, 16, [[(x * 7 + y * 65529) % 65536 for x in range(3)]
                                      for y in range(7)]))
        cases = [
            (1, 5, 3, ["--mode", "weighted", "--field", "odd"]),
            (2, 3, 3, ["--mode", "linear"]),
            (3, 7, 4, ["--mode", "weighted", "--mask", self.path("mask.png")]),
            (8, 6, 12, ["--mode", "weighted", "--jobs", "2"]),
            (5, 1, 2, ["--mode", "copy", "--field", "odd"]),
            # Both eyes: output frames of the packed size, as the packed PNG files are.
            (3, 7, 3, ["--mode", "weighted", "--both-eyes", "side-by-side", "--mask",
                       self.path("mask.png")]),
            (4, 2, 5, ["--mode", "linear", "--both-eyes", "top-bottom", "--first-row", "right",
                       "--jobs", "2"]),
            (6, 1, 2, ["--mode", "copy", "--both-eyes", "side-by-side"]),
        ]
        for width, height, count, options in cases:
            frames = [random_frame(width, height, 1000 * width + seed) for seed in range(count)]
            want = self.filtered_as_png(frames, options)
            raw = ["--quiet", "--raw", "%dx%d" % (width, height), *options]
            data = raw_stream(frames)
            with open(self.path("in.raw"), "wb") as f:
                f.write(data)
            packed = (width * (2 if "side-by-side" in options else 1),
                      height * (2 if "top-bottom" in options else 1))
            with self.subTest(size=(width, height), options=options, through="files"):
                self.assertExit(run(*raw, self.path("in.raw"), self.path("out.raw")), 0)
                with open(self.path("out.raw"), "rb") as f:
                    self.assertEqual(raw_frames(f.read(), *packed), want)
            with self.subTest(size=(width, height), options=options, through="pipes"):
                result = self.stream(raw, data)
                self.assertExit(result, 0)
                self.assertEqual(result.stderr, b"")
                self.assertEqual(raw_frames(result.stdout, *packed), want)
            self.assertEqual(self.leftovers(), [])

    def test_both_eyes_as_two_raw_outputs(self):
        frames = [random_frame(3, 5, seed) for seed in range(4)]
        want = [reference.both_eyes(frame, "weighted", "two-outputs", "right") for frame in frames]
        options = ["--quiet", "--raw", "3x5", "--mode", "weighted", "--both-eyes", "two-outputs",
                   "--first-row", "right"]
        for left, right in (("-", self.path("r.raw")), (self.path("l.raw"), self.path("r.raw"))):
            with self.subTest(left=left):
                result = subprocess.run([PROGRAM, *options, "-", left, right],
                                        input=raw_stream(frames), capture_output=True, timeout=120)
                self.assertExit(result, 0)
                written = {}
                for eye, name in (("left", left), ("right", right)):
                    if name == "-":
                        written[eye] = result.stdout
                    else:
                        with open(name, "rb") as f:
                            written[eye] = f.read()
                self.assertEqual(raw_frames(written["left"], 3, 5), [l for l, _ in want])
                self.assertEqual(raw_frames(written["right"], 3, 5), [r for _, r in want])
                self.assertEqual(self.leftovers(), [])

    def test_terminal_as_standard_input_is_refused_before_anything_is_written(self):
        master, slave = pty.openpty()
        try:
            result = subprocess.run([PROGRAM, "--raw", "4x4", "--save-config", "w.cfg", "-",
                                     "out.raw"], cwd=self.dir, stdin=slave, capture_output=True,
                                    timeout=120)
        finally:
            os.close(slave)
            os.close(master)
        self.assertExit(result, 2)
        self.assertOneErrorLine(result, "standard input is a terminal")
        self.assertEqual(os.listdir(self.dir), [])

    def test_partial_last_frame_keeps_the_whole_ones(self):
        frames = [random_frame(4, 3, seed) for seed in range(2)]
        want = self.filtered_as_png(frames, [])
        data = raw_stream(frames) + b"\1\2\3\4\5"
        with open(self.path("in.raw"), "wb") as f:
            f.write(data)
        for output in ("-", self.path("out.raw")):
            with self.subTest(output=output):
                result = self.stream(["--raw", "4x3"], data, output=output)
                self.assertExit(result, 3)
                self.assertOneErrorLine(result, "5 bytes after the last whole frame")
                written = result.stdout
                if output != "-":
                    with open(output, "rb") as f:
                        written = f.read()
                self.assertEqual(raw_frames(written, 4, 3), want)
                self.assertEqual(self.leftovers(), [])

    def test_reader_closing_early_stops_the_run(self):
        process = subprocess.Popen([PROGRAM, "--raw", "256x256", "-", "-"],
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
        feeder = feed_forever(process.stdin, bytes(256 * 256 * 8))
        self.assertEqual(len(process.stdout.read(1000)), 1000)
        process.stdout.close()
        started = time.monotonic()
        self.assertEqual(process.wait(timeout=60), 5)
        self.assertLess(time.monotonic() - started, 30)
        lines = error_lines(process, feeder)
        self.assertEqual(len(lines), 1, lines)
        self.assertIn("standard output: its reader closed it", lines[0])

    def test_stop_signal_mid_write_leaves_no_temporary_file(self):
        # Each stop signal while the output's temporary file is being written: exit 128 + the
        # signal's number, one line, the old output as it was and no temporary file.
        for sig in STOP_SIGNALS:
            with self.subTest(signal=sig.name):
                with open(self.path("out.raw"), "wb") as f:
                    f.write(b"previous result")
                process = subprocess.Popen([PROGRAM, "--raw", "64x64", "-", self.path("out.raw")],
                                           stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.PIPE)
                feeder = feed_forever(process.stdin, bytes(64 * 64 * 8))
                # The temporary output exists once the stream runs.
                deadline = time.monotonic() + 60
                while not self.leftovers() and time.monotonic() < deadline:
                    time.sleep(0.05)
                self.assertNotEqual(self.leftovers(), [])
                process.send_signal(sig)
                self.assertEqual(process.wait(timeout=60), 128 + sig)
                lines = error_lines(process, feeder)
                self.assertEqual(len(lines), 1, lines)
                self.assertIn("aborted", lines[0])
                with open(self.path("out.raw"), "rb") as f:
                    self.assertEqual(f.read(), b"previous result")
                self.assertEqual(self.leftovers(), [])


class CommandLine(Workspace):
    def test_relative_paths_from_the_current_folder(self):
        frame = random_frame(5, 4, 8)
        os.mkdir(self.path("sub"))
        write_png(self.path("sub", "in frame.png"), from_rgba16(frame))
        result = run("--quiet", "--mode", "linear", "sub/in frame.png", "sub/out.png",
                     cwd=self.dir)
        self.assertExit(result, 0)
        self.assertEqual(read_image(self.path("sub", "out.png")).rgba16(),
                         reference.rebuild(frame, "linear", 0))
        result = run("--quiet", "--out-dir", "batch", "sub/in frame.png", cwd=self.dir)
        self.assertExit(result, 0)
        self.assertTrue(os.path.exists(self.path("batch", "in frame.png")))

    def test_progress_lines_and_quiet(self):
        write_png(self.path("in.png"), from_rgba16(random_frame(5, 4, 8)))
        result = run(self.path("in.png"), self.path("o.png"))
        self.assertExit(result, 0)
        self.assertEqual(len(result.stderr.splitlines()), 1)
        self.assertEqual(result.stdout, b"")
        self.assertEqual(run("--quiet", self.path("in.png"), self.path("o.png")).stderr, b"")

    def test_progress_bar_on_a_terminal(self):
        write_png(self.path("in.png"), from_rgba16(random_frame(64, 200, 8)))
        master, slave = pty.openpty()
        process = subprocess.Popen([PROGRAM, "--mode", "weighted", self.path("in.png"),
                                    self.path("o.png")], stdin=slave, stdout=slave, stderr=slave)
        os.close(slave)
        screen = b""
        while select.select([master], [], [], 60)[0]:
            try:
                chunk = os.read(master, 4096)
            except OSError:
                break
            if not chunk:
                break
            screen += chunk
        os.close(master)
        self.assertEqual(process.wait(timeout=60), 0)
        text = re.sub(rb"\x1b\[[?0-9;]*[A-Za-z]", b"", screen).decode(errors="replace")
        self.assertIn("[" + "#" * 40 + "] 100%  1/1 frames", text)
        self.assertTrue(os.path.exists(self.path("o.png")))


if __name__ == "__main__":
    unittest.main(verbosity=2)
