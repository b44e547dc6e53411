"""The demo: a generated line-interleaved stereo frame, filtered with every kernel on both fields
through braidel-run, both eyes side by side in one run, and a contact sheet of the results.

    stereo_demo.py OUTPUT_FOLDER PROGRAM [ARGS...]

PROGRAM and its ARGS run braidel-run; scripts/demo gives the Windows program that loads
Braidel.flt, under Wine. It runs in the output folder and is given names relative to it, which
mean the same file to either program.
"""

import math
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "run"))

from testimages import Image, from_rgba16, read_image, write_png  # noqa: E402

WIDTH, HEIGHT = 480, 270
KERNELS = [("copy", "COPY"), ("linear", "LINEAR"), ("weighted", "WEIGHTED")]
FIELDS = [("even", "EVEN"), ("odd", "ODD")]


def view(x, y, shift, tint):
    """One eye's picture: a sky gradient, a shaded ground, a disc and a bar that stand out by
    `shift` pixels of disparity, and fine diagonal lines on the ground."""
    t = y / (HEIGHT - 1)
    if y < HEIGHT * 0.55:
        r, g, b = 0.25 + 0.35 * t, 0.45 + 0.35 * t, 0.95 - 0.2 * t
    else:
        u = (x + 2 * y) / (WIDTH + 2 * HEIGHT)
        r, g, b = 0.35 + 0.4 * u, 0.55 - 0.25 * u, 0.2 + 0.1 * u
        if (x + y // 2) % 16 < 2:
            r, g, b = r * 0.4, g * 0.4, b * 0.4
    dx, dy = x - (200 + shift), y - 120
    distance = math.hypot(dx, dy)
    if distance < 52:
        shade = 0.55 + 0.45 * (1 - distance / 52) * (0.5 + 0.5 * (-dx - dy) / max(distance, 1))
        r, g, b = 0.95 * shade, 0.2 * shade, 0.15 * shade
    if 330 + shift // 2 <= x < 344 + shift // 2 and 40 <= y < 240:
        r, g, b = 0.97, 0.97, 0.92
    r, g, b = r * tint[0], g * tint[1], b * tint[2]
    return tuple(max(0, min(65535, round(c * 65535))) for c in (r, g, b)) + (65535,)


def stereo_frame():
    """Left view in the even lines, right view (shifted and tinted cooler) in the odd lines."""
    rows = []
    for y in range(HEIGHT):
        if y % 2 == 0:
            rows.append([view(x, y, 0, (1.0, 1.0, 1.0)) for x in range(WIDTH)])
        else:
            rows.append([view(x, y, 14, (0.85, 1.0, 1.08)) for x in range(WIDTH)])
    return rows


# A 5 x 7 pixel font for the labels of the contact sheet.
GLYPHS = {
    "A": "01110 10001 10001 11111 10001 10001 10001", "B": "11110 10001 10001 11110 10001 10001 11110",
    "F": "11111 10000 10000 11110 10000 10000 10000", "S": "01111 10000 10000 01110 00001 00001 11110", "C": "01111 10000 10000 10000 10000 10000 01111",
    "D": "11110 10001 10001 10001 10001 10001 11110", "E": "11111 10000 10000 11110 10000 10000 11111",
    "G": "01111 10000 10000 10111 10001 10001 01111", "H": "10001 10001 10001 11111 10001 10001 10001",
    "I": "11111 00100 00100 00100 00100 00100 11111", "L": "10000 10000 10000 10000 10000 10000 11111",
    "N": "10001 11001 10101 10011 10001 10001 10001", "O": "01110 10001 10001 10001 10001 10001 01110",
    "P": "11110 10001 10001 11110 10000 10000 10000", "R": "11110 10001 10001 11110 10100 10010 10001",
    "T": "11111 00100 00100 00100 00100 00100 00100", "V": "10001 10001 10001 10001 10001 01010 00100",
    "W": "10001 10001 10001 10101 10101 10101 01010", "Y": "10001 10001 01010 00100 00100 00100 00100",
    " ": "00000 00000 00000 00000 00000 00000 00000",
}


def draw_text(canvas, text, left, top, scale=2, colour=(235, 235, 235)):
    for i, char in enumerate(text):
        for row, bits in enumerate(GLYPHS[char].split()):
            for column, bit in enumerate(bits):
                if bit == "1":
                    for yy in range(scale):
                        for xx in range(scale):
                            canvas[top + row * scale + yy][left + (i * 6 + column) * scale + xx] = colour


CROP = (150, 50, 220, 130)  # left, top, width, height: the disc's edge, the bar and the sky
ZOOM = 2
GAP, LABEL = 8, 22


def contact_sheet(tiles):
    """tiles: rows of (label, 16-bit RGBA frame[, the crop's offset to the right]). Crops, zoomed
    without smoothing so that every line stays visible, laid side by side with a label above
    each."""
    left, top, width, height = CROP
    tile_w, tile_h = width * ZOOM, height * ZOOM
    columns = max(len(row) for row in tiles)
    sheet_w = GAP + columns * (tile_w + GAP)
    sheet_h = GAP + len(tiles) * (LABEL + tile_h + GAP)
    canvas = [[(40, 40, 44)] * sheet_w for _ in range(sheet_h)]
    for r, row in enumerate(tiles):
        for c, (label, frame, *offset) in enumerate(row):
            shift = offset[0] if offset else 0
            x0 = GAP + c * (tile_w + GAP)
            y0 = GAP + r * (LABEL + tile_h + GAP)
            draw_text(canvas, label, x0, y0 + 3)
            for y in range(tile_h):
                source = frame[top + y // ZOOM]
                line = canvas[y0 + LABEL + y]
                for x in range(tile_w):
                    p = source[shift + left + x // ZOOM]
                    line[x0 + x] = (p[0] >> 8, p[1] >> 8, p[2] >> 8)
    return Image(sheet_w, sheet_h, 3, 8, [[v for p in row for v in p] for row in canvas])


def crop_image(frame):
    left, top, width, height = CROP
    rows = [[(p[0] >> 8, p[1] >> 8, p[2] >> 8) for p in frame[y][left:left + width]]
            for y in range(top, top + height)]
    zoomed = [[row[x // ZOOM] for x in range(width * ZOOM)] for row in rows for _ in range(ZOOM)]
    return Image(width * ZOOM, height * ZOOM, 3, 8, [[v for p in row for v in p] for row in zoomed])


def main():
    folder, program = os.path.abspath(sys.argv[1]), sys.argv[2:]
    os.makedirs(folder, exist_ok=True)

    def filtered(*arguments):
        subprocess.run([*program, *arguments], check=True, stdin=subprocess.DEVNULL, cwd=folder)

    frame = stereo_frame()
    source = "stereo-frame.png"
    write_png(os.path.join(folder, source), from_rgba16(frame))
    results = {}
    for kernel, _ in KERNELS:
        for field, _ in FIELDS:
            output = "%s-%s.png" % (kernel, field)
            filtered("--mode", kernel, "--field", field, source, output)
            results[kernel, field] = read_image(os.path.join(folder, output)).rgba16()
    # Both eyes in one run: the left view (the even lines kept) beside the right view.
    both = "weighted-side-by-side.png"
    filtered("--mode", "weighted", "--both-eyes", "side-by-side", source, both)
    packed = read_image(os.path.join(folder, both)).rgba16()
    tiles = [[("ORIGINAL", frame)] + [("%s %s" % (label, field_label), results[kernel, field])
                                      for kernel, label in KERNELS]
             for field, field_label in FIELDS]
    tiles.append([("SIDE BY SIDE LEFT", packed), ("SIDE BY SIDE RIGHT", packed, WIDTH)])
    sheet = os.path.join(folder, "contact-sheet.png")
    write_png(sheet, contact_sheet(tiles))
    write_png(os.path.join(folder, "crop-before.png"), crop_image(frame))
    write_png(os.path.join(folder, "crop-after-weighted-even.png"),
              crop_image(results["weighted", "even"]))
    print("demo: the stereo frame, its six filtered versions, both eyes side by side and a "
          "contact sheet are in")
    print("  " + folder)
    print("  contact sheet: " + sheet)


if __name__ == "__main__":
    main()
