// PNG through libpng. libpng reports errors by longjmp back to the function that called setjmp,
// so every function that calls setjmp holds nothing that needs destroying, and the C++ objects
// the file needs (rows, texts, buffers) are made before and live in the caller's frame.

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstring>
#include <string_view>
#include <vector>

#include "image_files/codec_support.h"

namespace image_files {

using namespace detail;

namespace {

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// gAMA, cHRM and sRGB are read and written as raw chunks: libpng's colour-space checks then
// neither drop nor derive any of them, so they pass through exactly as stored.
constexpr png_byte kColourChunks[] = "gAMA\0cHRM\0sRGB";
constexpr int kColourChunkCount = 3;
// Text chunks are read by the codec itself, within its limits, and never by libpng, which would
// inflate every one of them whole.
constexpr png_byte kTextChunks[] = "tEXt\0zTXt\0iTXt";
constexpr int kTextChunkCount = 3;

const char* const kDefaultProfileName = "ICC profile";

// What libpng's callbacks report back.
struct PngContext {
    FirstError error;
    FirstError warning;
    bool truncated = false;
    bool profileLeftOut = false;
};

PngContext& ContextOf(png_structp png) {
    return *static_cast<PngContext*>(png_get_error_ptr(png));
}

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
    ContextOf(png).error.Record(message);
    png_longjmp(png, 1);
}

// Warnings are kept for the one case where they explain a failure (a rejected profile).
void OnPngWarning(png_structp png, png_const_charp message) {
    ContextOf(png).warning.Record(message);
}

// libpng reads the file from its start, through its source.
struct SourceReader {
    ByteSource& file;
    std::uint64_t offset = 0;
};

void ReadBytes(png_structp png, png_bytep out, std::size_t length) {
    auto& reader = *static_cast<SourceReader*>(png_get_io_ptr(png));
    if (reader.file.ReadAt(reader.offset, {out, length}) != length) {
        ContextOf(png).truncated = true;
        png_error(png, "file ends early");
    }
    reader.offset += length;
}

struct MemoryWriter {
    std::vector<std::uint8_t>* file;
};

void WriteBytes(png_structp png, png_bytep data, std::size_t length) {
    auto& writer = *static_cast<MemoryWriter*>(png_get_io_ptr(png));
    bool stored = true;
    try {
        writer.file->insert(writer.file->end(), data, data + length);
    } catch (...) {
        stored = false;
    }
    if (!stored) png_error(png, "out of memory");
}

void FlushNothing(png_structp) {}

enum class PngDirection { Read, Write };

// libpng's structure for reading or writing and its info structure, made and destroyed together.
template <PngDirection direction>
class PngStructs {
  public:
    explicit PngStructs(PngContext& context)
        : png_(Create(context)), info_(png_ != nullptr ? png_create_info_struct(png_) : nullptr) {}
    ~PngStructs() {
        if constexpr (direction == PngDirection::Read) {
            png_destroy_read_struct(&png_, &info_, nullptr);
        } else {
            png_destroy_write_struct(&png_, &info_);
        }
    }
    PngStructs(const PngStructs&) = delete;
    PngStructs& operator=(const PngStructs&) = delete;
    bool Ok() const { return info_ != nullptr; }
    png_structp Png() const { return png_; }
    png_infop Info() const { return info_; }

  private:
    static png_structp Create(PngContext& context) {
        if constexpr (direction == PngDirection::Read) {
            return png_create_read_struct(PNG_LIBPNG_VER_STRING, &context, OnPngError,
                                          OnPngWarning);
        } else {
            return png_create_write_struct(PNG_LIBPNG_VER_STRING, &context, OnPngError,
                                           OnPngWarning);
        }
    }

    png_structp png_;
    png_infop info_;
};
using PngRead = PngStructs<PngDirection::Read>;
using PngWrite = PngStructs<PngDirection::Write>;

bool ReadHeader(png_structp png, png_infop info, SourceReader* reader) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, reader, ReadBytes);
    // Sizes are judged by the caller's own limit and message.
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_set_option(png, PNG_SKIP_sRGB_CHECK_PROFILE, PNG_OPTION_ON);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, kColourChunks, kColourChunkCount);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kTextChunks, kTextChunkCount);
    png_read_info(png, info);
    return true;
}

// Every colour type and depth becomes 16-bit RGBA in native byte order: palettes and tRNS
// expanded, low-depth grey scaled to the full range, 8-bit replicated (v * 257). No gamma.
bool ExpandToRgba16(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_expand(png);
    png_set_expand_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);
    if (kLittleEndian) png_set_swap(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

// The first rows of a file without interlacing, each decoded into `wide` (a whole row) and its
// first `width` pixels kept; the rest of the file is never decoded.
bool ReadFirstRows(png_structp png, std::uint32_t width, std::uint32_t rows, png_bytep wide,
                   std::uint16_t* pixels) {
    if (setjmp(png_jmpbuf(png))) return false;
    for (std::uint32_t y = 0; y < rows; ++y) {
        png_read_row(png, wide, nullptr);
        std::memcpy(pixels + std::size_t{y} * width * 4, wide, std::size_t{width} * 8);
    }
    return true;
}

bool ReadPixels(png_structp png, png_infop info, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, info);  // text after the pixels, and the check that the file is whole
    return true;
}

std::string ReadFailure(png_structp png, const PngContext& context) {
    if (!context.truncated) return std::string("damaged PNG: ") + context.error.Text();
    const png_uint_32 chunk = png_get_io_chunk_type(png);
    if (chunk == 0) return "truncated PNG";
    const char name[] = {static_cast<char>(chunk >> 24), static_cast<char>(chunk >> 16),
                         static_cast<char>(chunk >> 8), static_cast<char>(chunk), '\0'};
    return std::string("truncated PNG: file ends in ") + name;
}

std::uint32_t BigEndian32(const png_byte* bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | bytes[3];
}

void StoreBigEndian32(std::uint32_t value, png_byte* bytes) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<png_byte>(value >> (24 - 8 * i));
}

void ReadColourChunks(png_structp png, png_infop info, ImageMetadata& metadata) {
    png_unknown_chunkp chunks = nullptr;
    const int count = png_get_unknown_chunks(png, info, &chunks);
    for (int i = 0; i < count; ++i) {
        const png_unknown_chunk& chunk = chunks[i];
        const auto* name = reinterpret_cast<const char*>(chunk.name);
        if (std::memcmp(name, "gAMA", 4) == 0 && chunk.size == 4 && !metadata.pngGamma) {
            const std::uint32_t gamma = BigEndian32(chunk.data);
            if (gamma != 0) metadata.pngGamma = gamma;
        } else if (std::memcmp(name, "cHRM", 4) == 0 && chunk.size == 32 &&
                   !metadata.pngChromaticities) {
            std::array<std::uint32_t, 8> values{};
            for (int k = 0; k < 8; ++k) values[k] = BigEndian32(chunk.data + 4 * k);
            metadata.pngChromaticities = values;
        } else if (std::memcmp(name, "sRGB", 4) == 0 && chunk.size == 1 && chunk.data[0] < 4 &&
                   !metadata.pngSrgbIntent) {
            metadata.pngSrgbIntent = chunk.data[0];
        }
    }
}

// zlib data inflated while it stays within `limit` bytes; nothing when it is damaged or would
// grow past the limit (inflating stops there, and `tooLarge` says so).
std::optional<std::string> InflateWithin(std::string_view data, std::size_t limit, bool& tooLarge) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return std::nullopt;
    std::string out;
    char buffer[16384];
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    int result = Z_OK;
    while (result == Z_OK && out.size() <= limit) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
        if (result == Z_BUF_ERROR && stream.avail_in == 0) break;  // the data ends early
    }
    inflateEnd(&stream);
    tooLarge = out.size() > limit;
    if (result != Z_STREAM_END || tooLarge) return std::nullopt;
    return out;
}

// The text fields a chunk's data holds, split at NULs: `count` fields, the last running to the
// end. Nothing when there are fewer.
std::optional<std::vector<std::string_view>> SplitFields(std::string_view data, int count) {
    std::vector<std::string_view> fields;
    for (int i = 0; i + 1 < count; ++i) {
        const std::size_t end = data.find('\0');
        if (end == std::string_view::npos) return std::nullopt;
        fields.push_back(data.substr(0, end));
        data.remove_prefix(end + 1);
    }
    fields.push_back(data);
    return fields;
}

// One text chunk's item, its value inflated within `limit`; nothing when it is damaged or
// larger than the limit (`tooLarge`).
std::optional<TextItem> ParseTextChunk(std::string_view type, std::string_view data,
                                       std::size_t limit, bool& tooLarge) {
    tooLarge = false;
    if (type == "tEXt") {
        const auto fields = SplitFields(data, 2);
        tooLarge = fields && (*fields)[1].size() > limit;
        if (!fields || tooLarge) return std::nullopt;
        return TextItem{Latin1ToUtf8((*fields)[0]), Latin1ToUtf8((*fields)[1]), false};
    }
    if (type == "zTXt") {
        const auto fields = SplitFields(data, 2);
        if (!fields || (*fields)[1].empty() || (*fields)[1][0] != 0) return std::nullopt;
        const auto value = InflateWithin((*fields)[1].substr(1), limit, tooLarge);
        if (!value) return std::nullopt;
        return TextItem{Latin1ToUtf8((*fields)[0]), Latin1ToUtf8(*value), true};
    }
    // iTXt: keyword, compression flag and method, language, translated keyword, UTF-8 text.
    const auto head = SplitFields(data, 2);
    if (!head || (*head)[1].size() < 2) return std::nullopt;
    const bool compressed = (*head)[1][0] != 0;
    const auto rest = SplitFields((*head)[1].substr(2), 3);
    if (!rest) return std::nullopt;
    const std::string_view text = (*rest)[2];
    tooLarge = !compressed && text.size() > limit;
    std::optional<std::string> value =
        compressed ? InflateWithin(text, limit, tooLarge)
                   : (tooLarge ? std::nullopt : std::optional<std::string>(text));
    if (!value || !IsUtf8(*value) || !IsUtf8((*rest)[1])) return std::nullopt;
    return TextItem{Latin1ToUtf8((*head)[0]), std::move(*value), compressed};
}

// Stored text past this is never read: even compressed, it holds more than all text may take.
constexpr std::uint32_t kStoredTextLimit = kTextFileLimit + (std::uint32_t{1} << 20);

// The file's text chunks, in file order, within kTextItemLimit each and kTextFileLimit in all;
// those beyond are left out with one note, and damaged ones quietly, as libpng leaves them.
// Each chunk's header is read where it starts, and only text chunks' data.
void ReadText(ByteSource& file, ImageMetadata& metadata) {
    std::size_t total = 0;
    int leftOut = 0;
    std::string data;
    const std::uint64_t size = file.Size();
    for (std::uint64_t at = 8; at + 12 <= size;) {
        png_byte head[8];
        if (file.ReadAt(at, head) != sizeof head) break;
        const std::uint32_t length = BigEndian32(head);
        if (length > size - at - 12) break;
        const std::string type(reinterpret_cast<const char*>(head + 4), 4);
        const std::uint64_t dataAt = at + 8;
        at += 12 + std::uint64_t{length};
        if (type == "IEND") break;
        if (type != "tEXt" && type != "zTXt" && type != "iTXt") continue;
        if (length > kStoredTextLimit) {
            ++leftOut;
            continue;
        }
        data.resize(length);
        if (file.ReadAt(dataAt, {reinterpret_cast<std::uint8_t*>(data.data()), length}) != length) {
            break;
        }
        const std::size_t room = std::min(kTextItemLimit, kTextFileLimit - total);
        bool tooLarge = false;
        const std::optional<TextItem> item = ParseTextChunk(type, data, room, tooLarge);
        if (!item) {
            leftOut += tooLarge;
            continue;
        }
        total += item->value.size();
        metadata.text.push_back(std::move(*item));
    }
    if (leftOut > 0) {
        metadata.notes.push_back(std::to_string(leftOut) +
                                 " text chunk(s) left out: beyond the 1 MiB a text may take or "
                                 "the 8 MiB all text may take");
    }
}

void ReadMetadata(png_structp png, png_infop info, ByteSource& file, ImageMetadata& metadata) {
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length) != 0) {
        metadata.icc = IccProfile{name, {profile, profile + length}};
    }
    ReadColourChunks(png, info, metadata);
    png_uint_32 x = 0;
    png_uint_32 y = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &x, &y, &unit) != 0 && x != 0 && y != 0) {
        metadata.resolution =
            Resolution{static_cast<double>(x), static_cast<double>(y),
                       unit == PNG_RESOLUTION_METER ? ResolutionUnit::Metre : ResolutionUnit::None};
    }
    ReadText(file, metadata);
}

// Everything one encode needs, prepared before libpng runs.
struct WriteJob {
    const PixelView* pixels;
    int bits;
    int level;
    int filters;
    const IccProfile* icc;
    const char* iccName;
    const png_text* texts;
    int textCount;
    const png_unknown_chunk* chunks;
    int chunkCount;
    bool hasPhys;
    PngPhys phys;
    std::uint8_t* narrowRow;  // width * 4 bytes for 8-bit output
    MemoryWriter* writer;
};

void NarrowRow(const std::uint16_t* row, std::uint32_t width, std::uint8_t* out) {
    for (std::size_t i = 0; i < std::size_t{width} * 4; ++i) out[i] = To8Bit(row[i]);
}

void SetHeaderAndMetadata(png_structp png, png_infop info, const WriteJob& job) {
    png_set_IHDR(png, info, job.pixels->width, job.pixels->height, job.bits,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (job.icc != nullptr) {
        // A profile libpng finds malformed is left out (its check warns instead of failing the
        // file while benign errors are allowed).
        png_set_benign_errors(png, 1);
        png_set_iCCP(png, info, job.iccName, PNG_COMPRESSION_TYPE_BASE, job.icc->data.data(),
                     static_cast<png_uint_32>(job.icc->data.size()));
        png_set_benign_errors(png, 0);
        ContextOf(png).profileLeftOut = png_get_valid(png, info, PNG_INFO_iCCP) == 0;
    }
    if (job.hasPhys) png_set_pHYs(png, info, job.phys.x, job.phys.y, job.phys.unit);
    if (job.textCount > 0) png_set_text(png, info, job.texts, job.textCount);
    if (job.chunkCount > 0) {
        png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, kColourChunks, kColourChunkCount);
        png_set_unknown_chunks(png, info, job.chunks, job.chunkCount);
    }
}

bool WritePngFile(png_structp png, png_infop info, const WriteJob& job) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, job.writer, WriteBytes, FlushNothing);
    png_set_option(png, PNG_SKIP_sRGB_CHECK_PROFILE, PNG_OPTION_ON);
    png_set_compression_level(png, job.level);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, job.filters);
    // Large IDAT chunks: fewer chunk headers and zlib calls.
    png_set_compression_buffer_size(png, 256 * 1024);
    SetHeaderAndMetadata(png, info, job);
    png_write_info(png, info);
    if (job.bits == 16 && kLittleEndian) png_set_swap(png);
    for (std::uint32_t y = 0; y < job.pixels->height; ++y) {
        const std::uint16_t* row = Row(*job.pixels, y);
        if (job.bits == 16) {
            png_write_row(png, reinterpret_cast<png_const_bytep>(row));
        } else {
            NarrowRow(row, job.pixels->width, job.narrowRow);
            png_write_row(png, job.narrowRow);
        }
    }
    png_write_end(png, nullptr);
    return true;
}

int FilterMask(PngFilter filter) {
    switch (filter) {
        case PngFilter::None:
            return PNG_FILTER_NONE;
        case PngFilter::Sub:
            return PNG_FILTER_SUB;
        case PngFilter::Up:
            return PNG_FILTER_UP;
        case PngFilter::Average:
            return PNG_FILTER_AVG;
        case PngFilter::Paeth:
            return PNG_FILTER_PAETH;
        case PngFilter::Adaptive:
            return PNG_ALL_FILTERS;
    }
    return PNG_FILTER_NONE;
}

// libpng writes a keyword (a text's or the profile's name) that has a printable Latin-1
// character, dropping or replacing the others, and fails the whole file on any other. Damaged
// files can carry such names, which name nothing: they are left out.
bool WritableKeyword(std::string_view latin1) {
    for (const char c : latin1) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte > 32 && byte <= 126) || byte >= 161) return true;
    }
    return false;
}

// The texts as libpng takes them: pure ASCII as tEXt, anything else as UTF-8 iTXt. The
// strings they point into live in `storage`.
Failure PrepareTexts(const ImageMetadata& metadata, std::vector<std::string>& storage,
                     std::vector<png_text>& texts) {
    storage.reserve(metadata.text.size());
    for (const TextItem& item : metadata.text) {
        std::optional<std::string> keyword = Utf8ToLatin1(item.keyword);
        if (!keyword) {
            return {FailureCode::NotWritten,
                    "text keyword \"" + item.keyword + "\" cannot be written in PNG"};
        }
        if (!WritableKeyword(*keyword)) continue;
        storage.push_back(std::move(*keyword));
        png_text text{};
        const bool ascii = IsAscii(item.value);
        text.compression =
            ascii ? (item.compressed ? PNG_TEXT_COMPRESSION_zTXt : PNG_TEXT_COMPRESSION_NONE)
                  : (item.compressed ? PNG_ITXT_COMPRESSION_zTXt : PNG_ITXT_COMPRESSION_NONE);
        text.key = storage.back().data();
        text.text = const_cast<char*>(item.value.c_str());
        text.text_length = ascii ? item.value.size() : 0;
        text.itxt_length = ascii ? 0 : item.value.size();
        text.lang = const_cast<char*>("");
        text.lang_key = const_cast<char*>("");
        texts.push_back(text);
    }
    return {};
}

struct ColourChunkData {
    std::array<png_byte, 4> gamma{};
    std::array<png_byte, 32> chromaticities{};
    png_byte intent = 0;
};

std::vector<png_unknown_chunk> PrepareColourChunks(const ImageMetadata& metadata,
                                                   ColourChunkData& data) {
    std::vector<png_unknown_chunk> chunks;
    auto add = [&](const char* name, png_byte* bytes, std::size_t size) {
        png_unknown_chunk chunk{};
        std::memcpy(chunk.name, name, 5);
        chunk.data = bytes;
        chunk.size = size;
        chunk.location = PNG_HAVE_IHDR;  // before PLTE and IDAT, where they belong
        chunks.push_back(chunk);
    };
    if (metadata.pngGamma) {
        StoreBigEndian32(*metadata.pngGamma, data.gamma.data());
        add("gAMA", data.gamma.data(), data.gamma.size());
    }
    if (metadata.pngChromaticities) {
        for (int k = 0; k < 8; ++k) {
            StoreBigEndian32((*metadata.pngChromaticities)[k], data.chromaticities.data() + 4 * k);
        }
        add("cHRM", data.chromaticities.data(), data.chromaticities.size());
    }
    if (metadata.pngSrgbIntent) {
        data.intent = *metadata.pngSrgbIntent;
        add("sRGB", &data.intent, 1);
    }
    return chunks;
}

}  // namespace

Failure detail::DecodePng(ByteSource& file, const PixelAllocator& allocate, ImageMetadata& metadata,
                          DecodeCrop crop) {
    auto refuse = [](std::string why) { return Failure{FailureCode::BadInput, std::move(why)}; };
    PngContext context;
    PngRead read(context);
    if (!read.Ok()) return refuse("out of memory");
    png_structp png = read.Png();
    png_infop info = read.Info();
    SourceReader reader{file};
    if (!ReadHeader(png, info, &reader)) return refuse(ReadFailure(png, context));
    const std::uint32_t width = png_get_image_width(png, info);
    const std::uint32_t height = png_get_image_height(png, info);
    if (Failure failure = CheckDimensions(width, height)) return refuse("PNG " + failure.reason);
    const std::uint64_t rowBytes =
        (std::uint64_t{width} * png_get_channels(png, info) * png_get_bit_depth(png, info) + 7) / 8;
    if (Failure failure = CheckClaimedSize(width, height, height * (rowBytes + 1), file.Size(),
                                           TiffCompression::Deflate)) {
        return refuse("damaged PNG: " + failure.reason);
    }
    if (!ExpandToRgba16(png, info)) return refuse(ReadFailure(png, context));
    if (png_get_rowbytes(png, info) != std::size_t{width} * 8) {
        return refuse("PNG layout not supported");
    }
    const std::uint32_t keptWidth = std::min(width, crop.width);
    const std::uint32_t keptHeight = std::min(height, crop.height);
    const bool whole = keptWidth == width && keptHeight == height;
    const bool interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    // Cropped, the kept rows are decoded whole first: one at a time, or with interlacing,
    // which fills every row in seven passes, all of them.
    const std::size_t wideRows = whole ? 0 : interlaced ? keptHeight + 1 : 1;
    // Row pointers, libpng's rows of the file's own layout (the row and the row before it),
    // and the whole rows of a crop.
    const std::uint64_t work = std::uint64_t{height} * sizeof(png_bytep) + 2 * (rowBytes + 1) +
                               std::uint64_t{wideRows} * width * 8;
    std::uint16_t* pixels = AllocatePixels(allocate, keptWidth, keptHeight, work);
    std::vector<png_bytep> rows;
    std::vector<std::uint16_t> wide;
    try {
        if (pixels != nullptr) rows.resize(height);
        if (pixels != nullptr) wide.resize(wideRows * width * 4);
    } catch (...) {
        pixels = nullptr;
    }
    if (pixels == nullptr) return refuse("out of memory");
    if (!whole && !interlaced) {
        if (!ReadFirstRows(png, keptWidth, keptHeight, reinterpret_cast<png_bytep>(wide.data()),
                           pixels)) {
            return refuse(ReadFailure(png, context));
        }
        ReadMetadata(png, info, file, metadata);
        return {};
    }
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint16_t* row = whole ? pixels + std::size_t{y} * width * 4
                                   : wide.data() + std::size_t{std::min(y, keptHeight)} * width * 4;
        rows[y] = reinterpret_cast<png_bytep>(row);
    }
    if (!ReadPixels(png, info, rows.data())) return refuse(ReadFailure(png, context));
    for (std::uint32_t y = 0; !whole && y < keptHeight; ++y) {
        std::memcpy(pixels + std::size_t{y} * keptWidth * 4, rows[y], std::size_t{keptWidth} * 8);
    }
    ReadMetadata(png, info, file, metadata);
    return {};
}

Failure EncodePng(const PixelView& pixels, const ImageMetadata& metadata,
                  const EncodeOptions& options, std::vector<std::uint8_t>& file,
                  std::vector<std::string>* notes) {
    auto notWritten = [](std::string why) {
        return Failure{FailureCode::NotWritten, "PNG: " + std::move(why)};
    };
    file.clear();
    if (Failure failure = CheckEncodeInput(pixels, options)) return failure;
    std::vector<std::string> textStorage;
    std::vector<png_text> texts;
    ColourChunkData chunkData;
    std::vector<png_unknown_chunk> chunks;
    std::vector<std::uint8_t> narrowRow;
    try {
        if (Failure failure = PrepareTexts(metadata, textStorage, texts)) return failure;
        chunks = PrepareColourChunks(metadata, chunkData);
        if (options.bitsPerChannel == 8) narrowRow.resize(std::size_t{pixels.width} * 4);
        // Room for a typical result, so that the file is rarely copied while it grows.
        file.reserve(std::size_t{pixels.width} * pixels.height * 4);
    } catch (...) {
        return notWritten("out of memory");
    }
    PngContext context;
    PngWrite write(context);
    if (!write.Ok()) return notWritten("out of memory");
    const IccProfile* icc = RgbProfile(metadata);
    const std::optional<PngPhys> phys =
        metadata.resolution ? ToPngPhys(*metadata.resolution) : std::nullopt;
    MemoryWriter writer{&file};
    const WriteJob job{
        &pixels,
        options.bitsPerChannel,
        options.pngLevel,
        FilterMask(options.pngFilter),
        icc,
        icc != nullptr && WritableKeyword(icc->name) ? icc->name.c_str() : kDefaultProfileName,
        texts.data(),
        static_cast<int>(texts.size()),
        chunks.data(),
        static_cast<int>(chunks.size()),
        phys.has_value(),
        phys.value_or(PngPhys{}),
        narrowRow.data(),
        &writer};
    if (WritePngFile(write.Png(), write.Info(), job)) {
        if (context.profileLeftOut && notes != nullptr) {
            notes->push_back(
                std::string("the ICC profile was left out: ") +
                (context.warning.Empty() ? "libpng rejects it" : context.warning.Text()));
        }
        return {};
    }
    file.clear();
    return notWritten(context.error.Text());
}

}  // namespace image_files
