// libFuzzer target: arbitrary bytes through DecodeImage. A small image that decodes is encoded
// as PNG and as TIFF (16-bit, so exactly) and decoded again: the pixels must come back the same.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image_files/image_files.h"

namespace {

using namespace image_files;

// Larger images are refused by the allocator: decoding them teaches the fuzzer nothing new.
constexpr std::size_t kMaxPixels = 1 << 20;
constexpr std::size_t kMaxRoundTripPixels = 1 << 12;

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

struct Image {
    std::vector<std::uint16_t> pixels;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    ImageMetadata metadata;
};

bool Decode(const std::uint8_t* data, std::size_t size, Image& image) {
    auto allocate = [&](std::uint32_t width, std::uint32_t height,
                        std::uint64_t) -> std::uint16_t* {
        Require(width >= 1 && height >= 1 && width <= kMaxDimension && height <= kMaxDimension);
        if (std::size_t{width} * height > kMaxPixels) return nullptr;
        image.width = width;
        image.height = height;
        image.pixels.assign(std::size_t{width} * height * 4, 0);
        return image.pixels.data();
    };
    const Failure failure = DecodeImage({data, size}, allocate, image.metadata);
    Require(failure.reason.empty() != static_cast<bool>(failure) &&
            failure.reason.find('\n') == std::string::npos);
    return !failure;
}

void RoundTrip(const Image& image, bool png) {
    const PixelView view{image.pixels.data(), image.width, image.height, 0};
    std::vector<std::uint8_t> file;
    const bool encoded = !(png ? EncodePng(view, image.metadata, EncodeOptions{}, file)
                               : EncodeTiff(view, image.metadata, EncodeOptions{}, file));
    // A PNG refuses only metadata it cannot hold (a profile libpng rejects, a keyword); pixels
    // never.
    if (!encoded) {
        Require(png);
        ImageMetadata bare;
        Require(!EncodePng(view, bare, EncodeOptions{}, file));
    }
    Image back;
    Require(Decode(file.data(), file.size(), back));
    Require(back.width == image.width && back.height == image.height &&
            back.pixels == image.pixels);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Image image;
    if (!Decode(data, size, image)) return 0;
    if (std::size_t{image.width} * image.height <= kMaxRoundTripPixels) {
        RoundTrip(image, true);
        RoundTrip(image, false);
    }
    return 0;
}
