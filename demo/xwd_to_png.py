"""Converts an X window dump of a 24- or 32-bit screen into an 8-bit RGB PNG, cropped to what
differs from the (uniform) background.

    xwd_to_png.py SCREEN.xwd OUTPUT.png
"""

import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "tests", "run"))
from testimages import Image, write_png  # noqa: E402


def read_xwd(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = struct.unpack(">25I", data[:100])
    header_size, _, _, depth, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14], fields[15], fields[16]
    colours = fields[19]
    # Some servers report 24 bits per pixel while storing each pixel in four bytes.
    size = bytes_per_line // width if width else 0
    if depth < 24 or bits_per_pixel not in (24, 32) or size not in (3, 4):
        raise SystemExit("xwd_to_png: only 24- and 32-bit true-colour screens are handled")
    pixels = data[header_size + 12 * colours:]

    def shift(mask):
        return (mask & -mask).bit_length() - 1

    rs, gs, bs = shift(red_mask), shift(green_mask), shift(blue_mask)
    big = byte_order != 0
    rows = []
    for y in range(height):
        start = y * bytes_per_line
        row = []
        for x in range(width):
            chunk = pixels[start + x * size:start + (x + 1) * size]
            v = int.from_bytes(chunk, "big" if big else "little")
            row.append(((v & red_mask) >> rs, (v & green_mask) >> gs, (v & blue_mask) >> bs))
        rows.append(row)
    return width, height, rows


def main():
    width, height, rows = read_xwd(sys.argv[1])
    background = rows[0][0]
    ys = [y for y in range(height) if any(p != background for p in rows[y])]
    xs = [x for x in range(width) if any(rows[y][x] != background for y in ys)]
    if not ys:
        raise SystemExit("xwd_to_png: the screen is empty")
    top, bottom, left, right = ys[0], ys[-1] + 1, xs[0], xs[-1] + 1
    crop = [[v for p in rows[y][left:right] for v in p] for y in range(top, bottom)]
    write_png(sys.argv[2], Image(right - left, bottom - top, 3, 8, crop))


if __name__ == "__main__":
    main()
