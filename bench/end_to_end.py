#!/usr/bin/python3
"""braidel-run against FFmpeg on the same job, end to end: four 3840 x 2160 16-bit RGBA PNG
frames (a smooth picture with camera-like noise) read, deinterlaced and written as 16-bit PNGs.

  end_to_end.py LAUNCHER [--json]

braidel-run runs with its defaults (--mode weighted --out-dir); FFmpeg runs bwdif on two
threads. Both are timed in this one run, wall clock, after a warm-up of the page cache; the
printed ratios are braidel-run's time and output size over FFmpeg's.
"""
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests" / "run"))
from testimages import png_bytes  # noqa: E402

WIDTH, HEIGHT, FRAMES = 3840, 2160, 4


def frame(seed):
    """A smooth 16-bit picture (gradients and soft shapes per channel) with noise of sigma 180."""
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:HEIGHT, 0:WIDTH].astype(np.float32)
    channels = []
    for c in range(3):
        phase = rng.uniform(0, 6.28)
        base = 32768 + 20000 * np.sin(x / (700 + 150 * c) + phase) * np.cos(y / (500 + 90 * c))
        channels.append(base + rng.normal(0, 180, (HEIGHT, WIDTH)))
    channels.append(np.full((HEIGHT, WIDTH), 65535.0))
    return np.clip(np.stack(channels, axis=-1), 0, 65535).astype(">u2")


def write_png(path, pixels):
    rows = np.zeros((HEIGHT, 1 + WIDTH * 8), np.uint8)
    rows[:, 1:] = pixels.reshape(HEIGHT, -1).view(np.uint8)
    with open(path, "wb") as f:
        f.write(png_bytes(WIDTH, HEIGHT, 16, 6, rows.tobytes(), level=1))


def timed(command, **kwargs):
    start = time.monotonic()
    subprocess.run(command, check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   **kwargs)
    return time.monotonic() - start


def total_size(folder):
    return sum(p.stat().st_size for p in pathlib.Path(folder).iterdir())


def main():
    launcher = sys.argv[1]
    as_json = "--json" in sys.argv[2:]
    work = pathlib.Path(tempfile.mkdtemp(prefix="braidel-e2e-"))
    try:
        inputs = [work / ("f%d.png" % (i + 1)) for i in range(FRAMES)]
        for i, path in enumerate(inputs):
            write_png(path, frame(i))
        for path in inputs:  # the page cache, for both contenders alike
            path.read_bytes()
        ours_out, theirs_out = work / "braidel", work / "ffmpeg"
        theirs_out.mkdir()
        subprocess.run([launcher, "--version"], check=True, capture_output=True)  # Wine warm
        ours = timed([launcher, "--quiet", "--mode", "weighted", "--out-dir", str(ours_out),
                      *map(str, inputs)])
        theirs = timed(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-threads",
                        "2", "-i", str(work / "f%d.png"), "-vf",
                        "bwdif=mode=send_frame:parity=tff:deint=all", "-pix_fmt", "rgba64be",
                        str(theirs_out / "out%d.png")])
        result = {
            "frames": FRAMES, "width": WIDTH, "height": HEIGHT,
            "braidel_run_s": round(ours, 2), "ffmpeg_s": round(theirs, 2),
            "time_ratio": round(ours / theirs, 3),
            "braidel_run_bytes": total_size(ours_out), "ffmpeg_bytes": total_size(theirs_out),
            "ffmpeg_frames_written": len(list(theirs_out.iterdir())),
        }
        result["size_ratio"] = round(result["braidel_run_bytes"] / result["ffmpeg_bytes"], 3)
        if as_json:
            print(json.dumps(result))
            return
        print("end to end, %d frames %dx%d 16-bit RGBA PNG in and out" % (FRAMES, WIDTH, HEIGHT))
        print("  braidel-run --mode weighted: %6.2f s  %7.1f MB" %
              (ours, result["braidel_run_bytes"] / 1e6))
        print("  ffmpeg -threads 2 bwdif:     %6.2f s  %7.1f MB  (%d frames written)" %
              (theirs, result["ffmpeg_bytes"] / 1e6, result["ffmpeg_frames_written"]))
        print("  time ratio %.2f (target at most 0.5), size ratio %.2f (target at most 1.1)" %
              (result["time_ratio"], result["size_ratio"]))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
