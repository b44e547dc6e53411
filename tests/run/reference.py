"""What a frame should look like after the filter, worked out independently of the plug-in's code
with numpy: the field rebuild of 16-bit frames, the mask pass with the stand-in host's blend, and
what the frei0r module makes of an 8-bit RGBA frame (every channel widened, v x 257, the field
rebuilt at 16 bits, every value narrowed to the nearest 8-bit value).

The six-point kernel runs in single precision, one rounded operation at a time, as the plug-in
computes it: numpy's float32 arithmetic never fuses or widens. Its constants are read from the
one header that fixes their bit patterns.

Frames are numpy arrays of shape (height, width, channels); `rebuild` also takes and gives lists
of rows of channel tuples.
"""

import os
import re

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
KERNELS = ("copy", "linear", "weighted")
FIELDS = ("even", "odd")


def _constants():
    path = os.path.join(ROOT, "rebuild", "core", "six_point_constants.h")
    with open(path, encoding="utf-8") as f:
        found = dict(re.findall(r"(k\w+) = std::bit_cast<float>\((0x[0-9A-Fa-f]+)u\)", f.read()))
    return {name: np.array([int(bits, 16)], dtype=np.uint32).view(np.float32)[0]
            for name, bits in found.items()}


_SIX_POINT = _constants()
DIAGONAL = _SIX_POINT["kDiagonalFactor"]
EDGE_NORMALISER = _SIX_POINT["kEdgeNormaliser"]
EDGE_DIAGONAL = _SIX_POINT["kEdgeDiagonalWeight"]
INTERIOR_NORMALISER = _SIX_POINT["kInteriorNormaliser"]


def widen(frame):
    return frame.astype(np.uint32) * 257


def narrow(frame):
    return ((frame.astype(np.uint32) * 255 + 32767) // 65535).astype(np.uint8)


def _standard(diagonal_sum, below, above, normaliser):
    t = diagonal_sum.astype(np.float32) * DIAGONAL
    t = t + below.astype(np.float32)
    t = t + above.astype(np.float32)
    t = t * normaliser
    return t.astype(np.uint32)


def six_point(upper, lower):
    """Rows of shape (..., width, channels), 16-bit values as uint32."""
    width = upper.shape[-2]
    if width <= 1:
        return (upper + lower) >> 1
    u, d = upper, lower
    out = np.empty_like(u)
    out[..., 0, :] = _standard(u[..., 1, :] + d[..., 1, :], d[..., 0, :], u[..., 0, :],
                               EDGE_NORMALISER)
    # The first pixel's red weighs its vertical and diagonal pairs apart.
    vertical = (d[..., 0, 0] + u[..., 0, 0]).astype(np.float32) * EDGE_NORMALISER
    diagonal = (u[..., 1, 0] + d[..., 1, 0]).astype(np.float32) * EDGE_DIAGONAL
    out[..., 0, 0] = (vertical + diagonal).astype(np.uint32)
    if width > 2:
        sums = (u[..., :-2, :] + u[..., 2:, :]) + (d[..., :-2, :] + d[..., 2:, :])
        out[..., 1:-1, :] = _standard(sums, d[..., 1:-1, :], u[..., 1:-1, :],
                                      INTERIOR_NORMALISER)
    out[..., -1, :] = _standard(u[..., -2, :] + d[..., -2, :], d[..., -1, :], u[..., -1, :],
                                EDGE_NORMALISER)
    return out


def _kernel_rows(kernel, upper, lower):
    if kernel == "copy":
        return lower
    if kernel == "linear":
        return (upper + lower) >> 1
    return six_point(upper, lower)


def _field_number(field):
    """0 even, 1 odd, by name or number; a loaded block may hold any other number."""
    return FIELDS.index(field) if isinstance(field, str) else field


def rebuild16(frame, kernel, field):
    """The rebuilt frame of 16-bit values (uint32 array of shape (height, width, channels)):
    the rows of the field's parity (odd for 1, even for any other value) that have a row below,
    from the rows next to them; row 0 a copy of row 1; then a last row of field 0 or 1 without a
    row below as a copy of the row above."""
    field = _field_number(field)
    height = frame.shape[0]
    out = frame.copy()
    rows = np.arange(1 if field == 1 else 0, height - 1, 2)
    if rows.size and rows[0] == 0:
        out[0] = frame[1]
        rows = rows[1:]
    if rows.size:
        out[rows] = _kernel_rows(kernel, frame[rows - 1], frame[rows + 1])
    last_rebuilt = (field == 0 and height % 2 == 1) or (field == 1 and height % 2 == 0)
    if last_rebuilt and height >= 2:
        out[height - 1] = frame[height - 2]
    return out


def rebuild8(frame, kernel, field):
    """What the frei0r module makes of an 8-bit RGBA frame."""
    return narrow(rebuild16(widen(frame), kernel, field))


def random_frame(width, height, seed):
    return np.random.default_rng(seed).integers(0, 256, (height, width, 4), dtype=np.uint8)


def host_lerp(a, b, weight):
    """The stand-in host's integer blend: a + (b - a) * l / 65535, truncated toward zero."""
    product = (b - a) * weight
    quotient = abs(product) // 65535
    return a + (quotient if product >= 0 else -quotient)


def mask_pass(frame, mask_grey):
    """Every pixel whose mask value lies in 1 to 65529 through the host's blend, channel by
    channel; mask values past the mask's width count as 0. Lists of rows in and out."""
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
    """The frame, a list of rows of channel tuples (16-bit values), after the field rebuild with
    `kernel` of the rows of parity `field`, then the mask pass when a mask is given."""
    height = len(frame)
    width = len(frame[0]) if height else 0
    channels = len(frame[0][0]) if width else 4
    array = np.array(frame, dtype=np.uint32).reshape(height, width, channels)
    out = [[tuple(pixel) for pixel in row] for row in rebuild16(array, kernel, field).tolist()]
    return mask_pass(out, mask_grey) if mask_grey is not None else out


EYE_LAYOUTS = ("side-by-side", "top-bottom", "two-outputs")


def both_eyes(frame, kernel, layout, first_row="left", mask_grey=None):
    """Both eyes' views of a frame (lists of rows), each what a one-view run gives: the eye on the
    first row, an even row, keeps the even rows (the odd field rebuilt), the other eye the odd
    rows. Side by side and top and bottom give one frame, left eye first; two outputs give the
    pair (left, right)."""
    first = rebuild(frame, kernel, "odd", mask_grey)
    other = rebuild(frame, kernel, "even", mask_grey)
    left, right = (first, other) if first_row == "left" else (other, first)
    if layout == "side-by-side":
        return [l + r for l, r in zip(left, right)]
    if layout == "top-bottom":
        return left + right
    return left, right
