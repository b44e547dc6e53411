#!/usr/bin/python3
"""Writes the image fuzzer's seed corpus: tiny PNG and TIFF files of many layouts.

  make_image_seeds.py FOLDER

Uses pypng, tifffile and libtiff's tiffcp (for LZW and PackBits); deterministic.
"""
import pathlib
import subprocess
import sys

import numpy as np
import png
import tifffile

out = pathlib.Path(sys.argv[1])
out.mkdir(parents=True, exist_ok=True)
rng = np.random.default_rng(3)


def values(shape, dtype):
    return rng.integers(0, np.iinfo(dtype).max, shape, dtype=dtype, endpoint=True)


def pngs():
    grey1 = values((3, 5), np.uint8) & 1
    png.Writer(5, 3, greyscale=True, bitdepth=1).write(open(out / "grey-1.png", "wb"), grey1)
    palette = [(255, 0, 0, 128), (0, 255, 0, 255), (0, 0, 255, 0), (9, 9, 9, 255)]
    index = values((3, 5), np.uint8) & 3
    png.Writer(5, 3, palette=palette, bitdepth=2).write(open(out / "palette-2-trns.png", "wb"),
                                                        index)
    png.Writer(4, 3, greyscale=False, bitdepth=8, transparent=(1, 2, 3), gamma=0.45455).write(
        open(out / "rgb-8-trns-gamma.png", "wb"), values((3, 12), np.uint8))
    png.Writer(4, 3, greyscale=False, alpha=True, bitdepth=16, interlace=True).write(
        open(out / "rgba-16-interlaced.png", "wb"), values((3, 16), np.uint16))
    png.Writer(4, 3, greyscale=True, alpha=True, bitdepth=8, x_pixels_per_unit=2835,
               y_pixels_per_unit=2835, unit_is_meter=True).write(
        open(out / "grey-alpha-8-phys.png", "wb"), values((3, 8), np.uint8))


def tiffs():
    def write(name, data, **options):
        tifffile.imwrite(out / name, data, **options)

    write("rgb-8-le-deflate.tif", values((3, 4, 3), np.uint8), compression="zlib",
          rowsperstrip=2)
    write("rgba-16-be-tiles-separate.tif", values((4, 16, 16), np.uint16), byteorder=">",
          photometric="rgb", planarconfig="separate", extrasamples=["assocalpha"],
          tile=(16, 16), compression="zlib")
    write("miniswhite-1.tif", values((3, 9), np.uint8) > 127, photometric="miniswhite")
    colormap = values((3, 256), np.uint16)
    write("palette-8.tif", values((3, 4), np.uint8), photometric="palette", colormap=colormap)
    write("grey-alpha-16.tif", values((3, 4, 2), np.uint16), photometric="minisblack",
          extrasamples=["unassalpha"], planarconfig="contig", resolution=(300, 300),
          description="seed")
    write("two-pages.tif", values((2, 3, 4), np.uint8))
    for codec, name in (("lzw:2", "rgb-8-lzw-predictor.tif"), ("packbits", "rgb-8-packbits.tif")):
        subprocess.run(["tiffcp", "-c", codec, str(out / "rgb-8-le-deflate.tif"),
                        str(out / name)], check=True)


pngs()
tiffs()
