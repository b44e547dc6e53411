#!/usr/bin/python3
"""Raw frame streams through pipes, every chain timed in this one run: a file of random rgba64le
frames for each size, written once, then each chain REPETITIONS times (interleaved, the median
counts), its output thrown away at the end of the chain:

  windows    cat FILE | WINDOWS --raw WxH --mode weighted - - | cat   (the Windows program
             under Wine, its start included)
  native     cat FILE | PROGRAM --raw WxH --mode weighted - - | cat    (the native program)
  bwdif      ffmpeg -threads 2 ... -vf bwdif=mode=send_frame:parity=tff:deint=all, file in,
             raw frames out
  pipe       cat FILE | cat, the limit of one pipe crossing
  two pipes  cat FILE | cat | cat, the limit of the native chain's two crossings

  pipes.py WINDOWS PROGRAM [--json]

Targets: the Windows program at least twice bwdif's frames per second; the native program at
least 85 % of the two-pipe limit.
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

SIZES = [(1920, 1080, 40), (3840, 2160, 20)]
REPETITIONS = int(os.environ.get("BENCH_REPETITIONS", "3"))


def chains(launcher, program, path, size):
    # bash with pipefail, so that a chain whose program fails is not timed as a fast one.
    filtered = "cat \"$1\" | \"$2\" --quiet --raw %s --mode weighted - - | cat" % size
    bwdif = ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-threads", "2",
             "-f", "rawvideo", "-pix_fmt", "rgba64le", "-s", size, "-i", path,
             "-vf", "bwdif=mode=send_frame:parity=tff:deint=all", "-pix_fmt", "rgba64le",
             "-f", "rawvideo", "-"]
    return {
        "windows": ["bash", "-o", "pipefail", "-c", filtered, "-", path, launcher],
        "native": ["bash", "-o", "pipefail", "-c", filtered, "-", path, program],
        "bwdif": bwdif,
        "pipe": ["bash", "-o", "pipefail", "-c", "cat \"$1\" | cat", "-", path],
        "two_pipes": ["bash", "-o", "pipefail", "-c", "cat \"$1\" | cat | cat", "-", path],
    }


def seconds(command):
    start = time.monotonic()
    subprocess.run(command, check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    return time.monotonic() - start


def measure(launcher, program, folder):
    rows = []
    for width, height, frames in SIZES:
        size = "%dx%d" % (width, height)
        path = os.path.join(folder, size + ".raw")
        with open(path, "wb") as out:
            out.write(os.urandom(width * height * 8 * frames))
        commands = chains(launcher, program, path, size)
        seconds(commands["pipe"])  # the page cache, for every chain alike
        times = {name: [] for name in commands}
        for _ in range(REPETITIONS):
            for name, command in commands.items():
                times[name].append(seconds(command))
        os.remove(path)
        fps = {name: frames / statistics.median(t) for name, t in times.items()}
        rows.append({
            "size": size, "frames": frames,
            "braidel_run_fps": round(fps["windows"], 2),
            "ffmpeg_bwdif_fps": round(fps["bwdif"], 2),
            "pipe_fps": round(fps["pipe"], 2),
            "vs_ffmpeg": round(fps["windows"] / fps["bwdif"], 2),
            "of_pipe": round(fps["windows"] / fps["pipe"], 3),
            "native_fps": round(fps["native"], 2),
            "two_pipes_fps": round(fps["two_pipes"], 2),
            "native_of_two_pipes": round(fps["native"] / fps["two_pipes"], 3),
            "native_vs_windows": round(fps["native"] / fps["windows"], 2),
            "native_vs_ffmpeg": round(fps["native"] / fps["bwdif"], 2),
        })
    return rows


def print_table(rows):
    print("raw rgba64le streams through pipes, --mode weighted, median of %d runs" % REPETITIONS)
    print("%-10s %6s %12s %11s %12s %9s %10s" % (
        "size", "frames", "Windows fps", "bwdif fps", "vs bwdif", "pipe fps", "of pipe"))
    for r in rows:
        print("%-10s %6d %12.2f %11.2f %11.2fx %9.1f %9.1f%%" % (
            r["size"], r["frames"], r["braidel_run_fps"], r["ffmpeg_bwdif_fps"],
            r["vs_ffmpeg"], r["pipe_fps"], 100 * r["of_pipe"]))
    print("%-10s %6s %12s %15s %16s %11s %11s" % (
        "size", "frames", "native fps", "two pipes fps", "of two pipes", "vs Windows",
        "vs bwdif"))
    for r in rows:
        print("%-10s %6d %12.2f %15.1f %15.1f%% %10.2fx %10.2fx" % (
            r["size"], r["frames"], r["native_fps"], r["two_pipes_fps"],
            100 * r["native_of_two_pipes"], r["native_vs_windows"], r["native_vs_ffmpeg"]))
    print("targets: Windows at least 2x bwdif; native at least 85% of the two-pipe limit")


def main():
    launcher, program = sys.argv[1:3]
    with tempfile.TemporaryDirectory(prefix="braidel-pipes-") as folder:
        rows = measure(launcher, program, folder)
    if "--json" in sys.argv[3:]:
        print(json.dumps({"pipe": rows}))
    else:
        print_table(rows)


if __name__ == "__main__":
    main()
