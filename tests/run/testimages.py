"""Test images: the one PNG writer of the Python checks, the demo and the benchmark, TIFF inputs
through tifffile, and outputs read back with pypng and tifffile.

The writers need only the standard library (the demo's screenshots use them); pypng, tifffile
and numpy are imported where they are needed. An image is (width, height, channels, bits, rows): rows is a list of lists of samples, each row
holding width * channels integers; channels is 1 (grey), 2 (grey + alpha), 3 (RGB) or 4 (RGBA).
"""

import struct
import zlib

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
COLOUR_TYPES = {1: 0, 2: 4, 3: 2, 4: 6}


class Image:
    def __init__(self, width, height, channels, bits, rows):
        self.width, self.height, self.channels, self.bits = width, height, channels, bits
        self.rows = rows

    def rgba16(self):
        """The pixels as 16-bit RGBA rows, widened the way the program widens them."""
        scale = 257 if self.bits == 8 else 1
        out = []
        for row in self.rows:
            pixels = []
            for x in range(self.width):
                s = [v * scale for v in row[x * self.channels:(x + 1) * self.channels]]
                if self.channels == 1:
                    pixels.append((s[0], s[0], s[0], 65535))
                elif self.channels == 2:
                    pixels.append((s[0], s[0], s[0], s[1]))
                elif self.channels == 3:
                    pixels.append((s[0], s[1], s[2], 65535))
                else:
                    pixels.append(tuple(s))
            out.append(pixels)
        return out

    def array(self):
        """The samples as a numpy array of shape (height, width, channels)."""
        import numpy
        return numpy.array(self.rows, dtype=numpy.uint32).reshape(self.height, self.width,
                                                                  self.channels)


def from_array(pixels, bits):
    """An image from a numpy array of shape (height, width, channels)."""
    height, width, channels = pixels.shape
    return Image(width, height, channels, bits, pixels.reshape(height, width * channels).tolist())


def from_rgba16(rows):
    """A 16-bit RGBA image from rows of (r, g, b, a) tuples."""
    flat = [[v for p in row for v in p] for row in rows]
    return Image(len(rows[0]), len(rows), 4, 16, flat)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def png_bytes(width, height, bits, colour_type, filtered, extra=(), level=-1):
    """A PNG file: IHDR, the `extra` chunks (already made with chunk()), the rows as given
    (each with its filter byte) in one IDAT at zlib `level`, and IEND."""
    header = struct.pack(">IIBBBBB", width, height, bits, colour_type, 0, 0, 0)
    return (PNG_SIGNATURE + chunk(b"IHDR", header) + b"".join(extra)
            + chunk(b"IDAT", zlib.compress(filtered, level)) + chunk(b"IEND", b""))


def write_png(path, image):
    fmt = ">%d%s" % (image.width * image.channels, "H" if image.bits == 16 else "B")
    filtered = b"".join(b"\0" + struct.pack(fmt, *row) for row in image.rows)
    with open(path, "wb") as f:
        f.write(png_bytes(image.width, image.height, image.bits, COLOUR_TYPES[image.channels],
                          filtered))


def write_tiff(path, image):
    """Little-endian, uncompressed, contiguous; alpha marked unassociated."""
    import numpy
    import tifffile
    dtype = "<u2" if image.bits == 16 else "u1"
    pixels = numpy.array(image.rows, dtype=dtype).reshape(image.height, image.width,
                                                          image.channels)
    if image.channels == 1:
        pixels = pixels[:, :, 0]
    tifffile.imwrite(path, pixels, byteorder="<", photometric="minisblack" if image.channels <= 2
                     else "rgb", planarconfig="contig", extrasamples=["unassalpha"]
                     if image.channels in (2, 4) else None, metadata=None, software=False)


def read_png(path):
    import png
    with open(path, "rb") as f:
        width, height, rows, info = png.Reader(file=f).asDirect()
        return Image(width, height, info["planes"], info["bitdepth"], [list(row) for row in rows])


def read_tiff(path):
    import tifffile
    pixels = tifffile.imread(path)
    height, width = pixels.shape[:2]
    channels = pixels.shape[2] if pixels.ndim == 3 else 1
    return Image(width, height, channels, pixels.dtype.itemsize * 8,
                 [list(map(int, row)) for row in pixels.reshape(height, width * channels)])


def read_image(path):
    with open(path, "rb") as f:
        head = f.read(4)
    return read_png(path) if head == PNG_SIGNATURE[:4] else read_tiff(path)
