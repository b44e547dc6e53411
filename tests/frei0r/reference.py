"""What the frei0r module should make of an 8-bit RGBA frame, worked out independently of it with
numpy: every channel widened (v x 257), the field rebuilt at 16 bits, every value narrowed to the
nearest 8-bit value. Frames are numpy arrays of shape (height, width, 4), dtype uint8.

The six-point kernel runs in single precision, one rounded operation at a time, as the plug-in
computes it: numpy's float32 arithmetic never fuses or widens.
"""

import struct

import numpy as np


def _f32(pattern):
    return np.frombuffer(struct.pack("<I", pattern), dtype=np.float32)[0]


DIAGONAL = _f32(0x3FB504F3)
EDGE_NORMALISER = _f32(0x3E5413CC)
EDGE_DIAGONAL = _f32(0x3E95F619)
INTERIOR_NORMALISER = _f32(0x3E05BC84)

KERNELS = ("copy", "linear", "weighted")
FIELDS = ("even", "odd")


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
    """Rows of shape (..., width, 4), 16-bit values as uint32."""
    width = upper.shape[-2]
    if width == 1:
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


def rebuild16(frame, kernel, field):
    """The rebuilt frame of 16-bit values (uint32 array of shape (height, width, 4))."""
    height = frame.shape[0]
    out = frame.copy()
    first = 1 if field == "odd" else 0
    rows = np.arange(first, height - 1, 2)
    if rows.size and rows[0] == 0:
        out[0] = frame[1]
        rows = rows[1:]
    if rows.size:
        out[rows] = _kernel_rows(kernel, frame[rows - 1], frame[rows + 1])
    last_rebuilt = height % 2 == (1 if field == "even" else 0)
    if last_rebuilt and height >= 2:
        out[height - 1] = frame[height - 2]
    return out


def rebuild8(frame, kernel, field):
    """What the module makes of an 8-bit RGBA frame."""
    return narrow(rebuild16(widen(frame), kernel, field))


def random_frame(width, height, seed):
    return np.random.default_rng(seed).integers(0, 256, (height, width, 4), dtype=np.uint8)
