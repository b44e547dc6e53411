#pragma once

// Pieces the PNG and TIFF codecs share.

#include <cstdarg>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "image_files/image_files.h"
#include "rebuild/core/channel_depth.h"

namespace image_files::detail {

// The per-format halves of DecodeImage.
Failure DecodePng(ByteSource& file, const PixelAllocator& allocate, ImageMetadata& metadata,
                  DecodeCrop crop);
Failure DecodeTiff(ByteSource& file, const PixelAllocator& allocate, ImageMetadata& metadata,
                   DecodeCrop crop);

// Every check and step of the codec reports as its entry points do: a Failure, BadInput for a
// file that cannot be read, NotWritten for pixels that cannot be encoded.

// Whether `rawBytes` of samples fit into a file of `fileBytes` compressed that way (a PNG's is
// Deflate); a file that claims more is refused before anything is allocated.
Failure CheckClaimedSize(std::uint32_t width, std::uint32_t height, std::uint64_t rawBytes,
                         std::uint64_t fileBytes, TiffCompression compression);

// Whether the dimensions can be decoded.
Failure CheckDimensions(std::uint32_t width, std::uint32_t height);

// Calls `allocate`, turning a refusal or an exception into nullptr.
std::uint16_t* AllocatePixels(const PixelAllocator& allocate, std::uint32_t width,
                              std::uint32_t height, std::uint64_t workBytes);

// The first message a library reports during one operation, formatted; later ones are dropped
// since they tend to be consequences of the first.
class FirstError {
  public:
    void Record(const char* format, std::va_list arguments);
    void Record(std::string_view message);
    bool Empty() const { return text_[0] == '\0'; }
    const char* Text() const { return text_; }

  private:
    void FoldOntoOneLine();

    char text_[240] = {};
};

std::string Latin1ToUtf8(std::string_view text);
// Empty when the text holds a character beyond U+00FF (or is no UTF-8).
std::optional<std::string> Utf8ToLatin1(std::string_view text);
bool IsAscii(std::string_view text);
bool IsUtf8(std::string_view text);

// The RGBA row y of a view.
inline const std::uint16_t* Row(const PixelView& pixels, std::uint32_t y) {
    const std::size_t stride = pixels.rowPixels == 0 ? pixels.width : pixels.rowPixels;
    return pixels.rgba + std::size_t{y} * stride * 4;
}

// Whether the view and options can be encoded.
Failure CheckEncodeInput(const PixelView& pixels, const EncodeOptions& options);

// The profile unless it describes something other than RGB (the output always is RGB).
const IccProfile* RgbProfile(const ImageMetadata& metadata);

// PNG pHYs: pixels per metre (unit 1) or an aspect ratio (unit 0).
struct PngPhys {
    std::uint32_t x;
    std::uint32_t y;
    int unit;
};
std::optional<PngPhys> ToPngPhys(const Resolution& resolution);

// The per-inch or per-centimetre resolution TIFF stores (metre becomes centimetre exactly).
Resolution ToTiffResolution(const Resolution& resolution);

}  // namespace image_files::detail
