// TIFF through libtiff, on bytes in memory. Strips are decoded straight into the caller's pixels
// and widened in place; tiles and separate planes go through one chunk of scratch.

#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "image_files/codec_support.h"

namespace image_files {

using namespace detail;

namespace {

// libtiff's own allocations (never the pixels) stay below this.
constexpr tmsize_t kMaxLibraryAllocation = tmsize_t{1} << 30;

// Written strips hold about this many bytes of samples.
constexpr std::size_t kStripBytes = 256 * 1024;
// The most directories libtiff counts (TIFF_MAX_DIR_COUNT of this libtiff).
constexpr std::uint32_t kCountedDirectories = 1048576;

// Past this many bytes of samples a written file needs BigTIFF's 64-bit offsets.
constexpr std::uint64_t kClassicTiffLimit = 0xF0000000;

// libtiff's client I/O: the file being read, through its source, or the one being written, in
// memory.
struct MemoryFile {
    ByteSource* input = nullptr;
    std::vector<std::uint8_t>* output = nullptr;
    std::uint64_t position = 0;

    std::uint64_t Size() const { return output != nullptr ? output->size() : input->Size(); }
};

MemoryFile& FileOf(thandle_t handle) {
    return *static_cast<MemoryFile*>(handle);
}

tmsize_t ReadFile(thandle_t handle, void* buffer, tmsize_t length) {
    MemoryFile& file = FileOf(handle);
    if (length <= 0 || file.position >= file.Size()) return 0;
    const auto count = static_cast<std::size_t>(
        std::min<std::uint64_t>(static_cast<std::uint64_t>(length), file.Size() - file.position));
    std::size_t got = 0;
    if (file.output != nullptr) {
        std::memcpy(buffer, file.output->data() + file.position, count);
        got = count;
    } else {
        got = file.input->ReadAt(file.position, {static_cast<std::uint8_t*>(buffer), count});
    }
    file.position += got;
    return static_cast<tmsize_t>(got);
}

tmsize_t WriteFile(thandle_t handle, void* buffer, tmsize_t length) {
    MemoryFile& file = FileOf(handle);
    if (file.output == nullptr || length < 0) return -1;
    try {
        const std::uint64_t end = file.position + static_cast<std::uint64_t>(length);
        if (end > file.output->size()) file.output->resize(end);
        std::memcpy(file.output->data() + file.position, buffer, static_cast<std::size_t>(length));
        file.position = end;
        return length;
    } catch (...) {
        return -1;
    }
}

toff_t SeekFile(thandle_t handle, toff_t offset, int whence) {
    MemoryFile& file = FileOf(handle);
    const std::uint64_t base = whence == SEEK_CUR   ? file.position
                               : whence == SEEK_END ? file.Size()
                                                    : 0;
    file.position = base + offset;
    return file.position;
}

int CloseFile(thandle_t) {
    return 0;
}

toff_t FileSize(thandle_t handle) {
    return FileOf(handle).Size();
}

// Reading a file in memory maps it, so libtiff copies nothing it does not have to; a file read
// from disk is read a strip or tile at a time.
int MapFile(thandle_t handle, void** base, toff_t* size) {
    MemoryFile& file = FileOf(handle);
    if (file.output != nullptr) return 0;
    const std::span<const std::uint8_t> bytes = file.input->InMemory();
    if (bytes.empty()) return 0;
    *base = const_cast<std::uint8_t*>(bytes.data());
    *size = bytes.size();
    return 1;
}

void UnmapFile(thandle_t, void*, toff_t) {}

int OnTiffError(TIFF*, void* firstError, const char*, const char* format, va_list arguments) {
    static_cast<FirstError*>(firstError)->Record(format, arguments);
    return 1;  // handled: nothing goes to stderr
}

int OnTiffWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;  // the file is still read; nothing goes to stderr
}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

struct OptionsFreer {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

TiffHandle OpenTiff(const char* mode, MemoryFile& file, FirstError& error) {
    std::unique_ptr<TIFFOpenOptions, OptionsFreer> options(TIFFOpenOptionsAlloc());
    if (!options) {
        error.Record("out of memory");
        return nullptr;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnTiffError, &error);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnTiffWarning, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxLibraryAllocation);
    return TiffHandle(TIFFClientOpenExt("memory", mode, &file, ReadFile, WriteFile, SeekFile,
                                        CloseFile, FileSize, MapFile, UnmapFile, options.get()));
}

enum class Colour { Grey, Rgb, Palette };

// What the first directory holds, checked to be decodable.
struct TiffLayout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bits = 0;
    int samples = 0;  // per pixel
    Colour colour = Colour::Grey;
    int colourChannels = 1;
    bool hasAlpha = false;
    bool associatedAlpha = false;
    bool invertGrey = false;
    bool separatePlanes = false;
    bool tiled = false;
    std::uint16_t compression = COMPRESSION_NONE;
    const std::uint16_t* map[3] = {};  // palette: red, green, blue
};

// Failures of the checks below: the file cannot be read.
Failure Refuse(std::string reason) {
    return {FailureCode::BadInput, std::move(reason)};
}

Failure CheckPhotometric(std::uint16_t photometric) {
    switch (photometric) {
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_RGB:
        case PHOTOMETRIC_PALETTE:
            return {};
        case PHOTOMETRIC_SEPARATED:
            return Refuse("CMYK (separated) images are not supported");
        case PHOTOMETRIC_YCBCR:
            return Refuse("YCbCr images are not supported");
        case PHOTOMETRIC_CIELAB:
        case PHOTOMETRIC_ICCLAB:
        case PHOTOMETRIC_ITULAB:
            return Refuse("L*a*b* images are not supported");
        case PHOTOMETRIC_LOGL:
        case PHOTOMETRIC_LOGLUV:
            return Refuse("LogLuv images are not supported");
        case PHOTOMETRIC_MASK:
            return Refuse("transparency masks are not supported");
        case PHOTOMETRIC_CFA:
            return Refuse("colour filter array (raw sensor) images are not supported");
        default:
            return Refuse("this photometric interpretation is not supported");
    }
}

Failure CheckCompression(std::uint16_t compression) {
    switch (compression) {
        case COMPRESSION_NONE:
        case COMPRESSION_LZW:
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:
        case COMPRESSION_PACKBITS:
            return {};
        case COMPRESSION_JPEG:
        case COMPRESSION_OJPEG:
            return Refuse("JPEG-compressed TIFF is not supported");
        case COMPRESSION_CCITTRLE:
        case COMPRESSION_CCITTRLEW:
        case COMPRESSION_CCITTFAX3:
        case COMPRESSION_CCITTFAX4:
            return Refuse("CCITT fax compression is not supported");
        case COMPRESSION_LZMA:
            return Refuse("LZMA compression is not supported");
        case COMPRESSION_ZSTD:
            return Refuse("Zstandard compression is not supported");
        case COMPRESSION_WEBP:
            return Refuse("WebP compression is not supported");
        case COMPRESSION_JBIG:
            return Refuse("JBIG compression is not supported");
        case COMPRESSION_SGILOG:
        case COMPRESSION_SGILOG24:
            return Refuse("LogLuv compression is not supported");
        default:
            return Refuse("this TIFF compression is not supported");
    }
}

// Whether the sample format and depth can be read.
Failure CheckSamples(std::uint16_t format, int bits) {
    if (format == SAMPLEFORMAT_IEEEFP) {
        return Refuse(std::to_string(bits) + "-bit floating-point samples are not supported");
    }
    if (format == SAMPLEFORMAT_INT) return Refuse("signed integer samples are not supported");
    if (format != SAMPLEFORMAT_UINT) return Refuse("complex samples are not supported");
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16) {
        return Refuse(std::to_string(bits) + "-bit samples are not supported");
    }
    return {};
}

// Colour channels, alpha and palette, when they make sense.
Failure ReadChannels(TIFF* tiff, std::uint16_t photometric, TiffLayout& layout) {
    layout.colour = photometric == PHOTOMETRIC_RGB       ? Colour::Rgb
                    : photometric == PHOTOMETRIC_PALETTE ? Colour::Palette
                                                         : Colour::Grey;
    layout.colourChannels = layout.colour == Colour::Rgb ? 3 : 1;
    layout.invertGrey = photometric == PHOTOMETRIC_MINISWHITE;
    const int extra = layout.samples - layout.colourChannels;
    if (extra < 0) return Refuse("damaged TIFF: RGB with fewer than 3 samples per pixel");
    if (extra > 1) {
        return Refuse(std::to_string(extra) +
                      " extra samples are not supported (one alpha at most)");
    }
    layout.hasAlpha = extra == 1;
    if (layout.colour == Colour::Palette) {
        if (layout.hasAlpha) return Refuse("palette images with alpha are not supported");
        if (TIFFGetField(tiff, TIFFTAG_COLORMAP, &layout.map[0], &layout.map[1], &layout.map[2]) ==
            0) {
            return Refuse("damaged TIFF: palette image without a colour map");
        }
    }
    // An extra sample not marked as associated alpha counts as plain alpha.
    std::uint16_t count = 0;
    std::uint16_t* types = nullptr;
    if (layout.hasAlpha && TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &count, &types) != 0 &&
        count > 0) {
        layout.associatedAlpha = types[0] == EXTRASAMPLE_ASSOCALPHA;
    }
    return {};
}

Failure ReadLayout(TIFF* tiff, TiffLayout& layout) {
    std::uint16_t bits = 1, samples = 1, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG;
    std::uint16_t photometric = 0;
    if (TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &layout.width) == 0 ||
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &layout.height) == 0) {
        return Refuse("damaged TIFF: no image size");
    }
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &layout.compression);
    if (TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) == 0) {
        photometric = samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    }
    layout.bits = bits;
    layout.samples = samples;
    if (Failure failure = CheckSamples(format, bits)) return failure;
    if (Failure failure = CheckPhotometric(photometric)) return failure;
    if (Failure failure = CheckCompression(layout.compression)) return failure;
    if (Failure failure = ReadChannels(tiff, photometric, layout)) return failure;
    layout.separatePlanes = planar == PLANARCONFIG_SEPARATE && samples > 1;
    layout.tiled = TIFFIsTiled(tiff) != 0;
    return {};
}

// The compression of a decodable directory (the others are refused before this is asked).
TiffCompression CompressionOf(std::uint16_t compression) {
    switch (compression) {
        case COMPRESSION_PACKBITS:
            return TiffCompression::PackBits;
        case COMPRESSION_LZW:
            return TiffCompression::Lzw;
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:
            return TiffCompression::Deflate;
        default:
            return TiffCompression::None;
    }
}

// Bytes of samples the directory claims, as its strips or tiles hold them.
std::uint64_t ClaimedBytes(TIFF* tiff, const TiffLayout& layout) {
    if (layout.tiled) return std::uint64_t{TIFFNumberOfTiles(tiff)} * TIFFTileSize64(tiff);
    const std::uint64_t planes = layout.separatePlanes ? layout.samples : 1;
    return planes * layout.height * TIFFScanlineSize64(tiff);
}

// A tiled directory's tile size; zero when it has none.
struct TileSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

TileSize TileSizeOf(TIFF* tiff) {
    TileSize size;
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &size.width);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &size.height);
    return size;
}

std::uint32_t RowsPerStrip(TIFF* tiff, const TiffLayout& layout) {
    std::uint32_t rows = 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rows);
    return std::clamp<std::uint32_t>(rows, 1, layout.height);
}

// The rows of one tile that the kept image has (`keptHeight` rows): a tile may reach far
// beyond the image, and only these rows are decoded.
std::uint32_t TileRowsNeeded(const TileSize& tile, std::uint32_t keptHeight) {
    return std::min(tile.height, keptHeight);
}

// The bytes the pixel reader holds beside the pixels: a tile's rows, or a strip when it cannot
// be decoded in place (separate planes, a crop), and one row of samples.
std::uint64_t WorkBytes(TIFF* tiff, const TiffLayout& layout, std::uint32_t keptWidth,
                        std::uint32_t keptHeight) {
    if (layout.tiled) {
        const TileSize tile = TileSizeOf(tiff);
        const std::uint64_t perPixel = layout.separatePlanes ? 1 : layout.samples;
        return std::uint64_t{TileRowsNeeded(tile, keptHeight)} * TIFFTileRowSize64(tiff) +
               std::uint64_t{std::min(tile.width, layout.width)} * perPixel * 2;
    }
    const std::uint64_t samples = std::uint64_t{layout.width} * layout.samples * 2;
    const bool cropped = keptWidth < layout.width || keptHeight < layout.height;
    if (!layout.separatePlanes && !cropped) return samples;
    return std::uint64_t{RowsPerStrip(tiff, layout)} * TIFFScanlineSize64(tiff) + samples;
}

// Samples of one row as 16-bit values: scaled to the full range, or raw for palette indices.
// 16-bit samples arrive in native byte order from libtiff.
void UnpackSamples(const std::uint8_t* row, std::size_t count, int bits, bool scale,
                   std::uint16_t* out) {
    if (bits == 16) {
        std::memcpy(out, row, count * 2);
    } else if (bits == 8) {
        const unsigned factor = scale ? 257 : 1;
        for (std::size_t i = 0; i < count; ++i)
            out[i] = static_cast<std::uint16_t>(row[i] * factor);
    } else {
        const unsigned mask = (1u << bits) - 1;
        const unsigned factor = scale ? 65535 / mask : 1;  // exact: 65535, 21845, 4369
        const std::size_t perByte = 8 / static_cast<std::size_t>(bits);
        for (std::size_t i = 0; i < count; ++i) {
            const unsigned shift = 8 - static_cast<unsigned>(bits) * (i % perByte + 1);
            out[i] = static_cast<std::uint16_t>(((row[i / perByte] >> shift) & mask) * factor);
        }
    }
}

// Interleaved samples to RGBA pixels.
void StorePixels(const std::uint16_t* samples, std::uint32_t count, const TiffLayout& layout,
                 std::uint16_t* out) {
    const int step = layout.samples;
    for (std::uint32_t i = 0; i < count; ++i, samples += step, out += 4) {
        switch (layout.colour) {
            case Colour::Grey: {
                const auto grey =
                    static_cast<std::uint16_t>(layout.invertGrey ? 65535 - samples[0] : samples[0]);
                out[0] = out[1] = out[2] = grey;
                out[3] = layout.hasAlpha ? samples[1] : 65535;
                break;
            }
            case Colour::Rgb:
                out[0] = samples[0];
                out[1] = samples[1];
                out[2] = samples[2];
                out[3] = layout.hasAlpha ? samples[3] : 65535;
                break;
            case Colour::Palette:
                out[0] = layout.map[0][samples[0]];
                out[1] = layout.map[1][samples[0]];
                out[2] = layout.map[2][samples[0]];
                out[3] = 65535;
                break;
        }
    }
}

// One plane's samples into their channel; the first colour plane also makes alpha opaque, for
// an alpha plane (the last) to overwrite.
void StorePlane(const std::uint16_t* samples, std::uint32_t count, int plane,
                const TiffLayout& layout, std::uint16_t* out) {
    if (plane == layout.colourChannels) {
        for (std::uint32_t i = 0; i < count; ++i) out[4 * i + 3] = samples[i];
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        if (layout.colour == Colour::Grey) {
            const auto grey =
                static_cast<std::uint16_t>(layout.invertGrey ? 65535 - samples[i] : samples[i]);
            out[4 * i] = out[4 * i + 1] = out[4 * i + 2] = grey;
        } else {
            out[4 * i + plane] = samples[i];
        }
        if (plane == 0) out[4 * i + 3] = 65535;
    }
}

// Decodes the first directory's pixels into the caller's RGBA storage.
class PixelReader {
  public:
    // `pixels` holds the kept rows and columns of the image.
    PixelReader(TIFF* tiff, const TiffLayout& layout, std::uint64_t fileSize, FirstError& libError,
                std::uint16_t* pixels, std::uint32_t keptWidth, std::uint32_t keptHeight)
        : tiff_(tiff),
          layout_(layout),
          fileSize_(fileSize),
          libError_(libError),
          pixels_(pixels),
          keptWidth_(keptWidth),
          keptHeight_(keptHeight) {}

    Failure Read() {
        try {
            if (layout_.tiled) return ReadTiles();
            return layout_.separatePlanes ? ReadSeparateStrips() : ReadContiguousStrips();
        } catch (const std::bad_alloc&) {
            return Refuse("out of memory");
        }
    }

  private:
    bool Scaled() const { return layout_.colour != Colour::Palette; }

    std::uint16_t* PixelAt(std::uint32_t x, std::uint32_t y) const {
        return pixels_ + (std::size_t{y} * keptWidth_ + x) * 4;
    }

    Failure ReadChunk(std::uint32_t index, void* buffer, tmsize_t size) {
        const char* kind = layout_.tiled ? "tile " : "strip ";
        const std::uint64_t offset = TIFFGetStrileOffset(tiff_, index);
        const std::uint64_t count = TIFFGetStrileByteCount(tiff_, index);
        if (offset > fileSize_ || count > fileSize_ - offset) {
            return Refuse("truncated TIFF: " + (kind + std::to_string(index)));
        }
        const tmsize_t decoded = layout_.tiled ? TIFFReadEncodedTile(tiff_, index, buffer, size)
                                               : TIFFReadEncodedStrip(tiff_, index, buffer, size);
        if (decoded != size) {
            return Refuse("damaged TIFF: " + (kind + std::to_string(index)) + ": " +
                          (libError_.Empty() ? "too short" : libError_.Text()));
        }
        return {};
    }

    Failure CheckChunkCount(std::uint32_t needed) const {
        const std::uint32_t present =
            layout_.tiled ? TIFFNumberOfTiles(tiff_) : TIFFNumberOfStrips(tiff_);
        if (present >= needed) return {};
        return Refuse("damaged TIFF: " + std::to_string(present) + " strips or tiles where " +
                      std::to_string(needed) + " are needed");
    }

    std::uint32_t RowsPerStrip() const { return ::image_files::RowsPerStrip(tiff_, layout_); }

    // Each strip lands at the start of its own rows' RGBA storage (never more bytes than they
    // hold) and is widened in place from its last row up, so no row is overwritten unread.
    // A crop's strips are decoded apart and only their kept part stored.
    Failure ReadContiguousStrips() {
        const std::uint32_t rowsPerStrip = RowsPerStrip();
        const auto scanline = static_cast<std::size_t>(TIFFScanlineSize64(tiff_));
        const std::uint32_t strips = (layout_.height + rowsPerStrip - 1) / rowsPerStrip;
        if (Failure failure = CheckChunkCount(strips)) return failure;
        if (keptWidth_ < layout_.width || keptHeight_ < layout_.height) {
            return ReadCroppedStrips(rowsPerStrip, scanline);
        }
        const bool inPlace =
            layout_.bits == 16 && layout_.colour == Colour::Rgb && layout_.hasAlpha;
        std::vector<std::uint16_t> samples(std::size_t{layout_.width} * layout_.samples);
        for (std::uint32_t strip = 0; strip < strips; ++strip) {
            const std::uint32_t top = strip * rowsPerStrip;
            const std::uint32_t rows = std::min(rowsPerStrip, layout_.height - top);
            auto* region = reinterpret_cast<std::uint8_t*>(PixelAt(0, top));
            if (Failure failure =
                    ReadChunk(strip, region, static_cast<tmsize_t>(rows * scanline))) {
                return failure;
            }
            if (inPlace) continue;  // already 16-bit RGBA
            for (std::uint32_t row = rows; row-- > 0;) {
                UnpackSamples(region + row * scanline, samples.size(), layout_.bits, Scaled(),
                              samples.data());
                StorePixels(samples.data(), layout_.width, layout_, PixelAt(0, top + row));
            }
        }
        return {};
    }

    Failure ReadCroppedStrips(std::uint32_t rowsPerStrip, std::size_t scanline) {
        std::vector<std::uint8_t> chunk(rowsPerStrip * scanline);
        std::vector<std::uint16_t> samples(std::size_t{layout_.width} * layout_.samples);
        for (std::uint32_t strip = 0, top = 0; top < keptHeight_; ++strip, top += rowsPerStrip) {
            const std::uint32_t rows = std::min(rowsPerStrip, layout_.height - top);
            if (Failure failure =
                    ReadChunk(strip, chunk.data(), static_cast<tmsize_t>(rows * scanline))) {
                return failure;
            }
            for (std::uint32_t row = 0; row < std::min(rows, keptHeight_ - top); ++row) {
                UnpackSamples(chunk.data() + row * scanline, samples.size(), layout_.bits, Scaled(),
                              samples.data());
                StorePixels(samples.data(), keptWidth_, layout_, PixelAt(0, top + row));
            }
        }
        return {};
    }

    Failure ReadSeparateStrips() {
        const std::uint32_t rowsPerStrip = RowsPerStrip();
        const auto scanline = static_cast<std::size_t>(TIFFScanlineSize64(tiff_));
        const std::uint32_t stripsPerPlane = (layout_.height + rowsPerStrip - 1) / rowsPerStrip;
        if (Failure failure = CheckChunkCount(stripsPerPlane * layout_.samples)) return failure;
        std::vector<std::uint8_t> chunk(rowsPerStrip * scanline);
        std::vector<std::uint16_t> samples(layout_.width);
        for (int plane = 0; plane < layout_.samples; ++plane) {
            for (std::uint32_t strip = 0; strip * rowsPerStrip < keptHeight_; ++strip) {
                const std::uint32_t top = strip * rowsPerStrip;
                const std::uint32_t rows = std::min(rowsPerStrip, layout_.height - top);
                if (Failure failure = ReadChunk(plane * stripsPerPlane + strip, chunk.data(),
                                                static_cast<tmsize_t>(rows * scanline))) {
                    return failure;
                }
                for (std::uint32_t row = 0; row < std::min(rows, keptHeight_ - top); ++row) {
                    UnpackSamples(chunk.data() + row * scanline, layout_.width, layout_.bits,
                                  Scaled(), samples.data());
                    StorePlane(samples.data(), keptWidth_, plane, layout_, PixelAt(0, top + row));
                }
            }
        }
        return {};
    }

    // A tile's first `rows` rows, which must be what its stored bytes can hold: a tile far
    // larger than its bytes is refused before any of it is decoded.
    Failure ReadTileRows(std::uint32_t index, std::uint8_t* buffer, const TileSize& tile,
                         std::uint32_t rows, std::size_t tileRow) {
        const std::uint64_t wanted = std::uint64_t{rows} * tileRow;
        if (Failure failure = CheckClaimedSize(tile.width, tile.height, wanted,
                                               TIFFGetStrileByteCount(tiff_, index),
                                               CompressionOf(layout_.compression))) {
            return Refuse("damaged TIFF: tile " + std::to_string(index) + " " + failure.reason);
        }
        return ReadChunk(index, buffer, static_cast<tmsize_t>(wanted));
    }

    Failure ReadTiles() {
        const TileSize tileSize = TileSizeOf(tiff_);
        const std::uint32_t tileWidth = tileSize.width;
        const std::uint32_t tileHeight = tileSize.height;
        if (tileWidth == 0 || tileHeight == 0) {
            return Refuse("damaged TIFF: tiles of no size");
        }
        const auto tileRow = static_cast<std::size_t>(TIFFTileRowSize64(tiff_));
        const int planes = layout_.separatePlanes ? layout_.samples : 1;
        const int samplesPerPixel = layout_.separatePlanes ? 1 : layout_.samples;
        if (Failure failure =
                CheckChunkCount(TIFFComputeTile(tiff_, layout_.width - 1, layout_.height - 1, 0,
                                                static_cast<std::uint16_t>(planes - 1)) +
                                1)) {
            return failure;
        }
        std::vector<std::uint8_t> chunk(std::size_t{TileRowsNeeded(tileSize, keptHeight_)} *
                                        tileRow);
        std::vector<std::uint16_t> samples(std::size_t{std::min(tileWidth, layout_.width)} *
                                           samplesPerPixel);
        for (int plane = 0; plane < planes; ++plane) {
            for (std::uint32_t top = 0; top < keptHeight_; top += tileHeight) {
                for (std::uint32_t left = 0; left < keptWidth_; left += tileWidth) {
                    const std::uint32_t tile =
                        TIFFComputeTile(tiff_, left, top, 0, static_cast<std::uint16_t>(plane));
                    const std::uint32_t columns = std::min(tileWidth, keptWidth_ - left);
                    const std::uint32_t rows = std::min(tileHeight, keptHeight_ - top);
                    if (Failure failure =
                            ReadTileRows(tile, chunk.data(), tileSize, rows, tileRow)) {
                        return failure;
                    }
                    for (std::uint32_t row = 0; row < rows; ++row) {
                        UnpackSamples(chunk.data() + row * tileRow,
                                      std::size_t{columns} * samplesPerPixel, layout_.bits,
                                      Scaled(), samples.data());
                        std::uint16_t* out = PixelAt(left, top + row);
                        if (layout_.separatePlanes) {
                            StorePlane(samples.data(), columns, plane, layout_, out);
                        } else {
                            StorePixels(samples.data(), columns, layout_, out);
                        }
                    }
                }
            }
        }
        return {};
    }

    TIFF* tiff_;
    const TiffLayout& layout_;
    std::uint64_t fileSize_;
    FirstError& libError_;
    std::uint16_t* pixels_;
    std::uint32_t keptWidth_;
    std::uint32_t keptHeight_;
};

std::string TextFromTiff(const char* value) {
    return IsUtf8(value) ? std::string(value) : Latin1ToUtf8(value);
}

// TIFF tags holding text, with the PNG keywords they correspond to.
struct TextTag {
    ttag_t tag;
    const char* keyword;
};
constexpr TextTag kTextTags[] = {
    {TIFFTAG_IMAGEDESCRIPTION, "Description"},
    {TIFFTAG_ARTIST, "Author"},
    {TIFFTAG_COPYRIGHT, "Copyright"},
};

void ReadResolution(TIFF* tiff, ImageMetadata& metadata) {
    float x = 0;
    float y = 0;
    std::uint16_t unit = RESUNIT_INCH;
    if (TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &x) == 0 ||
        TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &y) == 0 || !(x > 0 && y > 0)) {
        return;
    }
    TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
    const ResolutionUnit resolutionUnit = unit == RESUNIT_CENTIMETER ? ResolutionUnit::Centimetre
                                          : unit == RESUNIT_NONE     ? ResolutionUnit::None
                                                                     : ResolutionUnit::Inch;
    metadata.resolution = Resolution{x, y, resolutionUnit};
}

void ReadMetadata(TIFF* tiff, const TiffLayout& layout, ImageMetadata& metadata) {
    std::uint32_t profileSize = 0;
    const std::uint8_t* profile = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &profileSize, &profile) != 0 && profileSize > 0) {
        metadata.icc = IccProfile{{}, {profile, profile + profileSize}};
    }
    ReadResolution(tiff, metadata);
    for (const TextTag& text : kTextTags) {
        const char* value = nullptr;
        if (TIFFGetField(tiff, text.tag, &value) != 0 && value != nullptr) {
            metadata.text.push_back({text.keyword, TextFromTiff(value)});
        }
    }
    metadata.associatedAlpha = layout.associatedAlpha;
    metadata.tiffCompression = CompressionOf(layout.compression);
    metadata.pageCount = std::max<tdir_t>(1, TIFFNumberOfDirectories(tiff));
    // libtiff stops counting at its own limit of directories.
    metadata.pageCountAtLeast = metadata.pageCount >= kCountedDirectories;
}

std::uint16_t CompressionTag(TiffCompression compression) {
    switch (compression) {
        case TiffCompression::None:
            return COMPRESSION_NONE;
        case TiffCompression::Lzw:
            return COMPRESSION_LZW;
        case TiffCompression::Deflate:
            return COMPRESSION_ADOBE_DEFLATE;
        case TiffCompression::PackBits:
            return COMPRESSION_PACKBITS;
    }
    return COMPRESSION_NONE;
}

bool SetMetadataTags(TIFF* tiff, const ImageMetadata& metadata) {
    bool ok = true;
    if (const IccProfile* icc = RgbProfile(metadata)) {
        ok &= TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(icc->data.size()),
                           icc->data.data()) != 0;
    }
    if (metadata.resolution && metadata.resolution->x > 0 && metadata.resolution->y > 0) {
        const Resolution resolution = ToTiffResolution(*metadata.resolution);
        const std::uint16_t unit = resolution.unit == ResolutionUnit::Inch   ? RESUNIT_INCH
                                   : resolution.unit == ResolutionUnit::None ? RESUNIT_NONE
                                                                             : RESUNIT_CENTIMETER;
        ok &= TIFFSetField(tiff, TIFFTAG_XRESOLUTION, resolution.x) != 0;
        ok &= TIFFSetField(tiff, TIFFTAG_YRESOLUTION, resolution.y) != 0;
        ok &= TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, unit) != 0;
    }
    for (const TextTag& text : kTextTags) {
        const auto item =
            std::find_if(metadata.text.begin(), metadata.text.end(),
                         [&](const TextItem& t) { return t.keyword == text.keyword; });
        if (item != metadata.text.end()) {
            ok &= TIFFSetField(tiff, text.tag, item->value.c_str()) != 0;
        }
    }
    return ok;
}

bool SetImageTags(TIFF* tiff, const PixelView& pixels, const ImageMetadata& metadata,
                  const EncodeOptions& options, std::uint32_t rowsPerStrip) {
    const std::uint16_t alpha =
        metadata.associatedAlpha ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA;
    const std::uint16_t compression = CompressionTag(options.tiffCompression);
    bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, pixels.width) != 0 &&
              TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, pixels.height) != 0 &&
              TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, options.bitsPerChannel) != 0 &&
              TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 4) != 0 &&
              TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) != 0 &&
              TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) != 0 &&
              TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &alpha) != 0 &&
              TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression) != 0 &&
              TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip) != 0;
    // Differences of neighbours compress far better than smooth values themselves.
    if (ok && (compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE)) {
        ok = TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL) != 0;
    }
    // Deflate by zlib in every build: a libtiff built with libdeflate (Debian's) would take that
    // instead and write other bytes for the same frame than the Windows build's, which has zlib.
    if (ok && compression == COMPRESSION_ADOBE_DEFLATE) {
        ok = TIFFSetField(tiff, TIFFTAG_DEFLATE_SUBCODEC, DEFLATE_SUBCODEC_ZLIB) != 0 &&
             TIFFSetField(tiff, TIFFTAG_ZIPQUALITY, options.tiffDeflateLevel) != 0;
    }
    return ok && SetMetadataTags(tiff, metadata);
}

// Copies (16-bit) or rounds (8-bit) the strip's rows into `strip`, as libtiff may change it.
void FillStrip(const PixelView& pixels, std::uint32_t top, std::uint32_t rows, int bits,
               std::uint8_t* strip) {
    const std::size_t values = std::size_t{pixels.width} * 4;
    for (std::uint32_t row = 0; row < rows; ++row) {
        const std::uint16_t* source = Row(pixels, top + row);
        if (bits == 16) {
            std::memcpy(strip + row * values * 2, source, values * 2);
        } else {
            for (std::size_t i = 0; i < values; ++i) strip[row * values + i] = To8Bit(source[i]);
        }
    }
}

bool WriteStrips(TIFF* tiff, const PixelView& pixels, int bits, std::uint32_t rowsPerStrip) {
    const std::size_t rowBytes = std::size_t{pixels.width} * 4 * (bits / 8);
    std::vector<std::uint8_t> strip(rowsPerStrip * rowBytes);
    for (std::uint32_t top = 0, index = 0; top < pixels.height; top += rowsPerStrip, ++index) {
        const std::uint32_t rows = std::min(rowsPerStrip, pixels.height - top);
        FillStrip(pixels, top, rows, bits, strip.data());
        if (TIFFWriteEncodedStrip(tiff, index, strip.data(),
                                  static_cast<tmsize_t>(rows * rowBytes)) < 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

Failure detail::DecodeTiff(ByteSource& file, const PixelAllocator& allocate,
                           ImageMetadata& metadata, DecodeCrop crop) {
    FirstError libError;
    MemoryFile input{&file};
    const TiffHandle tiff = OpenTiff("r", input, libError);
    if (!tiff) return Refuse(std::string("damaged TIFF: ") + libError.Text());
    TiffLayout layout;
    if (Failure failure = ReadLayout(tiff.get(), layout)) return failure;
    if (Failure failure = CheckDimensions(layout.width, layout.height)) {
        return Refuse("TIFF " + failure.reason);
    }
    if (Failure failure =
            CheckClaimedSize(layout.width, layout.height, ClaimedBytes(tiff.get(), layout),
                             file.Size(), CompressionOf(layout.compression))) {
        return Refuse("damaged TIFF: " + failure.reason);
    }
    const std::uint32_t keptWidth = std::min(layout.width, crop.width);
    const std::uint32_t keptHeight = std::min(layout.height, crop.height);
    std::uint16_t* pixels = AllocatePixels(allocate, keptWidth, keptHeight,
                                           WorkBytes(tiff.get(), layout, keptWidth, keptHeight));
    if (pixels == nullptr) return Refuse("out of memory");
    PixelReader reader(tiff.get(), layout, file.Size(), libError, pixels, keptWidth, keptHeight);
    if (Failure failure = reader.Read()) return failure;
    ReadMetadata(tiff.get(), layout, metadata);
    return {};
}

Failure EncodeTiff(const PixelView& pixels, const ImageMetadata& metadata,
                   const EncodeOptions& options, std::vector<std::uint8_t>& file) {
    file.clear();
    if (Failure failure = CheckEncodeInput(pixels, options)) return failure;
    const std::size_t rowBytes = std::size_t{pixels.width} * 4 * (options.bitsPerChannel / 8);
    const auto rowsPerStrip = static_cast<std::uint32_t>(
        std::clamp<std::size_t>(kStripBytes / rowBytes, 1, pixels.height));
    const bool bigTiff = std::uint64_t{rowBytes} * pixels.height > kClassicTiffLimit;
    FirstError libError;
    MemoryFile output{nullptr, &file};
    bool written = false;
    try {
        file.reserve(rowBytes * pixels.height / 2);
        TiffHandle tiff = OpenTiff(bigTiff ? "w8l" : "wl", output, libError);
        written = tiff && SetImageTags(tiff.get(), pixels, metadata, options, rowsPerStrip) &&
                  WriteStrips(tiff.get(), pixels, options.bitsPerChannel, rowsPerStrip) &&
                  TIFFWriteDirectory(tiff.get()) != 0;
    } catch (const std::bad_alloc&) {
        libError.Record("out of memory");
    }
    if (written) return {};
    file.clear();
    return {FailureCode::NotWritten,
            std::string("TIFF: ") + (libError.Empty() ? "libtiff failed" : libError.Text())};
}

}  // namespace image_files
