#include "image_files/codec_support.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>

namespace image_files::detail {

namespace {

// The most raw bytes one packed byte can become. PackBits: a two-byte run gives 128 bytes.
// Deflate: a 258-byte match costs at least two bits. LZW (TIFF, 9- to 12-bit codes, cleared
// when the table is full): a run of one byte value reaches about 1363:1.
std::uint64_t MaxRatio(TiffCompression compression) {
    switch (compression) {
        case TiffCompression::None:
            return 1;
        case TiffCompression::PackBits:
            return 64;
        case TiffCompression::Deflate:
            return 1032;
        case TiffCompression::Lzw:
            return 1400;
    }
    return 1;
}

// Headers, block and stream framing: below this nothing is refused.
constexpr std::uint64_t kSlackBytes = 64 * 1024;

constexpr double kMaxPhys = 2147483647.0;

bool Integral(double value) {
    return std::fabs(value - std::round(value)) < 1e-9 * std::max(1.0, std::fabs(value));
}

std::optional<PngPhys> PhysFrom(double x, double y, int unit) {
    const double roundedX = std::round(x);
    const double roundedY = std::round(y);
    if (!(roundedX >= 1 && roundedY >= 1 && roundedX <= kMaxPhys && roundedY <= kMaxPhys)) {
        return std::nullopt;
    }
    return PngPhys{static_cast<std::uint32_t>(roundedX), static_cast<std::uint32_t>(roundedY),
                   unit};
}

// An aspect ratio in whole numbers: decimal places shifted out, then reduced.
std::optional<PngPhys> AspectRatio(double x, double y) {
    double scale = 1;
    while (scale < 1e6 && !(Integral(x * scale) && Integral(y * scale))) scale *= 10;
    std::optional<PngPhys> phys = PhysFrom(x * scale, y * scale, 0);
    if (phys) {
        const std::uint32_t divisor = std::gcd(phys->x, phys->y);
        phys->x /= divisor;
        phys->y /= divisor;
    }
    return phys;
}

}  // namespace

Failure CheckClaimedSize(std::uint32_t width, std::uint32_t height, std::uint64_t rawBytes,
                         std::uint64_t fileBytes, TiffCompression compression) {
    if (rawBytes <= fileBytes * MaxRatio(compression) + kSlackBytes) return {};
    return {FailureCode::BadInput, "claims " + std::to_string(width) + " x " +
                                       std::to_string(height) + " pixels, more than its " +
                                       std::to_string(fileBytes) + " bytes can hold"};
}

Failure CheckDimensions(std::uint32_t width, std::uint32_t height) {
    if (width == 0 || height == 0) return {FailureCode::BadInput, "has no pixels"};
    if (width > kMaxDimension || height > kMaxDimension) {
        return {FailureCode::BadInput, "is " + std::to_string(width) + " x " +
                                           std::to_string(height) + " pixels; at most " +
                                           std::to_string(kMaxDimension) + " x " +
                                           std::to_string(kMaxDimension) + " can be read"};
    }
    return {};
}

std::uint16_t* AllocatePixels(const PixelAllocator& allocate, std::uint32_t width,
                              std::uint32_t height, std::uint64_t workBytes) {
    try {
        return allocate ? allocate(width, height, workBytes) : nullptr;
    } catch (...) {
        return nullptr;
    }
}

void FirstError::Record(const char* format, std::va_list arguments) {
    if (!Empty()) return;
    std::vsnprintf(text_, sizeof text_, format, arguments);
    if (Empty()) std::snprintf(text_, sizeof text_, "unknown error");
    FoldOntoOneLine();
}

void FirstError::Record(std::string_view message) {
    if (!Empty()) return;
    std::snprintf(text_, sizeof text_, "%.*s", static_cast<int>(message.size()), message.data());
    FoldOntoOneLine();
}

// The libraries' messages may span lines (libtiff indents a second line under a tag's name);
// an error is shown as one line, so every run of control characters and spaces becomes one space.
void FirstError::FoldOntoOneLine() {
    std::size_t kept = 0;
    bool inSpace = false;
    for (std::size_t i = 0; text_[i] != '\0'; ++i) {
        const auto c = static_cast<unsigned char>(text_[i]);
        const bool space = c <= ' ' || c == 0x7F;
        if (!space)
            text_[kept++] = text_[i];
        else if (!inSpace)
            text_[kept++] = ' ';
        inSpace = space;
    }
    while (kept > 0 && text_[kept - 1] == ' ') --kept;
    text_[kept] = '\0';
}

std::string Latin1ToUtf8(std::string_view text) {
    std::string utf8;
    utf8.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

std::optional<std::string> Utf8ToLatin1(std::string_view text) {
    if (!IsUtf8(text)) return std::nullopt;
    std::string latin1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            latin1 += text[i];
        } else if (byte == 0xC2 || byte == 0xC3) {
            latin1 += static_cast<char>(((byte & 0x03) << 6) | (text[++i] & 0x3F));
        } else {
            return std::nullopt;
        }
    }
    return latin1;
}

bool IsAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

bool IsUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = lead < 0x80                   ? 1
                     : lead >= 0xC2 && lead < 0xE0 ? 2
                     : lead >= 0xE0 && lead < 0xF0 ? 3
                     : lead >= 0xF0 && lead < 0xF5 ? 4
                                                   : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (int k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

Failure CheckEncodeInput(const PixelView& pixels, const EncodeOptions& options) {
    std::string error;
    if (pixels.rgba == nullptr || pixels.width == 0 || pixels.height == 0) {
        error = "no pixels";
    } else if (pixels.rowPixels != 0 && pixels.rowPixels < pixels.width) {
        error = "rows overlap";
    } else if (options.bitsPerChannel != 8 && options.bitsPerChannel != 16) {
        error = std::to_string(options.bitsPerChannel) + "-bit output is not supported";
    } else if (options.pngLevel < 0 || options.pngLevel > 9) {
        error = "PNG level must be 0 to 9";
    } else if (options.tiffDeflateLevel < 1 || options.tiffDeflateLevel > 9) {
        error = "TIFF Deflate level must be 1 to 9";
    } else {
        return {};
    }
    return {FailureCode::NotWritten, std::move(error)};
}

const IccProfile* RgbProfile(const ImageMetadata& metadata) {
    if (!metadata.icc || metadata.icc->data.size() < 20) return nullptr;
    // Bytes 16 to 19 of the profile header name its colour space.
    return std::memcmp(metadata.icc->data.data() + 16, "RGB ", 4) == 0 ? &*metadata.icc : nullptr;
}

std::optional<PngPhys> ToPngPhys(const Resolution& resolution) {
    const double x = resolution.x;
    const double y = resolution.y;
    switch (resolution.unit) {
        case ResolutionUnit::Metre:
            return PhysFrom(x, y, 1);
        case ResolutionUnit::Centimetre:
            return PhysFrom(x * 100, y * 100, 1);
        case ResolutionUnit::Inch:
            return PhysFrom(x * 10000 / 254, y * 10000 / 254, 1);
        case ResolutionUnit::None:
            return AspectRatio(x, y);
    }
    return std::nullopt;
}

Resolution ToTiffResolution(const Resolution& resolution) {
    if (resolution.unit != ResolutionUnit::Metre) return resolution;
    return {resolution.x / 100, resolution.y / 100, ResolutionUnit::Centimetre};
}

}  // namespace image_files::detail
