// In-memory properties of the image-file codec: exact round trips, 8-bit rounding, byte-identical
// output, metadata carried across formats, and refusals. Decoding against independent readers
// is check_image_files.py's job.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "image_files/image_files.h"
#include "tests/image_files/decoded_image.h"

namespace {

using namespace image_files;

using Image = DecodedImage;

Image Decode(const std::vector<std::uint8_t>& file) {
    return DecodeToMemory(file);
}

std::vector<std::uint8_t> Encode(FileFormat format, const std::vector<std::uint16_t>& pixels,
                                 std::uint32_t width, std::uint32_t height,
                                 const ImageMetadata& metadata = {},
                                 const EncodeOptions& options = {}, std::size_t rowPixels = 0) {
    const PixelView view{pixels.data(), width, height, rowPixels};
    std::vector<std::uint8_t> file;
    const Failure failure = format == FileFormat::Png ? EncodePng(view, metadata, options, file)
                                                      : EncodeTiff(view, metadata, options, file);
    EXPECT_FALSE(failure) << failure.reason;
    return file;
}

// Every value, extremes included, spread over all four channels.
std::vector<std::uint16_t> Ramp(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint16_t> pixels(std::size_t{width} * height * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<std::uint16_t>(i * 40503u + (i % 7 == 0 ? 65535 : 0));
    }
    return pixels;
}

struct Case {
    FileFormat format;
    TiffCompression compression;
    std::uint32_t width, height;
};

class RoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(RoundTrip, SixteenBitPixelsComeBackExactlyAndEightBitRoundToNearest) {
    const Case c = GetParam();
    const std::vector<std::uint16_t> pixels = Ramp(c.width, c.height);
    EncodeOptions options;
    options.tiffCompression = c.compression;
    const Image exact = Decode(Encode(c.format, pixels, c.width, c.height, {}, options));
    ASSERT_EQ(exact.error, "");
    EXPECT_EQ(exact.pixels, pixels);

    options.bitsPerChannel = 8;
    const Image narrow = Decode(Encode(c.format, pixels, c.width, c.height, {}, options));
    ASSERT_EQ(narrow.pixels.size(), pixels.size());
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const int nearest = (pixels[i] + 128) / 257;  // v / 257 rounded
        ASSERT_EQ(narrow.pixels[i], nearest * 257) << "value " << pixels[i];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, RoundTrip,
    ::testing::Values(Case{FileFormat::Png, TiffCompression::None, 1, 1},
                      Case{FileFormat::Png, TiffCompression::None, 301, 7},
                      Case{FileFormat::Tiff, TiffCompression::None, 301, 7},
                      Case{FileFormat::Tiff, TiffCompression::Lzw, 301, 7},
                      Case{FileFormat::Tiff, TiffCompression::Deflate, 17, 800},
                      Case{FileFormat::Tiff, TiffCompression::PackBits, 5, 3}));

// A file as a decode reads it from disk: never in memory as a whole, and every byte read
// counted.
class FileOnDisk final : public ByteSource {
  public:
    explicit FileOnDisk(const std::vector<std::uint8_t>& file) : file_(file) {}

    std::uint64_t Size() const override { return file_.size(); }
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
        const std::size_t count = MemorySource(file_).ReadAt(offset, bytes);
        read += count;
        return count;
    }

    std::uint64_t read = 0;

  private:
    const std::vector<std::uint8_t>& file_;
};

// A crop keeps exactly the image's top-left rows and columns, from files of one strip or many,
// in memory or read from disk; from disk, a crop of a few rows of a tall file reads only a small
// part of it.
class Crop : public ::testing::TestWithParam<Case> {};

TEST_P(Crop, KeepsTheTopLeftRowsAndColumns) {
    const Case c = GetParam();
    EncodeOptions options;
    options.tiffCompression = c.compression;
    options.pngLevel = 0;  // stored: a file as large as its pixels
    const std::vector<std::uint16_t> pixels = Ramp(c.width, c.height);
    const std::vector<std::uint8_t> file = Encode(c.format, pixels, c.width, c.height, {}, options);
    for (const DecodeCrop crop : {DecodeCrop{3, 2}, DecodeCrop{c.width, 5}, DecodeCrop{1, 70000},
                                  DecodeCrop{70000, 70000}}) {
        const Image image = DecodeToMemory(file, crop);
        ASSERT_EQ(image.error, "");
        FileOnDisk onDisk(file);
        const Image read = DecodeToMemory(onDisk, crop);
        ASSERT_EQ(read.error, "");
        EXPECT_EQ(read.pixels, image.pixels);
        if (crop.height <= 5 && file.size() > (1u << 20)) {
            EXPECT_LT(onDisk.read, file.size() / 8);
        }
        const std::uint32_t width = std::min(c.width, crop.width);
        const std::uint32_t height = std::min(c.height, crop.height);
        ASSERT_EQ(image.width, width);
        ASSERT_EQ(image.height, height);
        for (std::uint32_t y = 0; y < height; ++y) {
            EXPECT_TRUE(std::equal(pixels.begin() + std::size_t{y} * c.width * 4,
                                   pixels.begin() + (std::size_t{y} * c.width + width) * 4,
                                   image.pixels.begin() + std::size_t{y} * width * 4))
                << "row " << y << " of a " << crop.width << " x " << crop.height << " crop";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, Crop,
    ::testing::Values(Case{FileFormat::Png, {}, 7, 9},
                      Case{FileFormat::Tiff, TiffCompression::None, 7, 9},
                      Case{FileFormat::Tiff, TiffCompression::Deflate, 9000, 20},
                      Case{FileFormat::Png, {}, 64, 16000},
                      Case{FileFormat::Tiff, TiffCompression::None, 64, 16000}));

TEST(Encode, RowsAreTakenAtTheGivenDistance) {
    const std::vector<std::uint16_t> wide = Ramp(10, 4);
    const Image image = Decode(Encode(FileFormat::Tiff, wide, 6, 4, {}, {}, 10));
    ASSERT_EQ(image.error, "");
    for (std::uint32_t y = 0; y < 4; ++y) {
        EXPECT_EQ(0, std::memcmp(&image.pixels[y * 6 * 4], &wide[y * 10 * 4], 6 * 8));
    }
}

TEST(Encode, SameInputGivesSameBytes) {
    ImageMetadata metadata;
    metadata.text = {{"Description", "a frame"}};
    for (const FileFormat format : {FileFormat::Png, FileFormat::Tiff}) {
        EXPECT_EQ(Encode(format, Ramp(9, 9), 9, 9, metadata),
                  Encode(format, Ramp(9, 9), 9, 9, metadata));
    }
}

std::vector<std::uint8_t> RgbProfile() {
    std::vector<std::uint8_t> profile(200);
    profile[3] = 200;
    std::memcpy(&profile[8], "\x02\x10\0\0mntrRGB XYZ ", 16);
    std::memcpy(&profile[36], "acsp", 4);
    std::memcpy(&profile[68], "\0\0\xF6\xD6\0\1\0\0\0\0\xD3\x2D", 12);
    // Data that does not compress to almost nothing: libpng 1.6.39 misreads tiny iCCP chunks.
    for (std::size_t i = 132; i < profile.size(); ++i)
        profile[i] = static_cast<std::uint8_t>(i * 7);
    return profile;
}

struct MetadataCase {
    FileFormat from, to;
};

class Metadata : public ::testing::TestWithParam<MetadataCase> {};

TEST_P(Metadata, ProfileResolutionTextAndAlphaKindCarryAcross) {
    ImageMetadata source;
    source.icc = IccProfile{"camera", RgbProfile()};
    source.resolution = Resolution{2835, 5670, ResolutionUnit::Metre};
    source.text = {{"Description", "Zoë's frame"}, {"Author", "us"}, {"Copyright", "(c)"}};
    source.associatedAlpha = true;
    const auto [from, to] = GetParam();
    const Image first = Decode(Encode(from, Ramp(2, 2), 2, 2, source));
    const Image second = Decode(Encode(to, first.pixels, 2, 2, first.metadata));
    ASSERT_EQ(second.error, "");
    const ImageMetadata& m = second.metadata;
    ASSERT_TRUE(m.icc.has_value());
    EXPECT_EQ(m.icc->data, source.icc->data);
    ASSERT_TRUE(m.resolution.has_value());
    const double perMetre = m.resolution->unit == ResolutionUnit::Metre ? 1 : 100;
    EXPECT_NEAR(m.resolution->x * perMetre, 2835, 1e-3);
    EXPECT_NEAR(m.resolution->y * perMetre, 5670, 1e-3);
    ASSERT_EQ(m.text.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(m.text[i].value, source.text[i].value);
    // Only TIFF can say that alpha is associated.
    EXPECT_EQ(m.associatedAlpha, from == FileFormat::Tiff && to == FileFormat::Tiff);
}

INSTANTIATE_TEST_SUITE_P(Formats, Metadata,
                         ::testing::Values(MetadataCase{FileFormat::Png, FileFormat::Png},
                                           MetadataCase{FileFormat::Png, FileFormat::Tiff},
                                           MetadataCase{FileFormat::Tiff, FileFormat::Tiff},
                                           MetadataCase{FileFormat::Tiff, FileFormat::Png}));

TEST(Metadata, PngColourChunksPassThroughAsStored) {
    ImageMetadata source;
    source.pngGamma = 45455;
    source.pngChromaticities = std::array<std::uint32_t, 8>{1, 2, 3, 4, 5, 6, 7, 8};
    source.pngSrgbIntent = 3;
    const Image image = Decode(Encode(FileFormat::Png, Ramp(2, 2), 2, 2, source));
    EXPECT_EQ(image.metadata.pngGamma, source.pngGamma);
    EXPECT_EQ(image.metadata.pngChromaticities, source.pngChromaticities);
    EXPECT_EQ(image.metadata.pngSrgbIntent, source.pngSrgbIntent);
}

TEST(Metadata, InchesBecomeWholePixelsPerMetreInPng) {
    ImageMetadata source;
    source.resolution = Resolution{300, 72, ResolutionUnit::Inch};
    const Image image = Decode(Encode(FileFormat::Png, Ramp(2, 2), 2, 2, source));
    ASSERT_TRUE(image.metadata.resolution.has_value());
    EXPECT_EQ(image.metadata.resolution->x, 11811);
    EXPECT_EQ(image.metadata.resolution->y, 2835);
}

TEST(Metadata, AGreyProfileIsLeftOutOfRgbOutput) {
    ImageMetadata source;
    source.icc = IccProfile{"grey", RgbProfile()};
    std::memcpy(&source.icc->data[16], "GRAY", 4);
    for (const FileFormat format : {FileFormat::Png, FileFormat::Tiff}) {
        EXPECT_FALSE(Decode(Encode(format, Ramp(2, 2), 2, 2, source)).metadata.icc.has_value());
    }
}

TEST(Metadata, NamesThatPngCannotHoldAreLeftOutNotFatal) {
    ImageMetadata source;
    source.icc = IccProfile{"\x01", RgbProfile()};
    source.text = {{"", "empty"}, {" \x01", "blank"}, {"Scene", "kept"}};
    const Image image = Decode(Encode(FileFormat::Png, Ramp(2, 2), 2, 2, source));
    ASSERT_TRUE(image.metadata.icc.has_value());
    EXPECT_EQ(image.metadata.icc->name, "ICC profile");
    ASSERT_EQ(image.metadata.text.size(), 1u);
    EXPECT_EQ(image.metadata.text[0].value, "kept");
}

// A minimal little-endian TIFF: one 8-bit grey strip of `stripBytes` at offset 8.
std::vector<std::uint8_t> GreyTiff(std::uint32_t width, std::uint32_t height,
                                   std::uint32_t stripBytes) {
    std::vector<std::uint8_t> file = {'I', 'I', 42, 0};
    auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) file.push_back(static_cast<std::uint8_t>(value >> 8 * i));
    };
    put(8 + stripBytes, 4);
    file.resize(8 + stripBytes, 0x55);
    const std::uint32_t entries[][3] = {{256, 4, width},     {257, 4, height}, {258, 3, 8},
                                        {262, 3, 1},         {273, 4, 8},      {278, 4, height},
                                        {279, 4, stripBytes}};
    put(7, 2);
    for (const auto& entry : entries) {
        put(entry[0], 2);
        put(entry[1], 2);
        put(1, 4);
        put(entry[2], 4);
    }
    put(0, 4);
    return file;
}

// A little-endian TIFF whose first page is followed by `extra` empty directories, each only its
// entry count and the offset of the next.
std::vector<std::uint8_t> WithEmptyDirectories(std::vector<std::uint8_t> file,
                                               std::uint32_t extra) {
    auto word = [&](std::size_t at) { return std::uint32_t{file[at]} | file[at + 1] << 8; };
    auto put32 = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(value >> 8 * i);
    };
    EXPECT_EQ(file[0], 'I');
    const std::uint32_t first = word(4) | word(6) << 16;
    std::size_t next = first + 2 + 12 * std::size_t{word(first)};
    for (std::uint32_t i = 0; i < extra; ++i) {
        put32(next, static_cast<std::uint32_t>(file.size()));
        file.resize(file.size() + 6, 0);
        next = file.size() - 4;
    }
    return file;
}

TEST(Decode, PagesAreCountedAndAFileBeyondTheCountSaysAtLeast) {
    const auto page = Encode(FileFormat::Tiff, Ramp(2, 2), 2, 2);
    struct Row {
        std::uint32_t extra, pages;
        bool atLeast;
    };
    for (const Row row : {Row{0, 1, false}, Row{3, 4, false}, Row{1048576, 1048576, true}}) {
        const Image image = Decode(WithEmptyDirectories(page, row.extra));
        EXPECT_EQ(image.error, "");
        EXPECT_EQ(image.metadata.pageCount, row.pages) << row.extra << " empty directories";
        EXPECT_EQ(image.metadata.pageCountAtLeast, row.atLeast) << row.extra;
    }
}

TEST(Decode, AHeaderClaimingFarMoreThanTheFileHoldsFailsAtOnce) {
    const auto start = std::chrono::steady_clock::now();
    const Image image = Decode(GreyTiff(30000, 30000, 64));
    // Taking and filling the 7 GB claimed would take far longer; the bound holds on a loaded
    // two-core machine.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(image.pixels.empty());
    EXPECT_EQ(image.error,
              "damaged TIFF: claims 30000 x 30000 pixels, more than its 162 bytes "
              "can hold");
}

TEST(Decode, RefusalsSayWhyInOneLine) {
    const std::vector<std::uint8_t> png = Encode(FileFormat::Png, Ramp(40, 40), 40, 40);
    const std::vector<std::uint8_t> tiff = GreyTiff(16, 16, 256);
    const struct {
        std::vector<std::uint8_t> file;
        const char* error;
    } cases[] = {
        {{'G', 'I', 'F', '8'}, "not a PNG or TIFF file"},
        {{png.begin(), png.end() - 100}, "truncated PNG: file ends in IDAT"},
        {{tiff.begin(), tiff.begin() + 8 + 100}, "damaged TIFF: "},
        {GreyTiff(70000, 2, 64), "TIFF is 70000 x 2 pixels; at most 65535 x 65535 can be read"},
        {GreyTiff(16, 0, 64), "damaged TIFF: "},
    };
    for (const auto& c : cases) {
        const Image image = Decode(c.file);
        EXPECT_EQ(image.error.rfind(c.error, 0), 0u) << image.error << " for " << c.error;
        EXPECT_EQ(image.error.find('\n'), std::string::npos);
    }
}

TEST(Decode, AnAllocatorThatCannotGiveMemoryFailsTheDecode) {
    ImageMetadata metadata;
    const std::vector<std::uint8_t> file = Encode(FileFormat::Png, Ramp(3, 3), 3, 3);
    const Failure failure = DecodeImage(
        file, [](std::uint32_t, std::uint32_t, std::uint64_t) { return nullptr; }, metadata);
    EXPECT_EQ(failure.code, FailureCode::BadInput);
    EXPECT_EQ(failure.reason, "out of memory");
}

}  // namespace
