#pragma once

// PNG and TIFF files in memory to and from 16-bit RGBA, with their colour, resolution and text
// metadata. The caller reads the file and writes the produced bytes itself. No colour management,
// gamma or premultiplication is ever applied: pixel values are taken and written as stored.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/failure.h"

namespace image_files {

enum class FileFormat { Png, Tiff };

// The compressions TIFF files are read and written with.
enum class TiffCompression { None, Lzw, Deflate, PackBits };

enum class ResolutionUnit { None, Inch, Centimetre, Metre };

// Pixels per unit as the file stores them: PNG pHYs gives whole pixels per metre (or an aspect
// ratio with unit None), TIFF a rational per inch or centimetre. Writers convert: metre and
// centimetre into each other exactly, inch to PNG's per-metre rounded to the nearest integer.
struct Resolution {
    double x = 0;
    double y = 0;
    ResolutionUnit unit = ResolutionUnit::None;
};

struct IccProfile {
    std::string name;  // PNG's profile name; TIFF has none
    std::vector<std::uint8_t> data;
};

// A text item. TIFF's ImageDescription, Artist and Copyright are the PNG keywords
// "Description", "Author" and "Copyright"; other keywords exist in PNG only.
struct TextItem {
    std::string keyword;
    std::string value;        // UTF-8
    bool compressed = false;  // PNG zTXt or compressed iTXt; written back compressed
};

// Text a PNG file may carry: each item at most kTextItemLimit bytes once inflated, and all items
// together at most kTextFileLimit. Items past either are left out (with a note), counted as they
// inflate, so that no file can make the codec hold more.
constexpr std::size_t kTextItemLimit = std::size_t{1} << 20;
constexpr std::size_t kTextFileLimit = std::size_t{8} << 20;

struct ImageMetadata {
    std::optional<IccProfile> icc;
    // PNG's colour chunks as stored (TIFF has no place for them; TIFF output leaves them out).
    std::optional<std::uint32_t> pngGamma;                          // gAMA: gamma x 100000
    std::optional<std::array<std::uint32_t, 8>> pngChromaticities;  // cHRM: white, red, green,
                                                                    // blue x/y, x 100000
    std::optional<std::uint8_t> pngSrgbIntent;                      // sRGB rendering intent 0..3
    std::optional<Resolution> resolution;
    std::vector<TextItem> text;
    // The alpha values are premultiplied (TIFF "associated alpha"). Stored values pass through
    // unchanged either way; PNG cannot say so.
    bool associatedAlpha = false;

    // Set by decoding only.
    FileFormat sourceFormat = FileFormat::Png;
    std::optional<TiffCompression> tiffCompression;
    std::uint32_t pageCount = 1;     // TIFF: directories in the file; the first is decoded
    bool pageCountAtLeast = false;   // the file has more directories than are counted
    std::vector<std::string> notes;  // what the decode left out, one line each
};

// Storage for width x height pixels of 4 native-endian uint16 (R, G, B, A), rows top to bottom
// without padding; nullptr when it cannot be had. Called once, after the size checks, and told
// how many bytes of its own the decode holds beside the pixels until it returns (`workBytes`:
// row and tile buffers), so that a caller with a memory bound can count them too.
using PixelAllocator = std::function<std::uint16_t*(std::uint32_t width, std::uint32_t height,
                                                    std::uint64_t workBytes)>;

constexpr std::uint32_t kMaxDimension = 65535;

// The part of an image a decode keeps: its first `height` rows and `width` columns (all of a
// smaller image). Only those rows are decoded where the file allows, and only they are stored.
struct DecodeCrop {
    std::uint32_t width = kMaxDimension;
    std::uint32_t height = kMaxDimension;
};

std::optional<FileFormat> DetectFormat(std::span<const std::uint8_t> file);

// A file a decode reads, at any offset: held in memory, or read from disk as the decode needs
// it, so that a crop of a large file reads and holds only the parts it needs.
class ByteSource {
  public:
    virtual std::uint64_t Size() const = 0;
    // Reads into `bytes` from `offset`: the count read, short only at the end of the file or
    // when the read fails.
    virtual std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) = 0;
    // The whole file when it is in memory, which libtiff then reads in place; empty otherwise.
    virtual std::span<const std::uint8_t> InMemory() const { return {}; }

  protected:
    ~ByteSource() = default;
};

// A file in memory.
class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::span<const std::uint8_t> file) : file_(file) {}

    std::uint64_t Size() const override { return file_.size(); }
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) override;
    std::span<const std::uint8_t> InMemory() const override { return file_; }

  private:
    std::span<const std::uint8_t> file_;
};

// The libraries the codec runs on, as they report their versions, and the source packages they
// were built from when the build knows them: "libpng 1.6.39, libtiff 4.5.0, zlib 1.2.13 (built
// from libpng1.6 1.6.39-2+deb12u5, tiff 4.5.0-6+deb12u4, libz-mingw-w64-dev 1.2.13+dfsg-1)".
std::string LibraryVersions();

// Decodes the first image of a PNG or TIFF file into 16-bit RGBA: 8-bit values times 257, 1- to
// 4-bit grey scaled to the full range, grey copied into R, G and B, palettes looked up exactly, a
// missing alpha 65535. Refuses (one line in `error`) other sample types, damaged files, and
// sizes above kMaxDimension or beyond what the file's bytes can hold, before allocating: a
// FailureCode::BadInput failure whose reason says what is wrong.
Failure DecodeImage(ByteSource& file, const PixelAllocator& allocate, ImageMetadata& metadata,
                    DecodeCrop crop = {});
Failure DecodeImage(std::span<const std::uint8_t> file, const PixelAllocator& allocate,
                    ImageMetadata& metadata, DecodeCrop crop = {});

struct PixelView {
    const std::uint16_t* rgba = nullptr;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t rowPixels = 0;  // distance between rows in pixels; 0 means width
};

enum class PngFilter { None, Sub, Up, Average, Paeth, Adaptive };

// Defaults measured on a smooth, noisy 3840 x 2160 16-bit RGBA frame: PNG level 1 with the Up
// filter writes it in 1.2 s at 45.7 MB, against 9.9 s and 41.8 MB for level 6 with Paeth (and
// 1.5 s at 45.2 MB for level 2); TIFF Deflate level 1 with the predictor, 0.6 s at 42.9 MB.
struct EncodeOptions {
    int bitsPerChannel = 16;  // 16, or 8 (each value rounded to the nearest 8-bit value)
    int pngLevel = 1;         // zlib level 0..9
    PngFilter pngFilter = PngFilter::Up;
    TiffCompression tiffCompression = TiffCompression::Deflate;  // LZW and Deflate predict
    int tiffDeflateLevel = 1;                                    // zlib level 1..9
};

// Encode RGBA as PNG or TIFF with the metadata that the format holds. The same pixels, metadata
// and options always give the same bytes. An ICC profile for anything but RGB is left out (the
// output is RGB). A failure is FailureCode::NotWritten, with the reason. PNG leaves out a
// profile that libpng finds malformed, and says so in `notes`.
Failure EncodePng(const PixelView& pixels, const ImageMetadata& metadata,
                  const EncodeOptions& options, std::vector<std::uint8_t>& file,
                  std::vector<std::string>* notes = nullptr);
Failure EncodeTiff(const PixelView& pixels, const ImageMetadata& metadata,
                   const EncodeOptions& options, std::vector<std::uint8_t>& file);

}  // namespace image_files
