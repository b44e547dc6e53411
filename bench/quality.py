#!/usr/bin/python3
"""How close each way of rebuilding a field comes to the truth, on real photographs: the sample
pictures and the rectified stereo pair that Debian's python3-skimage ships (8-bit photographs,
widened to 16 bits, v x 257).

  quality.py PROGRAM [--json] [--pictures NAME,...] [--size WxH]

PROGRAM is the native braidel-run. Two tables:

- Photographs: one field of each picture dropped (its rows set to black) and rebuilt, for each
  field (the rows rebuilt: even or odd), by Braidel's three kernels and by FFmpeg's filters that
  rebuild a field from the kept one alone: estdif and the stereo3d + scale recipe. bwdif, yadif
  and w3fdif take the missing rows from the neighbouring frames, which a still does not have;
  they are in the second table.
- A stereo pair interleaved (left view on even rows, right view on odd), the odd rows rebuilt by
  every tool, against the true left view. FFmpeg sees three identical frames, a still scene, and
  the middle frame counts.

PSNR and SSIM (scikit-image's; SSIM with the Gaussian window of sigma 1.5 and population
covariances) are taken over the rebuilt rows alone, all of them stacked as one picture, on 16-bit
RGB (alpha left out); the stereo table adds both over the whole frame. --size crops every
picture about its centre to at most W x H; --pictures picks photographs by name.
"""
import argparse
import json
import subprocess
import sys
from dataclasses import dataclass
from pathlib import Path

import numpy as np
import skimage.data
import skimage.io
from skimage.metrics import peak_signal_noise_ratio, structural_similarity

DATA = Path(skimage.data.data_dir)
# The package's photographs, but moon.png, whose rows come in equal pairs (a picture enlarged
# twice), so that copying a line restores one field exactly.
PICTURES = ("astronaut.png", "brick.png", "camera.png", "chelsea.png", "coffee.png", "coins.png",
            "grass.png", "rocket.jpg")
STEREO = ("motorcycle_left.png", "motorcycle_right.png")
FIELDS = ("even", "odd")
OPAQUE = 65535
# FFmpeg's filters for the rows they rebuild. Top field first keeps the even rows.
PARITY = {"even": "bff", "odd": "tff"}
# The stereo3d recipe keeps one eye of row-interleaved frames (the left eye on the top row).
EYE_KEPT = {"even": "mr", "odd": "ml"}


@dataclass(frozen=True)
class Tool:
    name: str
    # Whether the rows it rebuilds depend on what the dropped rows hold (a temporal filter).
    reads_dropped_rows: bool
    # Whether it writes the kept rows back as they came.
    keeps_kept_rows: bool

    def filter_for(self, field):
        parity = PARITY[field]
        return {
            "bwdif": "bwdif=mode=send_frame:parity=%s:deint=all" % parity,
            "yadif": "yadif=mode=send_frame:parity=%s:deint=all" % parity,
            "w3fdif": "w3fdif=mode=frame:parity=%s:deint=all" % parity,
            "estdif": "estdif=mode=frame:parity=%s:deint=all" % parity,
            "stereo3d+scale": "stereo3d=irl:%s,scale=iw:ih*2" % EYE_KEPT[field],
        }[self.name]


KERNELS = tuple(Tool(k, reads_dropped_rows=False, keeps_kept_rows=True)
                for k in ("copy", "linear", "weighted"))
FFMPEG = (
    Tool("bwdif", reads_dropped_rows=True, keeps_kept_rows=True),
    Tool("yadif", reads_dropped_rows=True, keeps_kept_rows=True),
    Tool("w3fdif", reads_dropped_rows=True, keeps_kept_rows=True),
    Tool("estdif", reads_dropped_rows=False, keeps_kept_rows=True),
    Tool("stereo3d+scale", reads_dropped_rows=False, keeps_kept_rows=False),
)
TOOLS = KERNELS + FFMPEG
STILL_TOOLS = tuple(t for t in TOOLS if not t.reads_dropped_rows)
# FFmpeg sees a still scene of this many frames and the middle one counts.
STILL_FRAMES = 3


def rebuilt_rows(field):
    return slice(0 if field == "even" else 1, None, 2)


def load(name, size=None):
    """A picture of the package as 16-bit RGBA, cropped about its centre to even sides (and to
    at most SIZE, a (width, height) pair)."""
    pixels = skimage.io.imread(DATA / name)
    if pixels.ndim == 2:
        pixels = np.stack([pixels] * 3, axis=-1)
    pixels = pixels[:, :, :3]
    height, width = pixels.shape[:2]
    if size:
        width, height = min(width, size[0]), min(height, size[1])
    width, height = width & ~1, height & ~1
    top, left = (pixels.shape[0] - height) // 2, (pixels.shape[1] - width) // 2
    rgb = pixels[top:top + height, left:left + width].astype(np.uint16) * 257
    return np.dstack([rgb, np.full((height, width), OPAQUE, np.uint16)])


def dropped(frame, field, filler=0):
    """FRAME with the rows of FIELD set to FILLER: what a rebuild may not see."""
    out = frame.copy()
    out[rebuilt_rows(field), :, :3] = filler
    return out


def interleaved(left, right):
    """The left view on even rows, the right view on odd rows."""
    out = left.copy()
    out[1::2] = right[1::2]
    return out


def raw_frames(output, height, width):
    count = len(output) // (height * width * 8)
    return np.frombuffer(output, "<u2")[:count * height * width * 4].reshape(
        count, height, width, 4)


def run(command, frames):
    result = subprocess.run(command, input=b"".join(f.astype("<u2").tobytes() for f in frames),
                            capture_output=True)
    if result.returncode != 0:
        sys.exit("quality: %s failed: %s" % (command[0], result.stderr.decode().strip()))
    return result.stdout


def rebuild(program, tool, frame, field):
    """FRAME (16-bit RGBA) with the rows of FIELD rebuilt by TOOL."""
    height, width = frame.shape[:2]
    size = "%dx%d" % (width, height)
    if tool in KERNELS:
        output = run([program, "--quiet", "--mode", tool.name, "--field", field, "--raw", size,
                      "-", "-"], [frame])
        return raw_frames(output, height, width)[0]
    output = run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-f", "rawvideo",
                  "-pix_fmt", "rgba64le", "-s", size, "-i", "pipe:0", "-vf",
                  tool.filter_for(field), "-f", "rawvideo", "-pix_fmt", "rgba64le", "pipe:1"],
                 [frame] * STILL_FRAMES)
    frames = raw_frames(output, height, width)
    if len(frames) != STILL_FRAMES:
        sys.exit("quality: %s gave %d frames for %d" % (tool.name, len(frames), STILL_FRAMES))
    return frames[STILL_FRAMES // 2]


def scores(truth, result, rows=slice(None)):
    """PSNR (dB) and SSIM of RESULT's RGB against TRUTH's over ROWS."""
    expected, actual = truth[rows, :, :3], result[rows, :, :3]
    with np.errstate(divide="ignore"):
        psnr = peak_signal_noise_ratio(expected, actual, data_range=OPAQUE)
    ssim = structural_similarity(expected, actual, channel_axis=-1, data_range=OPAQUE,
                                 gaussian_weights=True, sigma=1.5, use_sample_covariance=False)
    return float(psnr), float(ssim)


def measure_pictures(program, names, size):
    rows = []
    for name in names:
        truth = load(name, size)
        for field in FIELDS:
            for tool in STILL_TOOLS:
                result = rebuild(program, tool, dropped(truth, field), field)
                psnr, ssim = scores(truth, result, rebuilt_rows(field))
                rows.append({"picture": Path(name).stem, "field": field, "tool": tool.name,
                             "psnr": psnr, "ssim": ssim})
    return rows


def measure_stereo(program, size):
    left, right = (load(name, size) for name in STEREO)
    frame = interleaved(left, right)
    rows = []
    for tool, result in [("nothing (the right view's rows)", frame)] + [
            (t.name, rebuild(program, t, frame, "odd")) for t in TOOLS]:
        psnr, ssim = scores(left, result, rebuilt_rows("odd"))
        frame_psnr, frame_ssim = scores(left, result)
        rows.append({"tool": tool, "psnr": psnr, "ssim": ssim, "frame_psnr": frame_psnr,
                     "frame_ssim": frame_ssim})
    return rows


def cell(psnr, ssim):
    return "%6.2f %.4f" % (psnr, ssim)


def picture_table(rows):
    tools = [t.name for t in STILL_TOOLS]
    lines = ["%-10s %-5s" % ("picture", "rows") + "".join(" %-14s" % t for t in tools)]
    keys = dict.fromkeys((r["picture"], r["field"]) for r in rows)
    for picture, field in keys:
        found = {r["tool"]: r for r in rows if (r["picture"], r["field"]) == (picture, field)}
        lines.append("%-10s %-5s" % (picture, field) + "".join(
            " %-14s" % cell(found[t]["psnr"], found[t]["ssim"]) for t in tools))
    lines.append("%-16s" % "mean" + "".join(" %-14s" % cell(
        *(float(np.mean([r[key] for r in rows if r["tool"] == t])) for key in ("psnr", "ssim")))
        for t in tools))
    return lines


def differences(rows, better, worse):
    """BETTER's PSNR minus WORSE's on each picture and field."""
    psnr = {(r["picture"], r["field"], r["tool"]): r["psnr"] for r in rows}
    return [psnr[p, f, better] - psnr[p, f, worse] for p, f, t in psnr if t == better]


def summary(rows):
    lines = []
    for better, worse in (("linear", "weighted"), ("linear", "copy"), ("linear", "estdif")):
        gaps = differences(rows, better, worse)
        ahead = sum(g > 0 for g in gaps)
        lines.append("%s against %s: ahead on %d of %d (picture, rows), by %+.2f to %+.2f dB" % (
            better, worse, ahead, len(gaps), min(gaps), max(gaps)))
    return lines


def stereo_table(rows):
    lines = ["%-32s %-14s %-14s" % ("tool", "rebuilt rows", "whole frame")]
    for r in rows:
        lines.append("%-32s %-14s %-14s" % (r["tool"], cell(r["psnr"], r["ssim"]),
                                            cell(r["frame_psnr"], r["frame_ssim"])))
    return lines


def report(pictures, stereo, size):
    cropped = " (cropped to at most %dx%d)" % size if size else ""
    return "\n".join(line.rstrip() for line in [
        "Photographs%s: one field dropped and rebuilt, PSNR dB and SSIM over the rebuilt rows"
        % cropped,
        *picture_table(pictures), "", *summary(pictures), "",
        "Stereo pair %s + %s interleaved%s, odd rows rebuilt: PSNR dB and SSIM against the "
        "left view" % (Path(STEREO[0]).stem, Path(STEREO[1]).stem, cropped),
        *stereo_table(stereo)])


def size_argument(text):
    width, _, height = text.partition("x")
    if not (width.isdigit() and height.isdigit() and int(width) >= 2 and int(height) >= 2):
        raise argparse.ArgumentTypeError("expected WIDTHxHEIGHT, each at least 2")
    return int(width), int(height)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program", help="the native braidel-run")
    parser.add_argument("--json", action="store_true", help="one JSON object")
    parser.add_argument("--pictures", type=lambda s: s.split(","),
                        default=[Path(p).stem for p in PICTURES])
    parser.add_argument("--size", type=size_argument)
    args = parser.parse_args()
    by_stem = {Path(p).stem: p for p in PICTURES}
    unknown = [p for p in args.pictures if p not in by_stem]
    if unknown:
        parser.error("no such picture: %s (known: %s)" % (", ".join(unknown), ", ".join(by_stem)))
    pictures = measure_pictures(args.program, [by_stem[p] for p in args.pictures], args.size)
    stereo = measure_stereo(args.program, args.size)
    if args.json:
        print(json.dumps({"pictures": pictures, "stereo": stereo}, indent=1))
    else:
        print(report(pictures, stereo, args.size))


if __name__ == "__main__":
    main()
