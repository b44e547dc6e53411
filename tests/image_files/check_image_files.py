#!/usr/bin/python3
"""Checks the image-file codec, through image_files_tool, against independent decoders.

  check_image_files.py TOOL SOURCES

SOURCES holds the unpacked libpng and libtiff source packages: their test images are decoded
and compared with pypng's and tifffile's reading of them, as are generated TIFF variants (LZW
and PackBits through libtiff's tiffcp, which tifffile cannot write). Metadata written by the
codec is read back with pypng and tifffile. Ends with "N passed, N failed".
"""
import itertools
import json
import pathlib
import struct
import subprocess
import sys
import tempfile
import warnings
import zlib

import numpy as np
import png
import tifffile

TOOL = sys.argv[1]
SOURCES = pathlib.Path(sys.argv[2])
WORK_FOLDER = tempfile.TemporaryDirectory(prefix="image-files-")
WORK = pathlib.Path(WORK_FOLDER.name)
RNG = np.random.default_rng(7)
failures = []
passed = 0

DECODABLE_COMPRESSIONS = {1, 5, 8, 32946, 32773}
DECODABLE_PHOTOMETRICS = {0, 1, 2, 3}


def check(name, ok, detail=""):
    global passed
    if ok:
        passed += 1
    else:
        failures.append(f"{name}: {detail}")
        print(f"FAIL {name}: {detail}")


def run_tool(*arguments):
    result = subprocess.run([TOOL, *map(str, arguments)], capture_output=True, text=True,
                            timeout=60)
    return result.returncode, result.stdout, result.stderr


def decode(path):
    """(pixels as h x w x 4 uint16, metadata) or (None, error line)."""
    raw = WORK / "pixels.raw"
    code, out, err = run_tool("decode", path, raw)
    if code != 0:
        return None, err
    meta = json.loads(out)
    pixels = np.fromfile(raw, "<u2").reshape(meta["height"], meta["width"], 4)
    return pixels, meta


def one_line_failure(name, result):
    pixels, err = result
    check(name, pixels is None and err.count("\n") == 1 and err.strip() != "",
          f"expected one error line, got {err!r}")


def rgba(colour, alpha, scale):
    colour = colour.astype(np.uint32) * scale
    if colour.shape[-1] == 1:
        colour = np.repeat(colour, 3, axis=-1)
    if alpha is None:
        alpha = np.full(colour.shape[:-1], 65535, np.uint32)
    else:
        alpha = alpha.astype(np.uint32) * scale
    return np.concatenate([colour, alpha[..., None]], axis=-1).astype(np.uint16)


# ---- PNG: libpng's test images against pypng ----

def png_reference(path):
    width, height, rows, info = png.Reader(filename=str(path)).read()
    data = np.array([np.asarray(row, np.uint32) for row in rows])
    if "palette" in info:
        palette = np.array([tuple(entry) + (255,) * (4 - len(entry)) for entry in info["palette"]])
        return (palette[data] * 257).astype(np.uint16)
    planes, depth = info["planes"], info["bitdepth"]
    data = data.reshape(height, width, planes)
    colour_planes = 1 if info["greyscale"] else 3
    colour = data[..., :colour_planes]
    alpha = data[..., colour_planes] if info["alpha"] else None
    if "transparent" in info:
        key = np.atleast_1d(info["transparent"])
        alpha = np.where(np.all(colour == key, axis=-1), 0, 2**depth - 1)
    return rgba(colour, alpha, 65535 // (2**depth - 1))


def check_png_images():
    contrib = SOURCES / "libpng" / "contrib"
    images = sorted((contrib / "pngsuite").rglob("*.png")) + sorted(
        (contrib / "testpngs").glob("*.png"))
    for path in images:
        name = path.relative_to(contrib)
        pixels, meta = decode(path)
        if pixels is None:
            check(name, False, meta)
            continue
        expected = png_reference(path)
        check(name, np.array_equal(pixels, expected), "pixels differ from pypng's")
    # Damaged on purpose: a one-line refusal or a picture, never a crash or a hang.
    for path in sorted((contrib / "testpngs" / "crashers").glob("*.png")):
        code, _, err = run_tool("decode", path, WORK / "pixels.raw")
        check(path.relative_to(contrib), code == 0 or (code == 1 and err.count("\n") == 1),
              f"exit {code}, stderr {err!r}")


# ---- TIFF: libtiff's test images and generated variants against tifffile ----

def tiff_tags(path):
    with tifffile.TiffFile(path) as tiff:
        page = tiff.pages[0]
        try:
            pages = len(tiff.pages)
        except tifffile.TiffFileError:  # a directory loop, which libtiff cuts short
            pages = None
        return page, {tag.code: tag.value for tag in page.tags.values()}, pages


def decodable(page, tags):
    extra = page.samplesperpixel - (3 if page.photometric == 2 else 1)
    return (tags.get(259, 1) in DECODABLE_COMPRESSIONS and page.photometric in
            DECODABLE_PHOTOMETRICS and page.sampleformat == 1 and page.bitspersample in
            (1, 2, 4, 8, 16) and 0 <= extra <= (0 if page.photometric == 3 else 1))


def uncompressed_copy(path):
    """The file as tifffile can read it: LZW and PackBits undone by tiffcp."""
    copy = WORK / "uncompressed.tif"
    subprocess.run(["tiffcp", "-c", "none", str(path), str(copy)], check=True,
                   capture_output=True)
    return copy


def unpack_low_depth(tiff, page):
    """2- and 4-bit strips (which tifffile leaves to a codec package it lacks), MSB first."""
    bits, samples = page.bitspersample, page.samplesperpixel
    row_bytes = (page.imagewidth * samples * bits + 7) // 8
    raw = b"".join(tiff.filehandle.read_at(offset, count) if hasattr(tiff.filehandle, "read_at")
                   else (tiff.filehandle.seek(offset), tiff.filehandle.read(count))[1]
                   for offset, count in zip(page.dataoffsets, page.databytecounts))
    rows = np.frombuffer(raw, np.uint8)[:page.imagelength * row_bytes].reshape(-1, row_bytes)
    groups = np.unpackbits(rows, axis=1)[:, :page.imagewidth * samples * bits]
    weights = 1 << np.arange(bits - 1, -1, -1)
    return (groups.reshape(page.imagelength, -1, bits) * weights).sum(axis=-1)


def tiff_samples(path):
    """The first page's samples as h x w x samples, and the page."""
    with tifffile.TiffFile(path) as tiff:
        page = tiff.pages[0]
        if page.bitspersample in (2, 4):
            data = unpack_low_depth(tiff, page)
        else:
            data = page.asarray()
    samples = page.samplesperpixel
    separate = page.planarconfig == 2 and samples > 1
    data = data.astype(np.uint32).reshape(
        (samples, page.imagelength, page.imagewidth) if separate
        else (page.imagelength, page.imagewidth, samples))
    return (np.moveaxis(data, 0, -1) if separate else data), page


def tiff_reference(path):
    try:
        data, page = tiff_samples(path)
    except (ValueError, NotImplementedError):  # a codec tifffile lacks
        data, page = tiff_samples(uncompressed_copy(path))
    if page.photometric == 3:
        colormap = np.asarray(page.colormap, np.uint16)
        return np.concatenate([colormap[:, data[..., 0]].transpose(1, 2, 0),
                               np.full(data.shape[:2] + (1,), 65535, np.uint16)], axis=-1)
    channels = 3 if page.photometric == 2 else 1
    maximum = 2**page.bitspersample - 1
    colour = data[..., :channels]
    if page.photometric == 0:
        colour = maximum - colour
    alpha = data[..., channels] if data.shape[-1] > channels else None
    return rgba(colour, alpha, 65535 // maximum)


def check_tiff(name, path):
    page, tags, pages = tiff_tags(path)
    pixels, meta = decode(path)
    if not decodable(page, tags):
        check(name, pixels is None and "not supported" in meta and meta.count("\n") == 1,
              f"expected a refusal naming what is unsupported, got {meta!r}")
        return
    if pixels is None:
        check(name, False, meta)
        return
    check(name, np.array_equal(pixels, tiff_reference(path)), "pixels differ from tifffile's")
    if pages is not None:
        check(f"{name} pages", meta["pages"] == pages, f"{meta['pages']}, tifffile {pages}")
    associated = np.atleast_1d(tags.get(338, 0))[0] == 1
    check(f"{name} alpha kind", meta["associated"] == associated, f"{meta['associated']}")


def check_tiff_images():
    images = SOURCES / "tiff" / "test" / "images"
    for path in sorted(images.glob("*.tif*")):
        check_tiff(path.name, path)


def sample_image(kind, dtype, height=23, width=37):
    channels = {"grey": 1, "grey+alpha": 2, "rgb": 3, "rgba": 4}[kind]
    maximum = np.iinfo(dtype).max
    data = RNG.integers(0, maximum, (height, width, channels), dtype=dtype, endpoint=True)
    data[0, 0], data[0, 1] = 0, maximum  # both extremes present
    return data


def write_variant(path, data, kind, byteorder, separate, tiled, compression):
    photometric = "rgb" if kind.startswith("rgb") else "minisblack"
    extrasamples = ["unassalpha"] if kind in ("grey+alpha", "rgba") else None
    layout = {"tile": (16, 16)} if tiled else {"rowsperstrip": 3}
    if separate:
        data = np.ascontiguousarray(np.moveaxis(data, -1, 0))
    elif data.shape[-1] == 1:
        data = data[..., 0]
    tifffile.imwrite(path, data, byteorder=byteorder, photometric=photometric,
                     planarconfig="separate" if separate else "contig",
                     extrasamples=extrasamples, compression=compression, **layout)


def check_generated_tiffs():
    variants = itertools.product(("<", ">"), (np.uint8, np.uint16),
                                 ("grey", "grey+alpha", "rgb", "rgba"), (False, True),
                                 (False, True))
    for byteorder, dtype, kind, separate, tiled in variants:
        if separate and kind == "grey":
            continue
        data = sample_image(kind, dtype)
        base = (f"{'le' if byteorder == '<' else 'be'}-{np.dtype(dtype).itemsize * 8}-{kind}-"
                f"{'separate' if separate else 'contig'}-{'tiles' if tiled else 'strips'}")
        plain = WORK / f"{base}-none.tif"
        write_variant(plain, data, kind, byteorder, separate, tiled, None)
        deflate = WORK / f"{base}-deflate.tif"
        write_variant(deflate, data, kind, byteorder, separate, tiled, "zlib")
        layout = ["-t", "-w", "16", "-l", "16"] if tiled else ["-r", "3"]
        layout += ["-B" if byteorder == ">" else "-L", "-p", "separate" if separate else "contig"]
        copies = [plain, deflate]
        # tiffcp (4.5) scrambles separate planes written as tiles: those stay tifffile's own.
        for codec in () if separate and tiled else ("lzw", "lzw:2", "packbits"):
            copy = WORK / f"{base}-{codec.replace(':', '')}.tif"
            subprocess.run(["tiffcp", "-c", codec, *layout, str(plain), str(copy)], check=True,
                           capture_output=True)
            copies.append(copy)
        expected = tiff_reference(plain)
        for path in copies:
            pixels, meta = decode(path)
            check(path.name, pixels is not None and np.array_equal(pixels, expected),
                  meta if pixels is None else "pixels differ")


def check_refusals():
    """Sample types the codec cannot take: one line naming the reason."""
    cases = [
        ("float", np.zeros((4, 4), np.float32), {}, "32-bit floating-point samples"),
        ("signed", np.zeros((4, 4), np.int16), {}, "signed integer samples"),
        ("32-bit", np.zeros((4, 4), np.uint32), {}, "32-bit samples"),
        ("cmyk", np.zeros((4, 4, 4), np.uint8), {"photometric": "separated"}, "CMYK"),
        ("two extra", np.zeros((4, 4, 5), np.uint8),
         {"photometric": "rgb", "planarconfig": "contig",
          "extrasamples": ["unassalpha", "unspecified"]}, "extra samples"),
    ]
    for name, data, options, reason in cases:
        path = WORK / f"refused-{name.replace(' ', '-')}.tif"
        tifffile.imwrite(path, data, **options)
        pixels, err = decode(path)
        check(f"refused {name}", pixels is None and reason in err and err.count("\n") == 1,
              repr(err))
    huge = WORK / "huge-claim.tif"
    tifffile.imwrite(huge, np.zeros((8, 8), np.uint8))
    header = bytearray(huge.read_bytes())
    for tag in (256, 257):  # ImageWidth, ImageLength: 30000 each, still one 64-byte strip
        at = header.find(struct.pack("<HH", tag, 3))
        if at < 0:
            at = header.find(struct.pack("<HH", tag, 4))
        header[at + 8:at + 12] = struct.pack("<I", 30000)
    huge.write_bytes(bytes(header))
    pixels, err = decode(huge)
    check("huge claim refused", pixels is None and "claims 30000 x 30000" in err, repr(err))
    valid = WORK / "valid.png"
    png.from_array(sample_image("rgb", np.uint8).reshape(23, -1), "RGB").save(valid)
    whole = valid.read_bytes()
    (WORK / "cut.png").write_bytes(whole[:len(whole) - 30])
    one_line_failure("truncated PNG", decode(WORK / "cut.png"))
    check("truncated PNG names it", "truncated PNG" in decode(WORK / "cut.png")[1], "")
    flipped = bytearray(whole)  # the IDAT chunk's CRC
    idat = whole.find(b"IDAT")
    flipped[idat + 4 + struct.unpack(">I", whole[idat - 4:idat])[0]] ^= 0xFF
    (WORK / "crc.png").write_bytes(bytes(flipped))
    check("CRC error", "damaged PNG: IDAT: CRC error" in decode(WORK / "crc.png")[1], "")


# ---- Metadata written by the codec, read back by pypng and tifffile ----

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(
        ">I", zlib.crc32(kind + data))


def icc_profile():
    """A header-only RGB display profile, as much as libpng checks."""
    profile = bytearray(200)
    profile[0:4] = struct.pack(">I", len(profile))
    profile[8:24] = struct.pack(">I", 0x02100000) + b"mntrRGB XYZ "
    profile[36:40] = b"acsp"
    profile[68:80] = struct.pack(">3I", 0xF6D6, 0x10000, 0xD32D)  # D50
    profile[132:200] = bytes(range(68))  # no tags: the rest stands for the profile's data
    return bytes(profile)


def png_with_metadata(path, profile):
    pixels = b"".join(b"\0" + bytes(range(12)) for _ in range(2))  # 2 x 2 RGB16
    chunks = [
        chunk(b"IHDR", struct.pack(">IIBBBBB", 2, 2, 16, 2, 0, 0, 0)),
        chunk(b"gAMA", struct.pack(">I", 45455)),
        chunk(b"cHRM", struct.pack(">8I", 31270, 32900, 64000, 33000, 30000, 60000, 15000,
                                   6000)),
        chunk(b"iCCP", b"camera\0\0" + zlib.compress(profile)),
        chunk(b"pHYs", struct.pack(">IIB", 2835, 5670, 1)),
        chunk(b"tEXt", b"Description\0a frame"),
        chunk(b"tEXt", b"Scene\0twelve"),
        chunk(b"iTXt", "Author\0\0\0\0\0Zoë".encode()),
        chunk(b"IDAT", zlib.compress(pixels)),
        chunk(b"IEND", b""),
    ]
    path.write_bytes(b"\x89PNG\r\n\x1a\n" + b"".join(chunks))


def png_chunks(path):
    found = {}
    for kind, data in png.Reader(filename=str(path)).chunks():
        found.setdefault(kind, []).append(data)
    return found


def png_texts(found):
    texts = {}
    for data in found.get(b"tEXt", []):
        key, value = data.split(b"\0", 1)
        texts[key.decode("latin-1")] = value.decode("latin-1")
    for data in found.get(b"iTXt", []):
        key, rest = data.split(b"\0", 1)
        texts[key.decode("latin-1")] = rest[2:].split(b"\0", 2)[2].decode()
    return texts


def check_metadata():
    profile = icc_profile()
    source_png = WORK / "meta.png"
    png_with_metadata(source_png, profile)
    source_tiff = WORK / "meta.tif"
    tifffile.imwrite(source_tiff, np.zeros((2, 2, 4), np.uint16), photometric="rgb",
                     extrasamples=["assocalpha"], resolution=(300, 150), resolutionunit="INCH",
                     description="a frame", extratags=[
                         (315, "s", 0, "Zoë".encode(), True), (33432, "s", 0, "(c) us", True),
                         (34675, "B", len(profile), profile, True)])
    for source, target in itertools.product((source_png, source_tiff), ("png", "tif")):
        out = WORK / f"meta-from-{source.suffix[1:]}.{target}"
        code, _, err = run_tool("convert", source, out)
        name = f"metadata {source.suffix[1:]} -> {target}"
        if code != 0:
            check(name, False, err)
            continue
        from_png = source == source_png
        texts = {"Description": "a frame", "Author": "Zoë"}
        texts.update({"Scene": "twelve"} if from_png else {"Copyright": "(c) us"})
        if target == "png":
            found = png_chunks(out)
            name_and_profile = found[b"iCCP"][0].split(b"\0", 1)
            check(f"{name}: ICC", zlib.decompress(name_and_profile[1][1:]) == profile, "")
            phys = struct.unpack(">IIB", found[b"pHYs"][0])
            check(f"{name}: pHYs", phys == ((2835, 5670, 1) if from_png else (11811, 5906, 1)),
                  str(phys))
            check(f"{name}: text", png_texts(found) == texts, str(png_texts(found)))
            if from_png:
                check(f"{name}: gAMA cHRM", found[b"gAMA"][0] == struct.pack(">I", 45455) and
                      struct.unpack(">8I", found[b"cHRM"][0])[0] == 31270, "")
        else:
            page, tags, _ = tiff_tags(out)
            check(f"{name}: ICC", bytes(tags.get(34675, b"")) == profile, "")
            unit = 3 if from_png else 2
            resolution = (28.35, 56.7) if from_png else (300, 150)
            got = (tags[282][0] / tags[282][1], tags[283][0] / tags[283][1], int(tags[296]))
            check(f"{name}: resolution", np.allclose(got[:2], resolution) and got[2] == unit,
                  str(got))
            texts.pop("Scene", None)
            got_texts = {"Description": tags.get(270), "Author": tags.get(315)}
            if not from_png:
                got_texts["Copyright"] = tags.get(33432)
            check(f"{name}: text", got_texts == texts, str(got_texts))
            alpha_kind = np.atleast_1d(tags.get(338, 0))[0]
            check(f"{name}: alpha kind", alpha_kind == (2 if from_png else 1), str(alpha_kind))


def main():
    warnings.simplefilter("ignore")  # tifffile's remarks on the damaged test images
    for section in (check_png_images, check_tiff_images, check_generated_tiffs, check_refusals,
                    check_metadata):
        section()
    print(f"{passed} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
