"""braidel.so inside the applications that load frei0r effects: FFmpeg, MLT's melt and
GStreamer, each run as a user runs it, with FREI0R_PATH naming the built module's folder.

Every frame goes through every kernel and field in every host, and comes back equal, byte for
byte, to reference.py's result (checked against braidel-run itself in the Windows test run).
FFmpeg hands an effect its padded rows as if packed, so there only widths that are multiples of
16 pixels go in as they are; the others take the padding workaround the README gives.

The Debian package is built, checked with lintian, unpacked and loaded by FFmpeg from there.

  hosts_test.py MODULE_FOLDER BUILD_FOLDER [unittest arguments]
"""

import glob
import os
import subprocess
import sys
import tempfile
import unittest

import numpy as np

import reference
import testimages

MODULE_DIR = os.path.abspath(sys.argv.pop(1))
BUILD = os.path.abspath(sys.argv.pop(1))

SIZES = [(1, 5), (5, 1), (7, 3), (9, 9), (13, 6), (64, 33), (1920, 1080)]
# melt renders a frame smaller than 6 x 6 pixels as white whatever the effect (its colour
# producer alone does the same), so its smallest frames are those.
MELT_SIZES = [(6, 6), (7, 7)] + [(w, h) for w, h in SIZES if w >= 6 and h >= 6]
SETTINGS = [(kernel, field) for kernel in reference.KERNELS for field in reference.FIELDS]


def host_env(module_dir):
    env = dict(os.environ, FREI0R_PATH=module_dir)
    # Both MLT and GStreamer keep caches of what they found; keep them out of the user's home.
    env["GST_REGISTRY"] = os.path.join(SCRATCH.name, "gst-registry.bin")
    return env


def run(args, module_dir=MODULE_DIR):
    result = subprocess.run(args, env=host_env(module_dir), stdin=subprocess.DEVNULL, capture_output=True,
                            timeout=300)
    if result.returncode != 0:
        raise AssertionError("%s exited %d: %s" % (args[0], result.returncode,
                                                    result.stderr.decode(errors="replace")))
    return result


def raw_frame(data, width, height):
    return np.frombuffer(data, dtype=np.uint8).reshape(height, width, 4)


def read_rgba8_png(path):
    image = testimages.read_png(path)
    assert (image.channels, image.bits) == (4, 8), (image.channels, image.bits)
    return image.array().astype(np.uint8)


def padded_width(width):
    return (width + 15) // 16 * 16


def ffmpeg_filter(width, kernel, field):
    effect = "frei0r=braidel:%s|%s" % (kernel, field)
    if width % 16 == 0:
        return effect
    # The README's workaround: transparent black columns up to a multiple of 16, cut off after.
    return "pad=ceil(iw/16)*16:ih:0:0:black@0,%s,crop=%d:ih:0:0" % (effect, width)


def ffmpeg_expected(frame, kernel, field):
    height, width, _ = frame.shape
    padded = np.zeros((height, padded_width(width), 4), dtype=np.uint8)
    padded[:, :width] = frame
    return reference.rebuild8(padded, kernel, field)[:, :width]


def through_ffmpeg(path, width, height, kernel, field, module_dir=MODULE_DIR):
    result = run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-f", "rawvideo",
                  "-pix_fmt", "rgba", "-s", "%dx%d" % (width, height), "-i", path,
                  "-vf", ffmpeg_filter(width, kernel, field), "-f", "rawvideo", "-pix_fmt", "rgba",
                  "-"], module_dir)
    return raw_frame(result.stdout, width, height)


def through_gstreamer(path, width, height, kernel, field):
    result = run(["gst-launch-1.0", "-q", "filesrc", "location=" + path, "!", "rawvideoparse",
                  "width=%d" % width, "height=%d" % height, "format=rgba", "framerate=25/1", "!",
                  "frei0r-filter-braidel", "kernel=" + kernel, "field=" + field, "!",
                  "fdsink", "fd=1"])
    return raw_frame(result.stdout, width, height)


def melt_profile(folder, width, height):
    # melt needs a description line in a profile file; the frame size is the picture's own, so
    # MLT scales nothing.
    path = os.path.join(folder, "profile-%dx%d" % (width, height))
    with open(path, "w") as out:
        out.write("description=%dx%d\nwidth=%d\nheight=%d\nprogressive=1\nsample_aspect_num=1\n"
                  "sample_aspect_den=1\ndisplay_aspect_num=%d\ndisplay_aspect_den=%d\n"
                  "frame_rate_num=25\nframe_rate_den=1\ncolorspace=709\n"
                  % (width, height, width, height, width, height))
    return path


def through_melt(png_path, width, height, kernel, field):
    folder = os.path.dirname(png_path)
    out = os.path.join(folder, "melt-out.png")
    run(["melt", "-quiet", "-profile", melt_profile(folder, width, height), png_path, "out=0",
         "-filter", "frei0r.braidel", "kernel=" + kernel, "field=" + field,
         "-consumer", "avformat:" + out, "vcodec=png", "pix_fmt=rgba"])
    return read_rgba8_png(out)


SCRATCH = tempfile.TemporaryDirectory(prefix="braidel-frei0r-")


class Hosts(unittest.TestCase):
    def check_host(self, host, sizes, expected_of=reference.rebuild8):
        for width, height in sizes:
            folder = os.path.join(SCRATCH.name, "%s-%dx%d" % (host.__name__, width, height))
            os.makedirs(folder, exist_ok=True)
            frame = reference.random_frame(width, height, width * 7919 + height)
            path = os.path.join(folder, "in.raw")
            if host is through_melt:
                path = os.path.join(folder, "in.png")
                testimages.write_png(path, testimages.from_array(frame, 8))
            else:
                with open(path, "wb") as out:
                    out.write(frame.tobytes())
            for kernel, field in SETTINGS:
                with self.subTest(size="%dx%d" % (width, height), kernel=kernel, field=field):
                    got = host(path, width, height, kernel, field)
                    want = expected_of(frame, kernel, field)
                    mismatches = np.argwhere(got != want)
                    self.assertEqual(len(mismatches), 0,
                                     "first differing (row, column, channel): %s" %
                                     (mismatches[:3].tolist(),))

    def test_gstreamer(self):
        self.check_host(through_gstreamer, SIZES)

    def test_melt(self):
        self.check_host(through_melt, MELT_SIZES)

    def test_ffmpeg_widths_of_whole_16_pixel_blocks(self):
        self.check_host(through_ffmpeg, [s for s in SIZES if s[0] % 16 == 0])

    def test_ffmpeg_other_widths_through_the_padding_workaround(self):
        self.check_host(through_ffmpeg, [s for s in SIZES if s[0] % 16 != 0], ffmpeg_expected)


class DebianPackage(unittest.TestCase):
    CONTENTS = {"./usr/lib/frei0r-1/braidel.so", "./usr/share/doc/braidel-frei0r/copyright",
                "./usr/share/doc/braidel-frei0r/changelog.gz"}

    @classmethod
    def setUpClass(cls):
        subprocess.run(["cmake", "--build", BUILD, "--target", "package"], check=True,
                       capture_output=True)
        cls.deb = glob.glob(os.path.join(BUILD, "package", "braidel-frei0r_*_amd64.deb"))[0]

    def test_lintian_finds_no_error(self):
        result = subprocess.run(["lintian", "--allow-root", self.deb], capture_output=True,
                                text=True)
        errors = [line for line in result.stdout.splitlines() if line.startswith("E:")]
        self.assertEqual(errors, [], result.stdout)

    def test_installs_the_module_where_the_hosts_look_and_nothing_else(self):
        listing = subprocess.run(["dpkg-deb", "--contents", self.deb], check=True,
                                 capture_output=True, text=True).stdout
        files = {line.split()[-1] for line in listing.splitlines() if not line.startswith("d")}
        self.assertEqual(files, self.CONTENTS)

    def test_unpacked_module_runs_in_ffmpeg(self):
        folder = os.path.join(SCRATCH.name, "unpacked")
        subprocess.run(["dpkg-deb", "-x", self.deb, folder], check=True)
        frame = reference.random_frame(64, 33, 5)
        path = os.path.join(SCRATCH.name, "package-in.raw")
        with open(path, "wb") as out:
            out.write(frame.tobytes())
        got = through_ffmpeg(path, 64, 33, "weighted", "odd",
                             os.path.join(folder, "usr", "lib", "frei0r-1"))
        np.testing.assert_array_equal(got, reference.rebuild8(frame, "weighted", "odd"))


if __name__ == "__main__":
    unittest.main()
