"""braidel-run never loses, replaces or exposes a file it was not asked to write.

One table of runs of the program under test: the native program, or the Windows program under
Wine (run_test.PROGRAM), which runs only the rows that are Windows' own (how Windows takes names
for one file, names it cannot express, its identity and temporary files). After every row: no file that existed before has changed
unless the row names it as written, no file appeared that the row does not name, and no
temporary file is left anywhere.
"""

import glob
import os
import pwd
import shutil
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import reference  # noqa: E402
import run_test  # noqa: E402
from run_test import native_only, not_sanitized, windows_only  # noqa: E402
from testimages import chunk, from_rgba16, png_bytes, read_image, write_png  # noqa: E402

ROOT = run_test.ROOT
FRAME = from_rgba16(run_test.random_frame(6, 5, 4))


def snapshot(folder):
    """Every file and link below folder: path -> (kind, content digest or link target, mode).
    Walked through folder descriptors, so that paths past PATH_MAX are seen too."""
    state = {}
    for base, dirs, files, fd in os.fwalk(folder):
        for name in dirs + files:
            rel = os.path.relpath(os.path.join(base, name), folder)
            status = os.stat(name, dir_fd=fd, follow_symlinks=False)
            if stat.S_ISLNK(status.st_mode):
                state[rel] = ("link", os.readlink(name, dir_fd=fd), 0)
            elif stat.S_ISREG(status.st_mode):
                state[rel] = ("file", run_test.digest("/proc/self/fd/%d/%s" % (fd, name)),
                              status.st_mode & 0o777)
    return state


def made_folder(ws, folder):
    """An open descriptor of `folder` below the row's folder, made with its parents a step at a
    time: a path past PATH_MAX can be neither made nor opened in one call."""
    fd = os.open(ws.dir, os.O_DIRECTORY)
    for name in filter(None, folder.split("/")):
        try:
            os.mkdir(name, dir_fd=fd)
        except FileExistsError:
            pass
        inner = os.open(name, os.O_DIRECTORY, dir_fd=fd)
        os.close(fd)
        fd = inner
    return fd


def wait_until_open(path, process):
    """Waits until some process has the file open; False if `process` ends first."""
    target = os.path.realpath(path)
    while process.poll() is None:
        for fd in glob.glob("/proc/[0-9]*/fd/*"):
            try:
                if os.readlink(fd) == target:
                    return True
            except OSError:
                pass
        time.sleep(0.01)
    return False


def images(*names):
    def make(ws):
        for name in names:
            folder, base = os.path.split(name)
            fd = made_folder(ws, folder)
            try:  # through the open folder, whose own path may be past PATH_MAX
                write_png("/proc/self/fd/%d/%s" % (fd, base), FRAME)
            finally:
                os.close(fd)
    return make


def noise_image(name):
    """A frame of noise whose PNG takes about 32 KB."""
    def make(ws):
        write_png(ws.path(name), from_rgba16(run_test.random_frame(64, 64, 1)))
    return make


def blank_png(name, side, height=None):
    """A 1-bit grey PNG of side x side zeros (side x height): a small file for a frame of
    8 x side^2 bytes."""
    height = height or side

    def make(ws):
        packer = zlib.compressobj(9)
        row = b"\0" * (1 + (side + 7) // 8)
        data = b"".join(packer.compress(row) for _ in range(height)) + packer.flush()
        header = struct.pack(">IIBBBBB", side, height, 1, 0, 0, 0, 0)
        with open(ws.path(name), "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", data)
                    + chunk(b"IEND", b""))
    return make


def text_bomb(name, chunks, inflated):
    """A 16 x 16 PNG with `chunks` zTXt chunks of `inflated` zero bytes each: a small file whose
    text would take chunks x inflated bytes."""
    def make(ws):
        text = chunk(b"zTXt", b"Comment\0\0" + zlib.compress(b"\0" * inflated, 9))
        with open(ws.path(name), "wb") as f:
            f.write(png_bytes(16, 16, 8, 6, b"\0" * (16 * 4 + 1) * 16, [text] * chunks))
    return make


def tile_claim(name, side):
    """A 16 x 16 RGBA16 TIFF in one Deflate tile of side x side pixels, padded so that the file
    can hold what the tile claims: only the tile's first 16 rows are in its data."""
    def make(ws):
        data = zlib.compress(bytes(16 * side * 8), 9)
        size = side * side * 8 // 1032 + 1024
        entries = [(256, 3, 1, 16), (257, 3, 1, 16), (258, 3, 4, 0), (259, 3, 1, 8),
                   (262, 3, 1, 2), (277, 3, 1, 4), (284, 3, 1, 1), (322, 4, 1, side),
                   (323, 4, 1, side), (324, 4, 1, 0), (325, 4, 1, len(data)), (338, 3, 1, 2)]
        ifd = 8
        bits = ifd + 2 + 12 * len(entries) + 4
        tile = bits + 8
        values = {258: bits, 324: tile}
        out = struct.pack("<2sHI", b"II", 42, ifd) + struct.pack("<H", len(entries))
        for tag, kind, count, value in entries:
            field = struct.pack("<I", values.get(tag, value)) if kind == 4 or tag in values \
                else struct.pack("<HH", value, 0)
            out += struct.pack("<HHI", tag, kind, count) + field
        out += struct.pack("<I", 0) + struct.pack("<4H", 16, 16, 16, 16) + data
        with open(ws.path(name), "wb") as f:
            f.write(out + b"\0" * max(0, size - len(out)))
    return make


def blank_tiff(name, side):
    """An uncompressed 16-bit grey TIFF of side x side zeros in one strip, made sparse: a file
    of 2 x side^2 bytes that takes no time or disk to make."""
    def make(ws):
        entries = [(256, 4, side), (257, 4, side), (258, 3, 16), (259, 3, 1), (262, 3, 1),
                   (273, 4, None), (277, 3, 1), (278, 4, side), (279, 4, 2 * side * side)]
        data = 8 + 2 + 12 * len(entries) + 4
        out = struct.pack("<2sHIH", b"II", 42, 8, len(entries))
        for tag, kind, value in entries:
            value = data if value is None else value
            field = struct.pack("<I", value) if kind == 4 else struct.pack("<HH", value, 0)
            out += struct.pack("<HHI", tag, kind, 1) + field
        with open(ws.path(name), "wb") as f:
            f.write(out + struct.pack("<I", 0))
            f.truncate(data + 2 * side * side)
    return make


def tiff_with_profile(name, profile):
    """A 6 x 5 RGBA16 TIFF carrying `profile` as its ICC profile."""
    def make(ws):
        import numpy
        import tifffile
        pixels = numpy.array(FRAME.rows, dtype="<u2").reshape(FRAME.height, FRAME.width, 4)
        tifffile.imwrite(ws.path(name), pixels, byteorder="<", photometric="rgb",
                         extrasamples=["unassalpha"], metadata=None, software=False,
                         extratags=[(34675, 7, len(profile), profile, True)])
    return make


def links(*pairs):
    def make(ws):
        for name, target in pairs:
            os.symlink(target, ws.path(name))
    return make


def block(name, mode, field):
    def make(ws):
        with open(ws.path(name), "wb") as f:
            f.write(struct.pack("<ii", mode, field))
    return make


def hard_link(source, name):
    def make(ws):
        os.link(ws.path(source), ws.path(name))
    return make


def old_temporary_names(output, victim):
    """Links at every name the earlier temporary scheme (OUTPUT.<pid>-<n>.braidel-tmp) used."""
    def make(ws):
        with open(ws.path(victim), "w") as f:
            f.write("victim")
        for pid in range(0, 1024, 4):
            for n in range(2):
                os.symlink(victim, ws.path("%s.%d-%d.braidel-tmp" % (output, pid, n)))
    return make


def raw_file(name, frames):
    """A raw stream of 16 x 16 frames."""
    def make(ws):
        frames_data = [run_test.random_frame(16, 16, i) for i in range(frames)]
        with open(ws.path(name), "wb") as f:
            f.write(run_test.raw_stream(frames_data))
    return make


def zeros(name, size):
    """A sparse file of `size` zero bytes: a large file that takes no time or disk to make."""
    def make(ws):
        with open(ws.path(name), "wb") as f:
            f.truncate(size)
    return make


def pty_link(name):
    """A link to a terminal (a pseudo-terminal held open for the row)."""
    def make(ws):
        import pty
        master, slave = pty.openpty()
        ws.addCleanup(os.close, master)
        ws.addCleanup(os.close, slave)
        os.symlink(os.ttyname(slave), ws.path(name))
    return make


def folders(*names):
    def make(ws):
        for name in names:
            os.makedirs(ws.path(name))
    return make


def permissions(name, mode):
    def make(ws):
        os.chmod(ws.path(name), mode)
    return make


LONG = "d" * 200 + "/" + "e" * 100
# About 4030 bytes of folders: with the row's own folder, past the longest path Wine opens.
DEEP = "/".join(["f" * 250] * 16) + "/" + "g" * 13
# 4266 bytes of folders: a relative path past PATH_MAX (4096), which Linux opens in no one call.
DEEPER = "/".join(["f" * 250] * 17)
NAME_250 = "n" * 246 + ".png"

# name, setup steps, arguments, exit code, fragment of the one error line (None: success),
# files the run writes (relative to the row's folder), how to run: "program" (the program under
# test), "unprivileged" (the program as an unprivileged user, with the row's folder open to it)
# or "full" (standard output on /dev/full). Arguments given as one string are a
# command line for bash, as a user types it, in which braidel-run is the program under test
# (and $program its path, for a background job whose process id counts).
CASES = [
    ("save-config onto a batch input", [images("f1.png", "f2.png")],
     ["--out-dir", "o", "--save-config", "f1.png", "f2.png"], 5, "not a configuration block", []),
    ("save-config onto the input", [images("in.png")],
     ["--save-config", "in.png", "in.png", "out.png"], 5, "would replace in.png", []),
    ("save-config onto the output", [images("in.png")],
     ["--save-config", "out.png", "in.png", "out.png"], 2, "same file", []),
    ("input through a linked folder", [images("real/a.png"), links(("link", "real"))],
     ["link/a.png", "real/a.png"], 5, "would replace link/a.png", []),
    ("input is a link to the output", [images("out.png"), links(("in.png", "out.png"))],
     ["in.png", "out.png"], 5, "would replace in.png", []),
    ("output folder is a link to the inputs", [images("a.png"), links(("od", "."))],
     ["--out-dir", "od", "a.png"], 5, "would replace a.png", []),
    ("mask named through a link", [images("in.png", "m.png"), links(("mask.png", "m.png"))],
     ["--mask", "mask.png", "in.png", "m.png"], 5, "would replace mask.png", []),
    ("output is a hard link of the input", [images("in.png"), hard_link("in.png", "out.png")],
     ["in.png", "out.png"], 5, "would replace in.png", []),
    ("output is the configuration read", [images("in.png"), block("c.png", 1, 0)],
     ["--config", "c.png", "in.png", "c.png"], 5, "would replace c.png", []),
    ("field outside the defined values", [images("in.png"), block("bad.cfg", 0, 7)],
     ["--config", "bad.cfg", "in.png", "out.png"], 4, "field 7", []),
    ("mode outside the defined values is not saved", [block("bad.cfg", 5, 0)],
     ["--config", "bad.cfg", "--save-config", "new.cfg"], 4, "mode 5", []),
    ("drive-like relative name", [images("in.png")], ["--quiet", "in.png", "c:name.png"], 0,
     None, ["c:name.png"]),
    ("long working folder", [images(LONG + "/in.png")],
     ["--quiet", "in.png", "out.png"], 0, None, [LONG + "/out.png"]),
    *native_only("a Linux name is any bytes", [
        ("native: input name that is not UTF-8", [images("caf\udce9.png")],
         ["caf\udce9.png", "out.png"], 0, "braidel-run: caf\\xe9.png -> out.png", ["out.png"]),
        ("native: output name that is not UTF-8", [images("in.png")],
         ["in.png", "x\udcff\udcfe.png"], 0, "-> x\\xff\\xfe.png", ["x\udcff\udcfe.png"]),
    ]),
    ("output name of 250 bytes", [images("in.png")], ["--quiet", "in.png", NAME_250], 0, None,
     [NAME_250]),
    ("output folder with missing parents", [images("in.png")],
     ["--quiet", "--out-dir", "a/b/c", "in.png"], 0, None, ["a/b/c/in.png"]),
    ("links planted at the old temporary names",
     [images("in.png"), old_temporary_names("out.png", "victim")],
     ["--quiet", "in.png", "out.png"], 0, None, ["out.png"]),
    ("huge claimed size", [], ["huge.tif", "out.png"], 3, "huge.tif", []),
    ("text chunks that inflate to gigabytes", [text_bomb("bomb.png", 30, 8 << 20)],
     ["--quiet", "bomb.png", "out.png"], 0, "30 text chunk(s) left out", ["out.png"]),
    ("compressed text stays compressed", [text_bomb("text.png", 1, 512 << 10)],
     "braidel-run --quiet text.png out.png && test $(stat -c %s out.png) -lt 65536", 0, None,
     ["out.png"]),
    ("a tile far larger than the frame", [tile_claim("tiled.tif", 16384)],
     ["--quiet", "tiled.tif", "out.png"], 0, None, ["out.png"]),
    ("a mask far larger than the frame", [images("in.png"), blank_png("mask.png", 16000)],
     ["--quiet", "--mask", "mask.png", "in.png", "out.png"], 0, None, ["out.png"]),
    ("a mask far larger than the frame, in an uncompressed TIFF",
     [images("in.png"), blank_tiff("mask.tif", 16000)],
     ["--quiet", "--mask", "mask.tif", "in.png", "out.png"], 0, None, ["out.png"]),
    *not_sanitized("the sanitizers keep freed memory", [
        ("a mask cropped for forty frame sizes",
         [blank_png("mask.png", 700, 800)] + [blank_png("f%02d.png" % i, 600 + i, 700 + i)
                                              for i in range(40)],
         ["--quiet", "--jobs", "2", "--mask", "mask.png", "--out-dir", "o",
          *["f%02d.png" % i for i in range(40)]], 0, None, ["o/f%02d.png" % i for i in range(40)]),
    ]),
    ("output that is a link", [images("in.png", "real/target.png"),
                               links(("out.png", "real/target.png"))],
     ["--quiet", "in.png", "out.png"], 0, None, ["real/target.png"]),
    ("output that is a link to nothing", [images("in.png"), links(("out.png", "gone.png"))],
     ["in.png", "out.png"], 5, "gone.png, which does not exist", []),
    ("malformed ICC profile into a PNG", [tiff_with_profile("in.tif", bytes(16) + b"RGB " +
                                                             bytes(180))],
     ["--quiet", "in.tif", "out.png"], 0, "ICC profile was left out", ["out.png"]),
    ("C1 control characters in a name", [], ["a\u009b2Jb\u0085.png", "out.png"], 3,
     "a\\u009b2Jb\\u0085.png: cannot be read", []),
    *windows_only("Windows takes names that differ in case or by a short name for one file", [
        ("two new outputs that differ only in case", [images("a/X.png", "b/x.png")],
         ["--out-dir", "out", "a/X.png", "b/x.png"], 2,
         "out/x.png and out/X.png are the same file", []),
        ("a new output and its generated short name",
         [images("a/holiday photographs.png", "b/HOLI~5TQ.PNG"), folders("out")],
         ["--out-dir", "out", "a/holiday photographs.png", "b/HOLI~5TQ.PNG"], 2,
         "are the same file", []),
        ("save-config and a new output that differ only in case", [images("in.png")],
         ["--save-config", "X.png", "in.png", "x.png"], 2, "are the same file", []),
        ("save-config and a raw output that differ only in case", [raw_file("in.raw", 1)],
         ["--save-config", "S.raw", "--raw", "16x16", "in.raw", "s.raw"], 2,
         "are the same file", []),
    ]),
    *native_only("Linux names are exact", [
        ("native: names that differ only in case are two files", [images("a/X.png", "b/x.png")],
         ["--quiet", "--out-dir", "out", "a/X.png", "b/x.png"], 0, None,
         ["out/X.png", "out/x.png"]),
        ("native: a trailing dot names another file", [images("in.png")], ["in.png.", "out.png"],
         3, "in.png.: cannot be read", []),
    ]),
    (".. after a linked folder", [images("in.png"), folders("a/b"), links(("l", "a/b"))],
     ["--quiet", "in.png", "l/../out.png"], 0, None, ["a/out.png"]),
    *native_only("a Linux name may hold any byte but / and NUL", [
        ("native: backslash in a name", [images("in.png", "sub/victim.png")],
         ["--quiet", "in.png", "sub\\victim.png"], 0, None, ["sub\\victim.png"]),
        ("native: a name Windows cannot express", [images("in.png")],
         ["--quiet", "in.png", "a?b*<>|\".png"], 0, None, ["a?b*<>|\".png"]),
        ("native: control character in a name, shown escaped", [images("in.png")],
         ["in.png", "a\nb.png"], 0, "-> a\\nb.png (copy line", ["a\nb.png"]),
    ]),
    ("empty raw output name", [], ["--raw", "2x2", "in.raw", ""], 2, "empty", []),
    ("output name of 256 bytes", [images("in.png")], ["in.png", "n" * 252 + ".png"], 2,
     "255 bytes", []),
    ("option value that looks like a flag", [images("in.png")], ["--mask", "--about", "in.png",
     "o.png"], 3, "--about: cannot be read", []),
    ("standard input closed", [], "braidel-run --raw 16x16 - out.raw <&-", 3, "standard input",
     []),
    ("standard output closed for -", [raw_file("three.raw", 3)],
     "braidel-run --raw 16x16 three.raw - >&-", 5, "standard output", []),
    ("standard output closed where not needed", [images("in.png")],
     "braidel-run --quiet in.png out.png >&-", 0, None, ["out.png"]),
    ("/dev/stdin as a raw input", [raw_file("three.raw", 3)],
     "braidel-run --quiet --raw 16x16 /dev/stdin out.raw < three.raw", 0, None, ["out.raw"]),
    ("/proc/self/cwd is the caller's folder", [images("in.png")],
     "braidel-run --quiet in.png /proc/self/cwd/out.png", 0, None, ["out.png"]),
    ("/dev/fd/N of a file the caller opened", [images("in.png")],
     "braidel-run --quiet /dev/fd/3 out.png 3< in.png", 0, None, ["out.png"]),
    ("/dev/stdout as --save-config", [],
     "braidel-run --mode weighted --save-config /dev/stdout > s.bin && "
     "test $(od -An -tx1 s.bin | tr -d ' ') = 0200000000000000", 0, None, ["s.bin"]),
    ("/dev/stdin as --config", [block("w.cfg", 2, 1)],
     "braidel-run --config /dev/stdin --save-config got.cfg < w.cfg && cmp w.cfg got.cfg", 0,
     None, ["got.cfg"]),
    ("/dev/stdin as --mask", [images("in.png")],
     "braidel-run --mask /dev/stdin in.png out.png < in.png", 2,
     "--mask cannot be a standard stream", []),
    ("/dev/stdout as --out-dir", [images("in.png")], "braidel-run --out-dir /dev/stdout in.png",
     2, "--out-dir cannot be a standard stream", []),
    ("/dev/stdin as --config and as the raw input", [raw_file("in.raw", 1), block("w.cfg", 1, 0)],
     "braidel-run --raw 16x16 --config /dev/stdin - out.raw < in.raw", 2,
     "both --config and the raw frames", []),
    ("standard input outside a raw stream", [images("in.png")], ["-", "out.png"], 2,
     "raw frames only", []),
    *windows_only("names Windows cannot express", [
        ("name Windows cannot express", [images("in.png")], ["in.png", "a?b.png"], 2,
         "with ? in it", []),
        ("control character in a name", [images("in.png")], ["in.png", "a\nb.png"], 2,
         "a\\nb.png: ", []),
    ]),
    *native_only("a pipe of the caller is read as any pipe", [
        ("native: process substitution as a raw input", [raw_file("three.raw", 3)],
         "braidel-run --quiet --raw 16x16 <(cat three.raw) out.raw && "
         "test $(stat -c %s out.raw) = 6144", 0, None, ["out.raw"]),
    ]),
    ("file-size limit", [images("in.png"), noise_image("big.png")],
     "ulimit -f 8; braidel-run big.png out.png", 5, "file-size limit", []),
    ("two writes to one new file through a linked folder",
     [images("in.png"), folders("real"), links(("linked", "real"))],
     ["--save-config", "linked/result.png", "in.png", "real/result.png"], 2, "same file", []),
    ("standard output appended to the input", [raw_file("in.raw", 2)],
     "braidel-run --raw 16x16 in.raw - >> in.raw", 5, "would replace in.raw", []),
    ("output is the file on standard input", [raw_file("in.raw", 2)],
     "braidel-run --raw 16x16 - in.raw < in.raw", 5, "would replace standard input", []),
    # A 1024 x 1024 frame takes 8 MiB, more than a pipe holds: the signal comes while the
    # program writes the first frame, and its reader takes the rest only a second later.
    *native_only("the shell's signal", [
        ("a stop leaves whole frames on standard output", [zeros("in.raw", 3 << 23)],
         "mkfifo f; \"$program\" --quiet --raw 1024x1024 in.raw - > f & exec 3< f; "
         "head -c 1000000 <&3 > got.raw; kill -TERM $!; sleep 1; cat <&3 >> got.raw; wait $!; "
         "test $? = 143 && test $(stat -c %s got.raw) = 8388608", 0,
         "aborted; 1 frame written to standard output", ["got.raw"]),
    ]),
    *native_only("the shell's ulimit", not_sanitized("the sanitizers reserve terabytes", [
        ("an image file larger than the memory limit", [zeros("big.png", 600 << 20)],
         "ulimit -v 400000; braidel-run big.png out.png", 3, "big.png: ", []),
        ("a batch whose threads do not fit under the memory limit",
         [images("f1.png", "f2.png", "f3.png", "f4.png")],
         "ulimit -s 8192 -v 30000; braidel-run --quiet --jobs 8 --out-dir o f1.png f2.png f3.png "
         "f4.png", 0, None, ["o/f1.png", "o/f2.png", "o/f3.png", "o/f4.png"]),
        ("a raw stream whose threads cannot start leaves no temporary file",
         [raw_file("three.raw", 3)],
         "ulimit -s 8192 -v 30000; braidel-run --quiet --jobs 8 --raw 16x16 three.raw out.raw",
         4, "threads cannot start", []),
        # Room to load the program but not for the stop-signal watcher's stack.
        ("a memory limit too tight for the program's first thread", [],
         "ulimit -s 8192 -v 14000; braidel-run --version", 4,
         "cannot start: the system refused a thread", []),
        ("a raw stream whose frames do not fit under the memory limit",
         [zeros("in.raw", 3 * 2048 * 2048 * 8)],
         "ulimit -s 8192 -v 100000; braidel-run --quiet --jobs 1 --raw 2048x2048 in.raw out.raw",
         3, "not enough memory for a frame of 2048x2048", []),
    ])),
    ("raw frame too large for memory", [raw_file("in.raw", 1)],
     ["--raw", "65535x65535", "in.raw", "out.raw"], 3, "this run may use", []),
    ("batch frame too large for memory", [blank_png("in.png", 65535)],
     ["--out-dir", "o", "in.png"], 3, "MB of memory for its 65535 x 65535 pixels", []),
    # Both eyes count their views: two frames' worth, or four with the packed frame.
    ("both eyes: raw frames too large for memory", [raw_file("in.raw", 1)],
     ["--raw", "32767x65535", "--both-eyes", "side-by-side", "in.raw", "out.raw"], 3,
     "this run may use", []),
    ("both eyes: batch frame too large for memory", [blank_png("in.png", 65535)],
     ["--both-eyes", "two-outputs", "--out-dir", "o", "in.png"], 3,
     "its 65535 x 65535 pixels 2 times over", []),
    ("named pipe input opened before its writer", [raw_file("three.raw", 3)],
     "mkfifo f; (sleep 1; cat three.raw > f) & braidel-run --quiet --raw 16x16 f out.raw && "
     "test $(stat -c %s out.raw) = 6144", 0, None, ["out.raw"]),
    ("named pipe output", [raw_file("three.raw", 3)],
     "mkfifo f; cat f > got.raw & braidel-run --quiet --raw 16x16 three.raw f && wait && "
     "test $(stat -c %s got.raw) = 6144", 0, None, ["got.raw"]),
    ("device output", [raw_file("three.raw", 3)], "braidel-run --quiet --raw 16x16 three.raw /dev/null",
     0, None, []),
    *native_only("special files and the caller's descriptors as Linux has them", [
        ("native: /dev/fd/N leading to a long path", [raw_file("three.raw", 3)],
         "braidel-run --quiet --raw 16x16 three.raw /dev/fd/3 3>> %s && "
         "test $(stat -c %%s %s) = 6144" % ("o" * 90 + ".raw", "o" * 90 + ".raw"), 0, None,
         ["o" * 90 + ".raw"]),
        ("native: --save-config on /dev/fd/N leading to a long path",
         [block("c" * 90 + ".cfg", 1, 0)],
         "braidel-run --mode weighted --save-config /dev/fd/3 3< %s" % ("c" * 90 + ".cfg"), 0,
         None, ["c" * 90 + ".cfg"]),
        ("native: --out-dir through a folder not made yet and ..", [images("in/f.png")],
         ["--out-dir", "in/new/..", "in/f.png"], 5, "would replace in/f.png", []),
        ("native: named pipe as an image output", [images("in.png")],
         "mkfifo f.png; cat f.png > got & braidel-run --quiet in.png f.png && wait && "
         "test -s got", 0, None, ["got"]),
        ("native: link to a character device as an output", [images("in.png"),
                                                             links(("discard.png", "/dev/null"))],
         ["--quiet", "in.png", "discard.png"], 0, None, []),
        ("native: block device as a raw output is never replaced", [raw_file("three.raw", 1)],
         "mknod blk.raw b 7 250 && { braidel-run --quiet --raw 16x16 three.raw blk.raw "
         "2>/dev/null; test -b blk.raw; }", 0, None, []),
        ("native: --save-config into a pipe that names no file", [],
         "braidel-run --save-config >(cat > x.cfg)", 2, "names no file", ["x.cfg"]),
        ("native: stop while --config waits on a pipe", [],
         "sleep 30 2>/dev/null | \"$program\" --config - --save-config o.cfg & sleep 1; "
         "kill -TERM $!; wait $!", 143, "aborted", []),
        ("native: stop while --config waits for a named pipe's writer", [],
         "mkfifo c; \"$program\" --config c --save-config o.cfg & sleep 1; kill -TERM $!; "
         "wait $!", 143, "aborted", []),
        ("native: a hang-up the caller ignores (nohup) stays ignored", [],
         "trap '' HUP; sleep 30 2>/dev/null | \"$program\" --config - --save-config o.cfg & "
         "sleep 1; kill -HUP $!; sleep 0.5; kill -TERM $!; wait $!", 143, "aborted", []),
        ("native: --version into a full device", [], ["--version"], 5, "standard output",
         [], "full"),
        ("native: both eyes, a right output that fails keeps the left from being written",
         [images("in.png"), links(("r.png", "/dev/full"))],
         ["--both-eyes", "two-outputs", "in.png", "l.png", "r.png"], 5, "r.png", []),
        ("native: a read-only output is replaced whole, as its folder allows",
         [images("in.png", "out.png"), permissions("out.png", 0o444)],
         ["--quiet", "in.png", "out.png"], 0, None, ["out.png"]),
        ("native: a terminal named as the raw output", [raw_file("three.raw", 1),
                                                        pty_link("tty.raw")],
         ["--raw", "16x16", "three.raw", "tty.raw"], 2, "is a terminal", []),
        ("native: a reader that takes part of a frame is not counted", [
            zeros("big.raw", 512 * 512 * 8 * 3)],
         "braidel-run --raw 512x512 big.raw - 2>err | head -c 100 >/dev/null; "
         "test ${PIPESTATUS[0]} = 5 && ! grep -q 'written' err && cat err >&2", 0,
         "its reader closed it", ["err"]),
    ]),
    ("configuration that is a folder", [folders("cfg")], ["--config", "cfg", "--save-config",
     "x.cfg"], 3, "is a folder", []),
    ("file-size limit keeps the old output", [noise_image("big.png"), images("out.png")],
     "ulimit -f 8; braidel-run big.png out.png", 5, "file-size limit", []),
    *native_only("Linux opens paths of any length, a folder at a time", [
        ("native: relative path longer than PATH_MAX", [images(DEEPER + "/in.png")],
         ["--quiet", DEEPER + "/in.png", DEEPER + "/out.png"], 0, None, [DEEPER + "/out.png"]),
        # The output's temporary file beside it takes its absolute path past PATH_MAX.
        ("native: working folder near the path limit", [images(DEEP + "/in.png")],
         ["--quiet", "in.png", "out.png"], 0, None, [DEEP + "/out.png"]),
    ]),
    # Run as an unprivileged user: root, whom the tests run as, passes every permission check.
    *native_only("Linux permissions, met by an unprivileged user", [
        ("native: output into a read-only folder", [images("in.png"), folders("ro"),
                                                    permissions("ro", 0o555)],
         ["in.png", "ro/out.png"], 5, "ro/out.png", [], "unprivileged"),
        ("native: input in a folder without search permission",
         [images("locked/in.png"), permissions("locked", 0o666), folders("w"),
          permissions("w", 0o777)],
         ["locked/in.png", "w/out.png"], 3, "locked/in.png: cannot be read", [], "unprivileged"),
        ("native: output in a folder without search permission",
         [images("in.png"), folders("locked"), permissions("locked", 0o666)],
         ["in.png", "locked/out.png"], 5, "locked/out.png", [], "unprivileged"),
    ]),
    *native_only("the native program has no dialogs", [
        ("native: --setup is refused", [images("in.png")], ["--setup", "in.png", "out.png"], 4,
         "--setup", []),
        ("native: --about is refused", [], ["--about"], 4, "--about", []),
    ]),
    *windows_only("Windows file identity and temporary files", [
        ("windows: output is a hard link of the input",
         [images("in.png"), hard_link("in.png", "o.png")],
         ["in.png", "o.png"], 5, "would replace in.png", []),
        ("windows: save-config onto the input", [images("in.png")],
         ["--save-config", "in.png", "in.png", "o.png"], 5, "would replace in.png", []),
        ("windows: writes through a temporary file", [images("in.png")],
         ["--quiet", "in.png", "o.png"], 0, None, ["o.png"]),
    ]),
]


# Rows run from a folder below the row's own.
WORKING_FOLDERS = {"long working folder": LONG, "native: working folder near the path limit": DEEP}

# Rows whose promise is about memory: the program's peak resident memory, in MB, stays below
# this (the program takes about twenty; before these limits, hundreds or thousands).
PEAK_MB = {"text chunks that inflate to gigabytes": 200, "a tile far larger than the frame": 200,
           "a mask far larger than the frame": 200,
           # A 512 MB file, of which six rows are read; forty crops of up to 4.5 MB.
           "a mask far larger than the frame, in an uncompressed TIFF": 100,
           "a mask cropped for forty frame sizes": 100}

# Runs a command and writes the peak resident memory of its processes, in kB, to the file named
# first.
MEASURE = ("import resource, subprocess, sys; code = subprocess.run(sys.argv[2:]).returncode; "
           "open(sys.argv[1], 'w').write(str(resource.getrusage(resource.RUSAGE_CHILDREN)"
           ".ru_maxrss)); sys.exit(code)")

# Rows whose promise is about time: refused before any of the claimed memory is taken.
REFUSED_AT_ONCE = {"huge claimed size", "raw frame too large for memory",
                   "batch frame too large for memory", "both eyes: raw frames too large for memory",
                   "both eyes: batch frame too large for memory"}


def huge_tiff(ws):
    """198 bytes of little-endian TIFF whose header claims 30000 x 30000 RGBA pixels."""
    entries = [(256, 4, 1, 30000), (257, 4, 1, 30000), (258, 3, 1, 8), (259, 3, 1, 1),
               (262, 3, 1, 2), (273, 4, 1, 8), (277, 3, 1, 4), (278, 4, 1, 30000),
               (279, 4, 1, 3600000000 & 0xFFFFFFFF), (284, 3, 1, 1)]
    data = struct.pack("<2sHI", b"II", 42, 198 - 2 - 12 * len(entries) - 4)
    data += b"\0" * (198 - len(data) - 2 - 12 * len(entries) - 4)
    data += struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        data += struct.pack("<HHII", tag, kind, count, value)
    data += struct.pack("<I", 0)
    with open(ws.path("huge.tif"), "wb") as f:
        f.write(data)


def unprivileged_runner(test):
    """What runs a command as an unprivileged user: setpriv as nobody when the tests run as root,
    nothing more for another user, whose permissions already hold."""
    if os.geteuid() != 0:
        return []
    if shutil.which("setpriv") is None:
        test.skipTest("root, and no setpriv (util-linux) to run the program as nobody")
    try:
        pwd.getpwnam("nobody")
    except KeyError:
        test.skipTest("root, and no user nobody to run the program as")
    return ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]


class FileSafety(run_test.Workspace):
    def run_case(self, setup, args, how):
        runner = []
        if how == "unprivileged":
            runner = unprivileged_runner(self)
            os.chmod(self.dir, 0o755)
        for step in setup:
            step(self)
        if "huge.tif" in args:
            huge_tiff(self)
        cwd = self.path(WORKING_FOLDERS.get(self.case, ""))
        before = snapshot(self.dir)
        started = time.monotonic()
        if how == "full":
            with open("/dev/full", "wb") as full:
                result = subprocess.run([run_test.PROGRAM, *args], cwd=cwd,
                                        stdin=subprocess.DEVNULL, stdout=full,
                                        stderr=subprocess.PIPE, timeout=120)
        elif isinstance(args, str):
            result = subprocess.run(
                ["bash", "-c", 'program="%s"; braidel-run() { "$program" "$@"; }; %s'
                 % (run_test.PROGRAM, args)],
                cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        else:
            encoded = [os.fsencode(a) for a in args]
            measured = []
            if self.case in PEAK_MB:
                self.peak_file = tempfile.mktemp(prefix="braidel-peak-")
                measured = [sys.executable, "-c", MEASURE, self.peak_file]
            result = subprocess.run([*measured, *runner, run_test.PROGRAM, *encoded], cwd=cwd,
                                    stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        return before, result, time.monotonic() - started

    def peak_mb(self):
        with open(self.peak_file) as f:
            peak = int(f.read()) // 1024
        os.unlink(self.peak_file)
        return peak

    def test_table(self):
        # BRAIDEL_ROWS=text runs only the rows whose name holds the text.
        only = os.environ.get("BRAIDEL_ROWS", "")
        for name, setup, args, code, fragment, written, *how in CASES:
            if only not in name:
                continue
            with self.subTest(case=name):
                run_test.skip_row_elsewhere(self, name)
                if run_test.SYSTEM == "windows" and name not in run_test.ONLY_ON:
                    self.skipTest("the native program's row: the Windows program runs only "
                                  "Windows' own")
                self.case = name
                self.tearDown()
                self.dir = tempfile.mkdtemp(prefix="braidel-safety-")
                before, result, seconds = self.run_case(setup, args, (how or ["program"])[0])
                self.assertExit(result, code)
                if fragment is None:
                    self.assertEqual(result.stderr, b"")
                else:
                    self.assertOneErrorLine(result, fragment)
                after = snapshot(self.dir)
                changed = {p for p in set(before) | set(after) if before.get(p) != after.get(p)}
                self.assertEqual(changed, set(written))
                if name in PEAK_MB:
                    self.assertLess(self.peak_mb(), PEAK_MB[name])
                if name in REFUSED_AT_ONCE:
                    # Decoding what the header claims would take minutes and gigabytes; the
                    # bound holds on a loaded two-core machine.
                    self.assertLess(seconds, 60)

    @native_only("a file-safety row of the native program")
    def test_outputs_take_the_callers_umask(self):
        # Outputs and the folders --out-dir makes (with their parents) take the caller's.
        write_png(self.path("in.png"), FRAME)
        for mask, mode in ((0o077, 0o600), (0o002, 0o664)):
            with self.subTest(umask=oct(mask)):
                out = self.path("out-%o.png" % mask)
                made = self.path("made-%o" % mask, "inner")
                for args in ([self.path("in.png"), out], ["--out-dir", made, self.path("in.png")]):
                    result = subprocess.run([run_test.PROGRAM, "--quiet", *args],
                                            stdin=subprocess.DEVNULL, capture_output=True,
                                            timeout=120, preexec_fn=lambda m=mask: os.umask(m))
                    self.assertExit(result, 0)
                self.assertEqual(os.stat(out).st_mode & 0o777, mode)
                self.assertEqual(os.stat(os.path.join(made, "in.png")).st_mode & 0o777, mode)
                for folder in (made, os.path.dirname(made)):
                    self.assertEqual(os.stat(folder).st_mode & 0o777, 0o777 & ~mask)

    @native_only("a file-safety row of the native program")
    def test_input_that_shrinks_while_read(self):
        # An 8000 x 8000 frame of grey zeros, a small file that takes seconds to decode, is cut
        # to a fifth once the program has it open: exit 3 with one line, within seconds, never a
        # fault left to a debugger that waits.
        source = self.path("in.png")
        with open(source, "wb") as f:
            f.write(png_bytes(8000, 8000, 8, 0, b"\0" * 8001 * 8000, level=9))
        started = time.monotonic()
        with subprocess.Popen([run_test.PROGRAM, "--quiet", source, self.path("out.png")],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE) as process:
            self.assertTrue(wait_until_open(source, process), "the input was never opened")
            os.truncate(source, os.path.getsize(source) // 5)
            _, stderr = process.communicate(timeout=120)
        self.assertEqual(process.returncode, 3, stderr)
        self.assertOneErrorLine(subprocess.CompletedProcess([], 3, b"", stderr), "changed")
        self.assertEqual(os.listdir(self.dir), ["in.png"])
        # "Within seconds" on a loaded two-core machine, where a waiting debugger never ends.
        self.assertLess(time.monotonic() - started, 90)

    @native_only("a file-safety row of the native program")
    def test_full_disk_leaves_nothing(self):
        small = self.path("small")
        os.mkdir(small)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16k", "tmpfs", small],
                          capture_output=True).returncode != 0:
            self.skipTest("no tmpfs can be mounted here")
        try:
            write_png(self.path("in.png"), from_rgba16(run_test.random_frame(64, 64, 1)))
            result = run_test.run(self.path("in.png"), os.path.join(small, "out.png"))
            self.assertExit(result, 5)
            self.assertOneErrorLine(result, "out.png")
            self.assertEqual(os.listdir(small), [])
        finally:
            subprocess.run(["umount", small])

    @native_only("a file-safety row of the native program")
    def test_output_on_another_file_system(self):
        # Outputs on a tmpfs, the current folder and the inputs on the tests' own file system:
        # each output is complete, and its temporary file was made beside it, so that its
        # rename never crosses devices. A file made (or removed) in the current folder would
        # change the folder's modification time.
        if not os.path.isdir("/dev/shm"):
            self.skipTest("no /dev/shm")
        other = tempfile.mkdtemp(prefix="braidel-other-fs-", dir="/dev/shm")
        self.addCleanup(shutil.rmtree, other, ignore_errors=True)
        if os.stat(other).st_dev == os.stat(self.dir).st_dev:
            self.skipTest("/dev/shm is on the tests' own file system")
        frame = run_test.random_frame(9, 7, 3)
        write_png(self.path("in.png"), from_rgba16(frame))
        with open(self.path("in.raw"), "wb") as f:
            f.write(run_test.raw_stream([frame] * 3))
        runs = [["in.png", os.path.join(other, "out.png")],
                ["--out-dir", os.path.join(other, "batch"), "in.png"],
                ["--raw", "9x7", "in.raw", os.path.join(other, "out.raw")]]
        folder_times = os.stat(self.dir).st_mtime_ns
        for args in runs:
            with self.subTest(args=args):
                self.assertExit(run_test.run("--quiet", "--mode", "weighted", *args,
                                             cwd=self.dir), 0)
        self.assertEqual(os.stat(self.dir).st_mtime_ns, folder_times)
        want = reference.rebuild(frame, "weighted", 0)
        for written in ("out.png", "batch/in.png"):
            self.assertEqual(read_image(os.path.join(other, written)).rgba16(), want, written)
        with open(os.path.join(other, "out.raw"), "rb") as f:
            self.assertEqual(run_test.raw_frames(f.read(), 9, 7), [want] * 3)
        self.assertEqual(sorted(os.listdir(other)), ["batch", "out.png", "out.raw"])
        self.assertEqual(os.listdir(os.path.join(other, "batch")), ["in.png"])

    def test_termination_during_a_batch(self):
        # Ten large frames on two jobs, the program signalled once the first frame is written:
        # the run exits as the signal asks, with one line, and leaves no temporary file and no
        # changed input. The Windows program stops on Ctrl-C, a console control event.
        rows = run_test.random_frame(1920, 8, 3)
        write_png(self.path("f00.png"), from_rgba16([rows[y % 8] for y in range(1080)]))
        for i in range(1, 10):
            os.link(self.path("f00.png"), self.path("f%02d.png" % i))
        inputs = snapshot(self.dir)
        for sig in run_test.STOP_SIGNALS:
            code = 128 + sig
            with self.subTest(signal=sig.name):
                out = self.path("out-" + sig.name)
                with subprocess.Popen(
                        [run_test.PROGRAM, "--jobs", "2", "--out-dir", out,
                         *[self.path("f%02d.png" % i) for i in range(10)]],
                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                        stderr=subprocess.PIPE) as process:
                    process.stderr.readline()
                    process.send_signal(sig)
                    rest = process.communicate(timeout=120)[1].decode()
                    self.assertEqual(process.returncode, code, rest)
                self.assertIn("aborted", rest)
                self.assertEqual([n for n in os.listdir(out) if not n.endswith(".png")], [])
                self.assertLess(len(os.listdir(out)), 10)
                self.assertEqual({p: v for p, v in snapshot(self.dir).items() if p in inputs},
                                 inputs)


@windows_only("the dialogs of the plug-in under Wine")
class Displays(run_test.Workspace):
    def test_ctrl_c_ends_an_open_dialog(self):
        # The about box open on a virtual display, in a prefix that uses the X11 driver, and
        # Ctrl-C (a console control event): the modal dialog answers no abort poll, yet the
        # program ends at once, with one line and nothing written.
        number = 80 + os.getpid() % 8
        if os.path.exists("/tmp/.X11-unix/X%d" % number):
            self.skipTest("display :%d is in use" % number)
        prefix = os.path.join(ROOT, "build", "win64", "wine-x11")
        wine_exec = os.path.join(ROOT, "scripts", "wine-exec")
        # The driver is chosen when a session starts: the one that set it is ended.
        for command in (["reg", "add", "HKCU\\Software\\Wine\\Drivers", "/v", "Graphics", "/d",
                         "x11", "/f"], ["--stop-server"]):
            subprocess.run([wine_exec, prefix, *command], stdin=subprocess.DEVNULL,
                           capture_output=True, timeout=300, check=True)
        server = subprocess.Popen(["Xvfb", ":%d" % number, "-nolisten", "tcp"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        marker = "braidel-dialog-%d" % os.getpid()
        try:
            deadline = time.monotonic() + 30
            while not os.path.exists("/tmp/.X11-unix/X%d" % number):
                self.assertLess(time.monotonic(), deadline, "Xvfb did not start")
                time.sleep(0.1)
            program = subprocess.Popen(
                [run_test.PROGRAM, "--about"], cwd=self.dir, stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                env=dict(os.environ, DISPLAY=":%d" % number, BRAIDEL_PREFIX=prefix,
                         BRAIDEL_TEST_MARKER=marker))
            deadline = time.monotonic() + 180
            while not programs_marked(marker):
                self.assertLess(time.monotonic(), deadline, "the program never started")
                time.sleep(0.2)
            time.sleep(3)  # the about box is up
            program.send_signal(signal.SIGINT)
            _, stderr = program.communicate(timeout=60)
            self.assertEqual(program.returncode, 130, stderr)
            self.assertOneErrorLine(subprocess.CompletedProcess([], 130, b"", stderr),
                                    "aborted while a dialog was open")
            self.assertEqual(os.listdir(self.dir), [])
        finally:
            for pid in programs_marked(marker):
                os.kill(pid, signal.SIGKILL)
            server.terminate()
            server.wait()


def programs_marked(marker):
    """The braidel-run.exe processes whose environment holds the marker."""
    found = []
    for folder in glob.glob("/proc/[0-9]*"):
        try:
            with open(folder + "/cmdline", "rb") as f:
                if b"braidel-run.exe" not in f.read():
                    continue
            with open(folder + "/environ", "rb") as f:
                if marker.encode() in f.read():
                    found.append(int(os.path.basename(folder)))
        except OSError:
            pass
    return found


if __name__ == "__main__":
    unittest.main(verbosity=2)
