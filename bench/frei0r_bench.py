#!/usr/bin/python3
"""The frei0r module inside FFmpeg against FFmpeg's own deinterlacer and against the chain alone:
FFmpeg reads a file of raw 8-bit RGBA frames and writes raw RGBA frames into a pipe, through
-vf frei0r=braidel:weighted|even, through bwdif (send_frame, top field first, every frame) and
through -vf null, all with -threads 2, each chain timed REPETITIONS times in this one run
(interleaved, the median counts).

  frei0r_bench.py MODULE_FOLDER [--json]

The target: at both sizes, at least twice bwdif's frames per second and at least 70 % of the
null chain's.
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

SIZES = [(1920, 1080, 60), (3840, 2160, 20)]
REPETITIONS = int(os.environ.get("BENCH_REPETITIONS", "5"))
CHAINS = {
    "frei0r": "frei0r=braidel:weighted|even",
    "bwdif": "bwdif=mode=send_frame:parity=tff:deint=all",
    "null": "null",
}


def seconds(path, width, height, chain, module_folder):
    ffmpeg = ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-threads", "2",
              "-f", "rawvideo", "-pix_fmt", "rgba", "-s", "%dx%d" % (width, height), "-i", path,
              "-vf", chain, "-f", "rawvideo", "-pix_fmt", "rgba", "-"]
    env = dict(os.environ, FREI0R_PATH=module_folder)
    start = time.monotonic()
    producer = subprocess.Popen(ffmpeg, stdout=subprocess.PIPE, env=env)
    consumer = subprocess.run(["cat"], stdin=producer.stdout, stdout=subprocess.DEVNULL)
    producer.stdout.close()
    if producer.wait() != 0 or consumer.returncode != 0:
        sys.exit("frei0r_bench: the %s chain failed" % chain)
    return time.monotonic() - start


def measure(module_folder, folder):
    rows = []
    for width, height, frames in SIZES:
        path = os.path.join(folder, "%dx%d.rgba" % (width, height))
        with open(path, "wb") as out:
            out.write(os.urandom(width * height * 4 * frames))
        seconds(path, width, height, "null", module_folder)  # page cache and first-run costs
        times = {name: [] for name in CHAINS}
        for _ in range(REPETITIONS):
            for name, chain in CHAINS.items():
                times[name].append(seconds(path, width, height, chain, module_folder))
        fps = {name: frames / statistics.median(t) for name, t in times.items()}
        os.remove(path)
        rows.append({"size": "%dx%d" % (width, height), "frames": frames,
                     "frei0r_fps": fps["frei0r"], "bwdif_fps": fps["bwdif"],
                     "null_fps": fps["null"], "vs_bwdif": fps["frei0r"] / fps["bwdif"],
                     "of_null": fps["frei0r"] / fps["null"],
                     "target_met": fps["frei0r"] >= 2 * fps["bwdif"]
                     and fps["frei0r"] >= 0.7 * fps["null"]})
    return rows


def main():
    module_folder = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="braidel-frei0r-bench-") as folder:
        rows = measure(module_folder, folder)
    if "--json" in sys.argv[2:]:
        print(json.dumps({"frei0r": rows}))
        return
    print("%-10s %6s %11s %10s %9s %9s %8s %7s" % ("size", "frames", "frei0r fps", "bwdif fps",
                                                 "null fps", "vs bwdif", "of null", "target"))
    for row in rows:
        print("%-10s %6d %11.1f %10.1f %9.1f %8.2fx %7.1f%% %7s" % (
            row["size"], row["frames"], row["frei0r_fps"], row["bwdif_fps"], row["null_fps"],
            row["vs_bwdif"], 100 * row["of_null"], "met" if row["target_met"] else "MISSED"))


if __name__ == "__main__":
    main()
