"""What the codec should make of real image files, worked out with pypng and tifffile.

Shared by check_image_files.py (the codec alone) and tests/run/real_files_test.py (through
braidel-run). A Case names a file and its expected decode: 16-bit RGBA pixels, or a refusal.
"""
import io
import itertools
import logging
import math
import pathlib
import struct
import subprocess
import tempfile
import warnings
import zlib
from dataclasses import dataclass
from typing import Optional

import numpy as np
import png
import tifffile

from testimages import chunk, png_bytes

# tifffile's remarks on the damaged test images
warnings.simplefilter("ignore")
logging.getLogger("tifffile").setLevel(logging.CRITICAL)
SCRATCH_FOLDER = tempfile.TemporaryDirectory(prefix="image-references-")
SCRATCH = pathlib.Path(SCRATCH_FOLDER.name)

DECODABLE_COMPRESSIONS = {1, 5, 8, 32946, 32773}
DECODABLE_PHOTOMETRICS = {0, 1, 2, 3}


@dataclass
class Case:
    name: str
    path: pathlib.Path
    pixels: Optional[np.ndarray] = None  # h x w x 4 uint16, when the file must decode
    refusal: Optional[str] = None  # a fragment of the one-line refusal, when it must not
    either: bool = False  # damaged: a one-line refusal, or `pixels` (None: anything)
    pages: Optional[int] = None  # TIFF directories, when tifffile can count them
    associated: bool = False  # TIFF associated alpha
    compression: Optional[int] = None  # TIFF compression tag


def rgba(colour, alpha, scale):
    colour = colour.astype(np.uint32) * scale
    if colour.shape[-1] == 1:
        colour = np.repeat(colour, 3, axis=-1)
    if alpha is None:
        alpha = np.full(colour.shape[:-1], 65535, np.uint32)
    else:
        alpha = alpha.astype(np.uint32) * scale
    return np.concatenate([colour, alpha[..., None]], axis=-1).astype(np.uint16)


# ---- PNG, through pypng ----

def png_pixels(reader):
    """(pixels as RGBA16, pypng's info)."""
    width, height, rows, info = reader.read()
    data = np.array([np.asarray(row, np.uint32) for row in rows])
    if "palette" in info:
        palette = np.array([tuple(entry) + (255,) * (4 - len(entry)) for entry in info["palette"]])
        return (palette[data] * 257).astype(np.uint16), info
    planes, depth = info["planes"], info["bitdepth"]
    data = data.reshape(height, width, planes)
    colour_planes = 1 if info["greyscale"] else 3
    colour = data[..., :colour_planes]
    alpha = data[..., colour_planes] if info["alpha"] else None
    if "transparent" in info:
        key = np.atleast_1d(info["transparent"])
        alpha = np.where(np.all(colour == key, axis=-1), 0, 2**depth - 1)
    return rgba(colour, alpha, 65535 // (2**depth - 1)), info


def png_reader(path):
    return png.Reader(bytes=pathlib.Path(path).read_bytes())


def png_reference(path):
    return png_pixels(png_reader(path))[0]


def critical_png_reference(path):
    """The pixels of a file whose damaged ancillary chunks libpng passes over and pypng does
    not: those of its critical chunks (and tRNS), or None when pypng cannot read even them."""
    try:
        kept = [(kind, data) for kind, data in png_reader(path).chunks()
                if kind in (b"IHDR", b"PLTE", b"tRNS", b"IDAT", b"IEND")]
        copy = io.BytesIO()
        png.write_chunks(copy, kept)
        return png_pixels(png.Reader(bytes=copy.getvalue()))[0]
    except (png.Error, ValueError, zlib.error):
        return None


# ---- TIFF, through tifffile ----

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
    copy = SCRATCH / "uncompressed.tif"
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
        page.colormap  # read while the file is open
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


def tiff_case(name, path, pixels=None):
    """A TIFF file's case: its pixels when the codec can take it, else a refusal."""
    page, tags, pages = tiff_tags(path)
    if not decodable(page, tags):
        return Case(name, path, refusal="not supported")
    return Case(name, path, tiff_reference(path) if pixels is None else pixels, pages=pages,
                associated=np.atleast_1d(tags.get(338, 0))[0] == 1, compression=tags.get(259, 1))


# ---- The cases: the libraries' own test images, generated variants, refusals ----

def library_cases(sources):
    """libpng's PNG suite and test PNGs, its damaged PNGs, and libtiff's test images."""
    contrib = sources / "libpng" / "contrib"
    cases = [Case(str(path.relative_to(contrib)), path, png_reference(path))
             for path in sorted((contrib / "pngsuite").rglob("*.png")) +
             sorted((contrib / "testpngs").glob("*.png"))]
    cases += [Case(str(path.relative_to(contrib)), path, critical_png_reference(path), either=True)
              for path in sorted((contrib / "testpngs" / "crashers").glob("*.png"))]
    images = sources / "tiff" / "test" / "images"
    return cases + [tiff_case(path.name, path) for path in sorted(images.glob("*.tif*"))]


def sample_image(rng, kind, dtype, height=23, width=37):
    channels = {"grey": 1, "grey+alpha": 2, "rgb": 3, "rgba": 4}[kind]
    maximum = np.iinfo(dtype).max
    data = rng.integers(0, maximum, (height, width, channels), dtype=dtype, endpoint=True)
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


def generated_cases(folder, rng):
    """TIFF variants: byte order x depth x channels x planes x strips or tiles x compression
    (none and Deflate by tifffile; LZW, LZW with predictor and PackBits by tiffcp), and a
    three-page file."""
    cases = []
    variants = itertools.product(("<", ">"), (np.uint8, np.uint16),
                                 ("grey", "grey+alpha", "rgb", "rgba"), (False, True),
                                 (False, True))
    for byteorder, dtype, kind, separate, tiled in variants:
        if separate and kind == "grey":
            continue
        data = sample_image(rng, kind, dtype)
        base = (f"{'le' if byteorder == '<' else 'be'}-{np.dtype(dtype).itemsize * 8}-{kind}-"
                f"{'separate' if separate else 'contig'}-{'tiles' if tiled else 'strips'}")
        plain = folder / f"{base}-none.tif"
        write_variant(plain, data, kind, byteorder, separate, tiled, None)
        deflate = folder / f"{base}-deflate.tif"
        write_variant(deflate, data, kind, byteorder, separate, tiled, "zlib")
        layout = ["-t", "-w", "16", "-l", "16"] if tiled else ["-r", "3"]
        layout += ["-B" if byteorder == ">" else "-L", "-p", "separate" if separate else "contig"]
        copies = [plain, deflate]
        # tiffcp (4.5) scrambles separate planes written as tiles: those stay tifffile's own.
        for codec in () if separate and tiled else ("lzw", "lzw:2", "packbits"):
            copy = folder / f"{base}-{codec.replace(':', '')}.tif"
            subprocess.run(["tiffcp", "-c", codec, *layout, str(plain), str(copy)], check=True,
                           capture_output=True)
            copies.append(copy)
        expected = tiff_reference(plain)
        cases += [tiff_case(path.name, path, expected) for path in copies]
    pages = folder / "three-pages.tif"
    with tifffile.TiffWriter(pages) as tiff:
        for _ in range(3):
            tiff.write(sample_image(rng, "rgb", np.uint16), photometric="rgb")
    return cases + [tiff_case(pages.name, pages)]


def refusal_cases(folder, rng):
    """Sample types the codec cannot take and damaged files: one line naming the reason."""
    cases = []
    kinds = [
        ("float", np.zeros((4, 4), np.float32), {}, "32-bit floating-point samples"),
        ("signed", np.zeros((4, 4), np.int16), {}, "signed integer samples"),
        ("32-bit", np.zeros((4, 4), np.uint32), {}, "32-bit samples"),
        ("cmyk", np.zeros((4, 4, 4), np.uint8), {"photometric": "separated"}, "CMYK"),
        ("two-extra", np.zeros((4, 4, 5), np.uint8),
         {"photometric": "rgb", "planarconfig": "contig",
          "extrasamples": ["unassalpha", "unspecified"]}, "extra samples"),
    ]
    for name, data, options, reason in kinds:
        path = folder / f"refused-{name}.tif"
        tifffile.imwrite(path, data, **options)
        cases.append(Case(path.name, path, refusal=reason))
    huge = folder / "huge-claim.tif"
    tifffile.imwrite(huge, np.zeros((8, 8), np.uint8))
    header = bytearray(huge.read_bytes())
    for tag in (256, 257):  # ImageWidth, ImageLength: 30000 each, still one 64-byte strip
        at = header.find(struct.pack("<HH", tag, 3))
        if at < 0:
            at = header.find(struct.pack("<HH", tag, 4))
        header[at + 8:at + 12] = struct.pack("<I", 30000)
    huge.write_bytes(bytes(header))
    cases.append(Case(huge.name, huge, refusal="claims 30000 x 30000"))
    valid = folder / "valid.png"
    png.from_array(sample_image(rng, "rgb", np.uint8).reshape(23, -1), "RGB").save(valid)
    whole = valid.read_bytes()
    (folder / "cut.png").write_bytes(whole[:len(whole) - 30])
    cases.append(Case("cut.png", folder / "cut.png", refusal="truncated PNG"))
    flipped = bytearray(whole)  # the IDAT chunk's CRC
    idat = whole.find(b"IDAT")
    flipped[idat + 4 + struct.unpack(">I", whole[idat - 4:idat])[0]] ^= 0xFF
    (folder / "crc.png").write_bytes(bytes(flipped))
    return cases + [Case("crc.png", folder / "crc.png", refusal="damaged PNG: IDAT: CRC error")]


# ---- Metadata: files that carry it, and what a written file must say of it ----

def icc_profile():
    """A header-only RGB display profile, as much as libpng checks."""
    profile = bytearray(200)
    profile[0:4] = struct.pack(">I", len(profile))
    profile[8:24] = struct.pack(">I", 0x02100000) + b"mntrRGB XYZ "
    profile[36:40] = b"acsp"
    profile[68:80] = struct.pack(">3I", 0xF6D6, 0x10000, 0xD32D)  # D50
    profile[132:200] = bytes(range(68))  # no tags: the rest stands for the profile's data
    return bytes(profile)


PROFILE = icc_profile()
CHROMATICITIES = (31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000)
SRGB_INTENT = 2


def png_with_metadata(path, profile):
    """A 2 x 2 PNG with gamma, chromaticities, resolution, texts, and either the ICC profile
    or (profile None) an sRGB chunk."""
    pixels = b"".join(b"\0" + bytes(range(12)) for _ in range(2))  # 2 x 2 RGB16
    colour = (chunk(b"iCCP", b"camera\0\0" + zlib.compress(profile)) if profile
              else chunk(b"sRGB", bytes([SRGB_INTENT])))
    chunks = [
        chunk(b"gAMA", struct.pack(">I", 45455)),
        chunk(b"cHRM", struct.pack(">8I", *CHROMATICITIES)),
        colour,
        chunk(b"pHYs", struct.pack(">IIB", 2835, 5670, 1)),
        chunk(b"tEXt", b"Description\0a frame"),
        chunk(b"tEXt", b"Scene\0twelve"),
        chunk(b"iTXt", "Author\0\0\0\0\0Zoë".encode()),
    ]
    path.write_bytes(png_bytes(2, 2, 16, 2, pixels, chunks))


def tiff_with_metadata(path):
    """A 2 x 2 RGBA TIFF with associated alpha, resolution, texts and the ICC profile."""
    tifffile.imwrite(path, np.zeros((2, 2, 4), np.uint16), photometric="rgb",
                     extrasamples=["assocalpha"], resolution=(300, 150), resolutionunit="INCH",
                     description="a frame", extratags=[
                         (315, "s", 0, "Zoë".encode(), True), (33432, "s", 0, "(c) us", True),
                         (34675, "B", len(PROFILE), PROFILE, True)])


# Files with metadata, by kind: what each is made by.
METADATA_SOURCES = {
    "png": lambda path: png_with_metadata(path, PROFILE),
    "png-srgb": lambda path: png_with_metadata(path, None),
    "tif": tiff_with_metadata,
}


def png_chunks(path):
    found = {}
    for kind, data in png_reader(path).chunks():
        found.setdefault(kind, []).append(data)
    return found


def png_texts(found):
    texts = {}
    for data in found.get(b"tEXt", []):
        key, value = data.split(b"\0", 1)
        texts[key.decode("latin-1")] = value.decode("latin-1")
    for data in found.get(b"zTXt", []):
        key, value = data.split(b"\0", 1)
        texts[key.decode("latin-1")] = zlib.decompress(value[1:]).decode("latin-1")
    for data in found.get(b"iTXt", []):
        key, rest = data.split(b"\0", 1)
        value = rest[2:].split(b"\0", 2)[2]
        texts[key.decode("latin-1")] = (zlib.decompress(value) if rest[0] else value).decode()
    return texts


def png_metadata(path):
    """What a PNG says of its pixels, as the codec carries it over: the first gAMA, cHRM and
    sRGB, an RGB ICC profile, pHYs (an aspect ratio reduced), texts."""
    found = png_chunks(path)
    first = {kind: found[kind][0] for kind in (b"gAMA", b"cHRM", b"sRGB", b"pHYs")
             if kind in found}
    profile = None
    if b"iCCP" in found:
        profile = zlib.decompress(found[b"iCCP"][0].split(b"\0", 1)[1][1:])
    phys = struct.unpack(">IIB", first[b"pHYs"]) if b"pHYs" in first else None
    if phys and phys[2] == 0:
        divisor = math.gcd(phys[0], phys[1])
        phys = (phys[0] // divisor, phys[1] // divisor, 0)
    return {"gAMA": first.get(b"gAMA"), "cHRM": first.get(b"cHRM"), "sRGB": first.get(b"sRGB"),
            "ICC": profile if profile and profile[16:20] == b"RGB " else None, "pHYs": phys,
            "text": png_texts(found)}


def tiff_metadata(path):
    """What a TIFF says of its pixels, as the codec carries it over: an RGB ICC profile,
    resolution (unit inch when unsaid) and the three text tags."""
    _, tags, _ = tiff_tags(path)
    profile = bytes(tags[34675]) if 34675 in tags else None
    resolution = None
    if 282 in tags and 283 in tags and tags[282][0] and tags[283][0]:
        resolution = (tags[282][0] / tags[282][1], tags[283][0] / tags[283][1],
                      int(tags.get(296, 2)))
    return {"ICC": profile if profile and profile[16:20] == b"RGB " else None,
            "resolution": resolution,
            "text": {tag: tags[tag] for tag in (270, 315, 33432) if tag in tags}}


def metadata_checks(out, kind):
    """(what, ok, detail) for each item of the METADATA_SOURCES file of `kind` that the file
    `out` (PNG or TIFF, by its extension) must carry."""
    from_png = kind != "tif"
    profile = PROFILE if kind != "png-srgb" else None
    texts = {"Description": "a frame", "Author": "Zoë"}
    texts.update({"Scene": "twelve"} if from_png else {"Copyright": "(c) us"})
    if out.suffix == ".png":
        found = png_chunks(out)
        got = (zlib.decompress(found[b"iCCP"][0].split(b"\0", 1)[1][1:])
               if b"iCCP" in found else None)
        yield "ICC", got == profile, f"{got!r:.40}"
        phys = struct.unpack(">IIB", found[b"pHYs"][0])
        yield "pHYs", phys == ((2835, 5670, 1) if from_png else (11811, 5906, 1)), str(phys)
        yield "text", png_texts(found) == texts, str(png_texts(found))
        colour = {name: found.get(name) for name in (b"gAMA", b"cHRM", b"sRGB")}
        want = {b"gAMA": [struct.pack(">I", 45455)], b"cHRM": [struct.pack(">8I", *CHROMATICITIES)],
                b"sRGB": [bytes([SRGB_INTENT])] if not profile else None} if from_png else {
                    b"gAMA": None, b"cHRM": None, b"sRGB": None}
        yield "gAMA cHRM sRGB", colour == want, str(colour)
    else:
        page, tags, _ = tiff_tags(out)
        got = bytes(tags[34675]) if 34675 in tags else None
        yield "ICC", got == profile, f"{got!r:.40}"
        unit = 3 if from_png else 2
        resolution = (28.35, 56.7) if from_png else (300, 150)
        got = (tags[282][0] / tags[282][1], tags[283][0] / tags[283][1], int(tags[296]))
        yield "resolution", np.allclose(got[:2], resolution) and got[2] == unit, str(got)
        texts.pop("Scene", None)
        got_texts = {key: tags[tag] for key, tag in (("Description", 270), ("Author", 315),
                                                     ("Copyright", 33432)) if tag in tags}
        yield "text", got_texts == texts, str(got_texts)
        alpha_kind = np.atleast_1d(tags.get(338, 0))[0]
        yield "alpha kind", alpha_kind == (2 if from_png else 1), str(alpha_kind)
