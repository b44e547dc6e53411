"""What a frame should look like after the filter, worked out independently of the plug-in.

Frames are lists of rows of (r, g, b, a) tuples, 16-bit values.
"""

import struct


def f32(value):
    """Rounds to the nearest IEEE single-precision value (ties to even)."""
    return struct.unpack("<f", struct.pack("<f", value))[0]


def _bits(pattern):
    return struct.unpack("<f", struct.pack("<I", pattern))[0]


DIAGONAL = _bits(0x3FB504F3)
EDGE_NORMALISER = _bits(0x3E5413CC)
EDGE_DIAGONAL = _bits(0x3E95F619)
INTERIOR_NORMALISER = _bits(0x3E05BC84)


def _standard(diagonal_sum, below, above, normaliser):
    # Every step is one single-precision operation; the double-precision products and sums of
    # single-precision operands below are exact before the rounding to single precision.
    t = f32(diagonal_sum * DIAGONAL)
    t = f32(t + below)
    t = f32(t + above)
    t = f32(t * normaliser)
    return int(t)


def six_point_row(upper, lower):
    width = len(upper)
    if width == 1:
        return two_point_row(upper, lower)
    out = []
    for x in range(width):
        pixel = []
        for c in range(4):
            u = [p[c] for p in upper]
            d = [p[c] for p in lower]
            if x == 0 and c == 0:
                v = f32((d[0] + u[0]) * EDGE_NORMALISER)
                g = f32((u[1] + d[1]) * EDGE_DIAGONAL)
                pixel.append(int(f32(v + g)))
            elif x == 0:
                pixel.append(_standard(u[1] + d[1], d[0], u[0], EDGE_NORMALISER))
            elif x == width - 1:
                pixel.append(_standard(u[x - 1] + d[x - 1], d[x], u[x], EDGE_NORMALISER))
            else:
                s = (u[x - 1] + u[x + 1]) + (d[x - 1] + d[x + 1])
                pixel.append(_standard(s, d[x], u[x], INTERIOR_NORMALISER))
        out.append(tuple(pixel))
    return out


def two_point_row(upper, lower):
    return [tuple((a + b) >> 1 for a, b in zip(p, q)) for p, q in zip(upper, lower)]


KERNELS = {
    "copy": lambda upper, lower: list(lower),
    "linear": two_point_row,
    "weighted": six_point_row,
}


def host_lerp(a, b, weight):
    """The stand-in host's integer blend: a + (b - a) * l / 65535, truncated toward zero."""
    product = (b - a) * weight
    quotient = abs(product) // 65535
    return a + (quotient if product >= 0 else -quotient)


def mask_pass(frame, mask_grey):
    out = []
    for y, row in enumerate(frame):
        new_row = []
        for x, pixel in enumerate(row):
            m = mask_grey[y][x] if x < len(mask_grey[y]) else 0
            if 1 <= m <= 65529:
                pixel = tuple(host_lerp(v, v, m) & 0xFFFF for v in pixel)
            new_row.append(pixel)
        out.append(new_row)
    return out


def rebuild(frame, kernel, field, mask_grey=None):
    """The frame after the field rebuild with `kernel` ('copy', 'linear', 'weighted') of the
    rows of parity `field` (0 even, 1 odd), then the mask pass when a mask is given."""
    height = len(frame)
    out = [list(row) for row in frame]
    y = 1 if field == 1 else 0
    while y + 1 < height:
        out[y] = list(frame[1]) if y == 0 else KERNELS[kernel](frame[y - 1], frame[y + 1])
        y += 2
    if (field == 0 and height % 2 == 1) or (field == 1 and height % 2 == 0):
        if height >= 2:
            out[height - 1] = list(frame[height - 2])
    return mask_pass(out, mask_grey) if mask_grey is not None else out


def grey_of(frame):
    """The host's 16-bit grey of 16-bit RGBA pixels: integer luma."""
    return [[(299 * r + 587 * g + 114 * b) // 1000 for r, g, b, _ in row] for row in frame]
