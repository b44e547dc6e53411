#pragma once

// A file decoded by the image codec into pixels of its own, for the codec's tests and its
// command-line tool.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image_files/image_files.h"

struct DecodedImage {
    std::vector<std::uint16_t> pixels;  // RGBA, row-major
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    image_files::ImageMetadata metadata;
    std::string error;  // empty when the file was decoded
};

inline DecodedImage DecodeToMemory(image_files::ByteSource& file,
                                   image_files::DecodeCrop crop = {}) {
    DecodedImage image;
    auto allocate = [&](std::uint32_t width, std::uint32_t height, std::uint64_t) {
        image.width = width;
        image.height = height;
        image.pixels.resize(std::size_t{width} * height * 4);
        return image.pixels.data();
    };
    image.error = image_files::DecodeImage(file, allocate, image.metadata, crop).reason;
    return image;
}

inline DecodedImage DecodeToMemory(std::span<const std::uint8_t> file,
                                   image_files::DecodeCrop crop = {}) {
    image_files::MemorySource source(file);
    return DecodeToMemory(source, crop);
}
