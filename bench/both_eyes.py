#!/usr/bin/python3
"""Both eyes from one braidel-run against the ways to get them without it, on the same four
3840 x 2160 16-bit RGBA PNG frames as the end-to-end benchmark, everything timed in this one run:

- braidel-run --both-eyes side-by-side (one decode of each frame, two renders, one encode of the
  packed frame), native and Windows;
- two one-view braidel-run runs (--field odd, then --field even) plus FFmpeg's hstack of their
  outputs into the same side-by-side frames (target: the one run takes at most 0.6 x their time);
- FFmpeg's stereo3d=irl:sbsl, which packs the two fields side by side at half the height and
  rebuilds no line.

  both_eyes.py WINDOWS PROGRAM [--json]

WINDOWS runs the Windows program (under Wine), PROGRAM is the native one; braidel-run runs with
--mode weighted and its default encoding (PNG level 1, Up filter), FFmpeg on two threads with the
same PNG level and filter, so that the encoders do the same work. Wall clock, after a warm-up of
the page cache and of Wine. The side-by-side outputs of all three ways are checked to be the
same pixels.
"""
import pathlib
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from end_to_end import (FRAMES, HEIGHT, WIDTH, run_benchmark, timed,  # noqa: E402
                        written_inputs)

FFMPEG = ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-threads", "2"]
# FFmpeg's PNG encoder with braidel-run's default level and row filter.
FFMPEG_PNG = ["-pix_fmt", "rgba64be", "-compression_level", "1", "-pred", "up"]


def braidel_run(program, out_dir, inputs, *options):
    return timed([program, "--quiet", "--mode", "weighted", *options, "--out-dir", str(out_dir),
                  *map(str, inputs)])


def two_runs_and_hstack(program, work, inputs):
    """The seconds of two one-view runs and FFmpeg's hstack of their outputs."""
    odd, even, packed = work / "odd", work / "even", work / "hstack"
    seconds = braidel_run(program, odd, inputs, "--field", "odd")
    seconds += braidel_run(program, even, inputs, "--field", "even")
    packed.mkdir()
    seconds += timed([*FFMPEG, "-i", str(odd / "f%d.png"), "-i", str(even / "f%d.png"),
                      "-filter_complex", "hstack", *FFMPEG_PNG, str(packed / "f%d.png")])
    return seconds, packed


def decoded(folder):
    """Every frame of a folder's f%d.png as FFmpeg decodes it, and its size."""
    pattern = str(folder / "f%d.png")
    size = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=width,height",
                           "-of", "csv=s=x:p=0", pattern], check=True, capture_output=True,
                          text=True).stdout.strip()
    pixels = subprocess.run([*FFMPEG, "-i", pattern, "-f", "rawvideo", "-pix_fmt", "rgba64le",
                             "-"], check=True, capture_output=True).stdout
    return size, pixels


def measure(launcher, program, work):
    inputs = written_inputs(work)
    subprocess.run([launcher, "--version"], check=True, capture_output=True)  # Wine warm
    result = {"frames": FRAMES, "width": WIDTH, "height": HEIGHT}
    for name, runner in (("native", program), ("windows", launcher)):
        both = work / ("both-" + name)
        one_run = braidel_run(runner, both, inputs, "--both-eyes", "side-by-side")
        two_runs, packed = two_runs_and_hstack(runner, work / name, inputs)
        result[name + "_both_eyes_s"] = round(one_run, 2)
        result[name + "_two_runs_hstack_s"] = round(two_runs, 2)
        result[name + "_ratio"] = round(one_run / two_runs, 3)
        result[name + "_same_pixels"] = decoded(both) == decoded(packed)
    half = work / "stereo3d"
    half.mkdir()
    stereo3d = timed([*FFMPEG, "-i", str(work / "f%d.png"), "-vf", "stereo3d=irl:sbsl",
                      *FFMPEG_PNG, str(half / "f%d.png")])
    result["stereo3d_s"] = round(stereo3d, 2)
    result["native_vs_stereo3d"] = round(result["native_both_eyes_s"] / stereo3d, 3)
    result["windows_vs_stereo3d"] = round(result["windows_both_eyes_s"] / stereo3d, 3)
    result["stereo3d_size"] = decoded(half)[0]
    return result


def print_result(r):
    print("both eyes side by side, %d frames %dx%d 16-bit RGBA PNG in and out, in one run" % (
        r["frames"], r["width"], r["height"]))
    print()
    print("| program | `--both-eyes side-by-side` | two one-view runs + FFmpeg hstack | ratio "
          "(target ≤ 0.6) | same pixels | FFmpeg `stereo3d=irl:sbsl` | ratio |")
    print("|---|---:|---:|---:|---|---:|---:|")
    for name, shown in (("native", "native"), ("windows", "Windows (Wine)")):
        print("| %s | %.2f s | %.2f s | %.2f | %s | %.2f s | %.2f |" % (
            shown, r[name + "_both_eyes_s"], r[name + "_two_runs_hstack_s"], r[name + "_ratio"],
            "yes" if r[name + "_same_pixels"] else "NO", r["stereo3d_s"],
            r[name + "_vs_stereo3d"]))
    print()
    print("stereo3d=irl:sbsl writes %s frames: each view at half the height, no line rebuilt" %
          r["stereo3d_size"])


def main():
    run_benchmark("braidel-eyes-", measure, print_result)


if __name__ == "__main__":
    main()
