#!/usr/bin/python3
"""braidel-run, native and Windows, against FFmpeg on the same job, end to end: four
3840 x 2160 16-bit RGBA PNG frames (a smooth picture with camera-like noise) read, deinterlaced
and written as 16-bit PNGs; then one small frame start to finish; then what syncing the outputs
before they are renamed into place costs.

  end_to_end.py WINDOWS PROGRAM [--json]

WINDOWS runs the Windows program (under Wine), PROGRAM is the native one; both run with their
defaults (--mode weighted --out-dir). FFmpeg runs bwdif on two threads. Everything is timed in
this one run, wall clock, after a warm-up of the page cache and of Wine; the printed ratios are
one contender's time or output size over another's. The small frame's time is the median of
SMALL_RUNS starts of each program. The sync cost: the native outputs' bytes written again as new
files, each through a temporary file renamed to its name, with fdatasync before the rename (as
the program does) and without, the median of SYNC_RUNS rounds, each started on a clean page
cache.
"""
import json
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests" / "run"))
from testimages import png_bytes  # noqa: E402

WIDTH, HEIGHT, FRAMES = 3840, 2160, 4
SMALL_WIDTH, SMALL_HEIGHT = 64, 48
SMALL_RUNS = 11
SYNC_RUNS = 5


def frame(seed, width=WIDTH, height=HEIGHT):
    """A smooth 16-bit picture (gradients and soft shapes per channel) with noise of sigma 180."""
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:height, 0:width].astype(np.float32)
    channels = []
    for c in range(3):
        phase = rng.uniform(0, 6.28)
        base = 32768 + 20000 * np.sin(x / (700 + 150 * c) + phase) * np.cos(y / (500 + 90 * c))
        channels.append(base + rng.normal(0, 180, (height, width)))
    channels.append(np.full((height, width), 65535.0))
    return np.clip(np.stack(channels, axis=-1), 0, 65535).astype(">u2")


def write_png(path, pixels):
    height, width = pixels.shape[:2]
    rows = np.zeros((height, 1 + width * 8), np.uint8)
    rows[:, 1:] = pixels.reshape(height, -1).view(np.uint8)
    with open(path, "wb") as f:
        f.write(png_bytes(width, height, 16, 6, rows.tobytes(), level=1))


def timed(command, **kwargs):
    start = time.monotonic()
    subprocess.run(command, check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   **kwargs)
    return time.monotonic() - start


def total_size(folder):
    return sum(p.stat().st_size for p in pathlib.Path(folder).iterdir())


def same_files(one, other):
    names = sorted(p.name for p in pathlib.Path(one).iterdir())
    return names == sorted(p.name for p in pathlib.Path(other).iterdir()) and all(
        (pathlib.Path(one) / n).read_bytes() == (pathlib.Path(other) / n).read_bytes()
        for n in names)


def braidel_run(program, out_dir, inputs):
    return timed([program, "--quiet", "--mode", "weighted", "--out-dir", str(out_dir),
                  *map(str, inputs)])


def small_frame_seconds(program, work, name):
    """The median start-to-finish time of one small frame through PROGRAM."""
    source = work / "small.png"
    if not source.exists():
        write_png(source, frame(99, SMALL_WIDTH, SMALL_HEIGHT))
    target = work / ("small-%s.png" % name)
    return statistics.median(
        timed([program, "--quiet", "--mode", "weighted", str(source), str(target)])
        for _ in range(SMALL_RUNS))


def write_seconds(contents, folder, sync):
    """The time to write CONTENTS ((name, bytes) pairs) as new files in FOLDER as the program
    writes its outputs: each to a temporary file, renamed to its name when complete, with or
    without fdatasync before the rename. The files are removed afterwards."""
    folder.mkdir()
    os.sync()  # no other file's dirty pages to write back meanwhile
    start = time.monotonic()
    for name, data in contents:
        temporary = folder / (".%s.tmp" % name)
        fd = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666)
        try:
            view = memoryview(data)
            while view:
                view = view[os.write(fd, view):]
            if sync:
                os.fdatasync(fd)
        finally:
            os.close(fd)
        os.rename(temporary, folder / name)
    seconds = time.monotonic() - start
    shutil.rmtree(folder)
    return seconds


def sync_seconds(files, folder):
    """The median time to write FILES' bytes anew without syncing them and with, in rounds of
    both ways."""
    contents = [(path.name, path.read_bytes()) for path in files]
    rounds = [(write_seconds(contents, folder, sync=False),
               write_seconds(contents, folder, sync=True)) for _ in range(SYNC_RUNS)]
    return tuple(statistics.median(r[i] for r in rounds) for i in (0, 1))


def written_inputs(work):
    """The benchmark's frames written as f1.png, f2.png, ... and read once, so that every
    contender finds them in the page cache alike."""
    inputs = [work / ("f%d.png" % (i + 1)) for i in range(FRAMES)]
    for i, path in enumerate(inputs):
        write_png(path, frame(i))
    for path in inputs:
        path.read_bytes()
    return inputs


def measure(launcher, program, work):
    inputs = written_inputs(work)
    native_out, windows_out, ffmpeg_out = work / "native", work / "windows", work / "ffmpeg"
    ffmpeg_out.mkdir()
    subprocess.run([launcher, "--version"], check=True, capture_output=True)  # Wine warm
    native = braidel_run(program, native_out, inputs)
    windows = braidel_run(launcher, windows_out, inputs)
    ffmpeg = timed(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-threads", "2",
                    "-i", str(work / "f%d.png"), "-vf",
                    "bwdif=mode=send_frame:parity=tff:deint=all", "-pix_fmt", "rgba64be",
                    str(ffmpeg_out / "out%d.png")])
    native_small = small_frame_seconds(program, work, "native")
    windows_small = small_frame_seconds(launcher, work, "windows")
    sizes = {name: total_size(folder) for name, folder in
             (("native", native_out), ("windows", windows_out), ("ffmpeg", ffmpeg_out))}
    frames_plain, frames_synced = sync_seconds(sorted(native_out.iterdir()), work / "rewrite")
    small_plain, small_synced = sync_seconds([work / "small-native.png"], work / "rewrite")
    return {
        "frames": FRAMES, "width": WIDTH, "height": HEIGHT,
        "native_s": round(native, 2), "braidel_run_s": round(windows, 2),
        "ffmpeg_s": round(ffmpeg, 2),
        "native_bytes": sizes["native"], "braidel_run_bytes": sizes["windows"],
        "ffmpeg_bytes": sizes["ffmpeg"],
        "ffmpeg_frames_written": len(list(ffmpeg_out.iterdir())),
        "native_same_files_as_windows": same_files(native_out, windows_out),
        "time_ratio": round(windows / ffmpeg, 3),
        "size_ratio": round(sizes["windows"] / sizes["ffmpeg"], 3),
        "native_time_ratio": round(native / ffmpeg, 3),
        "native_size_ratio": round(sizes["native"] / sizes["ffmpeg"], 3),
        "native_vs_windows_time": round(native / windows, 3),
        "small_frame": "%dx%d" % (SMALL_WIDTH, SMALL_HEIGHT),
        "native_small_ms": round(native_small * 1000, 1),
        "windows_small_ms": round(windows_small * 1000, 1),
        "small_ratio": round(native_small / windows_small, 4),
        "write_frames_ms": round(frames_plain * 1000, 1),
        "write_synced_frames_ms": round(frames_synced * 1000, 1),
        "sync_of_native": round((frames_synced - frames_plain) / native, 4),
        "write_small_ms": round(small_plain * 1000, 2),
        "write_synced_small_ms": round(small_synced * 1000, 2),
        "sync_of_native_small": round((small_synced - small_plain) / native_small, 4),
    }


def print_result(r):
    mb = 1e6
    print("end to end, %d frames %dx%d 16-bit RGBA PNG in and out" % (
        r["frames"], r["width"], r["height"]))
    print("  native braidel-run --mode weighted:  %6.2f s  %7.1f MB" % (
        r["native_s"], r["native_bytes"] / mb))
    print("  Windows braidel-run (Wine):          %6.2f s  %7.1f MB" % (
        r["braidel_run_s"], r["braidel_run_bytes"] / mb))
    print("  ffmpeg -threads 2 bwdif:             %6.2f s  %7.1f MB  (%d frames written)" % (
        r["ffmpeg_s"], r["ffmpeg_bytes"] / mb, r["ffmpeg_frames_written"]))
    print("  native against FFmpeg:  time %.2f, size %.2f (targets at most 0.5 and 1.1)" % (
        r["native_time_ratio"], r["native_size_ratio"]))
    print("  Windows against FFmpeg: time %.2f, size %.2f (targets at most 0.5 and 1.1)" % (
        r["time_ratio"], r["size_ratio"]))
    print("  native against Windows: time %.2f; the same files: %s" % (
        r["native_vs_windows_time"], "yes" if r["native_same_files_as_windows"] else "NO"))
    print("one %s frame start to finish, median of %d starts:" % (r["small_frame"], SMALL_RUNS))
    print("  native %.1f ms, Windows %.1f ms: %.3f (target at most 0.2)" % (
        r["native_small_ms"], r["windows_small_ms"], r["small_ratio"]))
    print("the native outputs written again as the program writes them, median of %d:" %
          SYNC_RUNS)
    print("  the %d frames: %.1f ms, with fdatasync before the rename %.1f ms: the sync is"
          " %.2f %% of the native run" % (r["frames"], r["write_frames_ms"],
                                          r["write_synced_frames_ms"], 100 * r["sync_of_native"]))
    print("  the small frame: %.2f ms, with fdatasync %.2f ms: the sync is %.1f %% of its run" % (
        r["write_small_ms"], r["write_synced_small_ms"], 100 * r["sync_of_native_small"]))


def run_benchmark(prefix, measure_in, print_in):
    """A benchmark's command line: LAUNCHER PROGRAM [--json], measured in a scratch folder that
    is removed after, printed as a table or as JSON."""
    launcher, program = sys.argv[1:3]
    work = pathlib.Path(tempfile.mkdtemp(prefix=prefix))
    try:
        result = measure_in(launcher, program, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if "--json" in sys.argv[3:]:
        print(json.dumps(result))
    else:
        print_in(result)


def main():
    run_benchmark("braidel-e2e-", measure, print_result)


if __name__ == "__main__":
    main()
