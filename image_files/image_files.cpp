#include "image_files/image_files.h"

#include <png.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>

#include "image_files/codec_support.h"
#include "image_library_sources.h"

namespace image_files {

namespace {

constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint8_t kTiffSignatures[][4] = {
    {'I', 'I', 42, 0},
    {'M', 'M', 0, 42},  // classic
    {'I', 'I', 43, 0},
    {'M', 'M', 0, 43},  // BigTIFF
};

bool StartsWith(std::span<const std::uint8_t> file, std::span<const std::uint8_t> prefix) {
    return file.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), file.begin());
}

// "4.5.0" from libtiff's "LIBTIFF, Version 4.5.0\nCopyright ...".
std::string TiffVersion() {
    const std::string text = TIFFGetVersion();
    const std::size_t start = text.find("Version ");
    if (start == std::string::npos) return text.substr(0, text.find('\n'));
    const std::size_t from = start + 8;
    return text.substr(from, text.find('\n', from) - from);
}

}  // namespace

std::string LibraryVersions() {
    std::string text = std::string("libpng ") + png_get_libpng_ver(nullptr) + ", libtiff " +
                       TiffVersion() + ", zlib " + zlibVersion();
    const std::string sources = BRAIDEL_IMAGE_LIBRARY_SOURCES;
    return sources.empty() ? text : text + " (built from " + sources + ")";
}

std::optional<FileFormat> DetectFormat(std::span<const std::uint8_t> file) {
    if (StartsWith(file, kPngSignature)) return FileFormat::Png;
    for (const auto& signature : kTiffSignatures) {
        if (StartsWith(file, signature)) return FileFormat::Tiff;
    }
    return std::nullopt;
}

std::size_t MemorySource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) {
    if (offset >= file_.size()) return 0;
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), file_.size() - offset));
    std::copy_n(file_.begin() + static_cast<std::ptrdiff_t>(offset), count, bytes.begin());
    return count;
}

Failure DecodeImage(ByteSource& file, const PixelAllocator& allocate, ImageMetadata& metadata,
                    DecodeCrop crop) {
    metadata = {};
    std::uint8_t start[8] = {};
    const std::size_t got = file.ReadAt(0, start);
    const std::optional<FileFormat> format = DetectFormat(std::span(start, got));
    if (!format) return {FailureCode::BadInput, "not a PNG or TIFF file"};
    metadata.sourceFormat = *format;
    return *format == FileFormat::Png ? detail::DecodePng(file, allocate, metadata, crop)
                                      : detail::DecodeTiff(file, allocate, metadata, crop);
}

Failure DecodeImage(std::span<const std::uint8_t> file, const PixelAllocator& allocate,
                    ImageMetadata& metadata, DecodeCrop crop) {
    MemorySource source(file);
    return DecodeImage(source, allocate, metadata, crop);
}

}  // namespace image_files
