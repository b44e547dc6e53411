"""PNG and TIFF files in pure Python, for generating inputs and checking outputs.

An image is (width, height, channels, bits, rows): rows is a list of lists of samples, each row
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


def from_rgba16(rows):
    """A 16-bit RGBA image from rows of (r, g, b, a) tuples."""
    flat = [[v for p in row for v in p] for row in rows]
    return Image(len(rows[0]), len(rows), 4, 16, flat)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def write_png(path, image):
    fmt = ">%d%s" % (image.width * image.channels, "H" if image.bits == 16 else "B")
    raw = b"".join(b"\0" + struct.pack(fmt, *row) for row in image.rows)
    header = struct.pack(">IIBBBBB", image.width, image.height, image.bits,
                         COLOUR_TYPES[image.channels], 0, 0, 0)
    with open(path, "wb") as f:
        f.write(PNG_SIGNATURE + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw))
                + chunk(b"IEND", b""))


def _unfilter(data, height, stride, bpp):
    rows, previous, pos = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = data[pos], bytearray(data[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        if kind == 0:
            rows.append(bytes(line))
            previous = line
            continue
        if kind == 2:
            line = bytearray((v + w) & 255 for v, w in zip(line, previous))
            rows.append(bytes(line))
            previous = line
            continue
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = previous[i]
            c = previous[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
            elif kind != 0:
                raise ValueError("bad PNG filter %d" % kind)
        rows.append(bytes(line))
        previous = line
    return rows


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != PNG_SIGNATURE:
        raise ValueError("not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, bits, colour, _, _, interlace = header
    if interlace:
        raise ValueError("interlaced PNG")
    channels = {v: k for k, v in COLOUR_TYPES.items()}[colour]
    bpp = channels * bits // 8
    lines = _unfilter(zlib.decompress(idat), height, width * bpp, bpp)
    fmt = ">%d%s" % (width * channels, "H" if bits == 16 else "B")
    return Image(width, height, channels, bits, [list(struct.unpack(fmt, l)) for l in lines])


# TIFF: little-endian, one strip per row, uncompressed (writing); reading also takes deflate.
def write_tiff(path, image):
    bps = image.bits // 8
    stride = image.width * image.channels * bps
    fmt = "<%d%s" % (image.width * image.channels, "H" if image.bits == 16 else "B")
    strips = [struct.pack(fmt, *row) for row in image.rows]
    entries = []
    extra = image.channels in (2, 4)
    n_entries = 10 + (1 if extra else 0)
    ifd_offset = 8
    data_offset = ifd_offset + 2 + 12 * n_entries + 4
    bits_offset = data_offset
    data = struct.pack("<%dH" % image.channels, *([image.bits] * image.channels))
    offsets_offset = data_offset + len(data)
    strip_data_offset = offsets_offset + 8 * image.height
    offsets = [strip_data_offset + i * stride for i in range(image.height)]
    data += struct.pack("<%dI" % image.height, *offsets)
    data += struct.pack("<%dI" % image.height, *([stride] * image.height))
    counts_offset = offsets_offset + 4 * image.height

    def entry(tag, kind, count, value):
        entries.append(struct.pack("<HHII", tag, kind, count, value))

    entry(256, 4, 1, image.width)
    entry(257, 4, 1, image.height)
    if image.channels == 1:
        entry(258, 3, 1, image.bits)
    else:
        entry(258, 3, image.channels, bits_offset)
    entry(259, 3, 1, 1)
    entry(262, 3, 1, 1 if image.channels <= 2 else 2)
    entry(273, 4, image.height, offsets_offset)
    entry(277, 3, 1, image.channels)
    entry(278, 4, 1, 1)
    entry(279, 4, image.height, counts_offset)
    entry(284, 3, 1, 1)
    if extra:
        entry(338, 3, 1, 2)  # unassociated alpha
    with open(path, "wb") as f:
        f.write(b"II*\0" + struct.pack("<I", ifd_offset))
        f.write(struct.pack("<H", len(entries)) + b"".join(entries) + struct.pack("<I", 0))
        f.write(data + b"".join(strips))


def read_tiff(path):
    with open(path, "rb") as f:
        data = f.read()
    order = {b"II": "<", b"MM": ">"}[data[:2]]
    (ifd,) = struct.unpack(order + "I", data[4:8])
    (count,) = struct.unpack(order + "H", data[ifd:ifd + 2])
    sizes = {1: 1, 3: 2, 4: 4}
    codes = {1: "B", 3: "H", 4: "I"}
    tags = {}
    for i in range(count):
        tag, kind, n, value = struct.unpack(order + "HHI4s", data[ifd + 2 + 12 * i:ifd + 14 + 12 * i])
        size = sizes[kind] * n
        raw = value if size <= 4 else data[struct.unpack(order + "I", value)[0]:][:size]
        tags[tag] = list(struct.unpack(order + "%d%s" % (n, codes[kind]), raw[:size]))
    width, height = tags[256][0], tags[257][0]
    channels = tags.get(277, [1])[0]
    bits = tags[258][0]
    compression = tags.get(259, [1])[0]
    rows_per_strip = tags.get(278, [height])[0]
    if tags.get(284, [1])[0] != 1 or tags.get(317, [1])[0] != 1:
        raise ValueError("unsupported TIFF layout")
    pixels = b""
    for offset, size in zip(tags[273], tags[279]):
        strip = data[offset:offset + size]
        if compression in (8, 32946):
            strip = zlib.decompress(strip)
        elif compression != 1:
            raise ValueError("unsupported TIFF compression %d" % compression)
        pixels += strip
    stride = width * channels * bits // 8
    fmt = order + "%d%s" % (width * channels, "H" if bits == 16 else "B")
    rows = [list(struct.unpack(fmt, pixels[y * stride:(y + 1) * stride])) for y in range(height)]
    del rows_per_strip
    return Image(width, height, channels, bits, rows)


def read_image(path):
    with open(path, "rb") as f:
        head = f.read(4)
    return read_png(path) if head == PNG_SIGNATURE[:4] else read_tiff(path)
