// braidel-run's image files: a frame written as PNG or TIFF reads back exactly, a file that is no
// frame gets one line (exit 3), a frame larger than the run's memory is refused before it is
// taken, and the codec's options follow the command line, else the input.

#include "cli/render/image_io.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/scratch_folder.h"

namespace {

using image_files::FileFormat;
using image_files::TiffCompression;

// A frame whose every channel differs from its neighbours', all 16 bits used.
Image TestFrame(std::uint16_t width, std::uint16_t height) {
    Image image;
    image.bitmap = std::make_unique<hostsdk::PlainBitmap>(width, height);
    auto* values = reinterpret_cast<std::uint16_t*>(image.bitmap->Pixels());
    for (std::size_t i = 0; i < 4u * width * height; ++i) {
        values[i] = static_cast<std::uint16_t>(i * 40503u + 17u);
    }
    return image;
}

std::vector<std::uint16_t> Values(const Image& image) {
    const auto* values = reinterpret_cast<const std::uint16_t*>(image.bitmap->Pixels());
    return {values, values + 4u * image.bitmap->Width() * image.bitmap->Height()};
}

struct RoundTrip {
    FileFormat format;
    const char* name;
    std::uint16_t width;
    std::uint16_t height;
};

TEST(ImageIo, WrittenFrameReadsBackExactly) {
    const RoundTrip cases[] = {
        {FileFormat::Png, "f.png", 1, 1},  {FileFormat::Png, "f.png", 5, 3},
        {FileFormat::Png, "f.png", 64, 2}, {FileFormat::Tiff, "f.tif", 1, 1},
        {FileFormat::Tiff, "f.tif", 5, 3}, {FileFormat::Tiff, "f.tif", 3, 64},
    };
    for (const RoundTrip& row : cases) {
        SCOPED_TRACE(std::string(row.name) + " " + std::to_string(row.width) + "x" +
                     std::to_string(row.height));
        ScratchFolder folder;
        const Image written = TestFrame(row.width, row.height);
        std::vector<std::string> notes;
        ASSERT_FALSE(WriteImage(written, folder.Path(row.name), row.format, {}, notes));
        EXPECT_TRUE(notes.empty());
        EXPECT_EQ(folder.Names(), std::vector<std::string>{row.name});
        Image read;
        ASSERT_FALSE(ReadImage(folder.Path(row.name), read));
        EXPECT_EQ(read.bitmap->Width(), row.width);
        EXPECT_EQ(read.bitmap->Height(), row.height);
        EXPECT_EQ(Values(read), Values(written));
    }
}

struct Unreadable {
    const char* label;
    std::optional<std::string> content;  // none: the name is a folder
    const char* says;
};

TEST(ImageIo, FileThatIsNoFrameGetsOneLine) {
    ScratchFolder source;
    std::vector<std::string> notes;
    ASSERT_FALSE(WriteImage(TestFrame(8, 8), source.Path("whole.png"), FileFormat::Png, {}, notes));
    const std::string png = source.Read("whole.png");
    const Unreadable cases[] = {
        {"empty", "", "is empty, not an image"},
        {"text", "not an image at all", ""},
        {"a PNG cut in half", png.substr(0, png.size() / 2), ""},
        {"a PNG signature alone", png.substr(0, 8), ""},
        {"a folder", std::nullopt, "is a folder, not an image"},
    };
    for (const Unreadable& row : cases) {
        SCOPED_TRACE(row.label);
        ScratchFolder folder;
        folder.Make("in.png", row.content);
        Image image;
        const Failure failure = ReadImage(folder.Path("in.png"), image);
        EXPECT_EQ(failure.code, FailureCode::BadInput);
        EXPECT_EQ(failure.reason.rfind(folder.Text("in.png") + ": ", 0), 0u) << failure.reason;
        EXPECT_NE(failure.reason.find(row.says), std::string::npos) << failure.reason;
        EXPECT_EQ(failure.reason.find('\n'), std::string::npos);
        EXPECT_EQ(image.bitmap, nullptr);
    }
}

struct Budget {
    std::uint64_t bytes;
    const char* says;  // empty: the frame fits
};

// A 64 x 64 frame holds 32 KiB of pixels. What the run may use decides, before they are taken:
// exit 3, never a crash or a half-made frame.
TEST(ImageIo, FrameLargerThanTheRunsMemoryIsRefusedBeforeItIsTaken) {
    ScratchFolder folder;
    std::vector<std::string> notes;
    ASSERT_FALSE(WriteImage(TestFrame(64, 64), folder.Path("in.png"), FileFormat::Png, {}, notes));
    const Budget cases[] = {
        {1000, "for its 64 x 64 pixels"},
        {8 * 64 * 64 - 1, "for its 64 x 64 pixels"},
        {1u << 30, ""},
    };
    for (const Budget& row : cases) {
        SCOPED_TRACE(row.bytes);
        FrameMemory memory(row.bytes);
        Image image;
        const Failure failure = ReadImage(folder.Path("in.png"), image, &memory);
        if (*row.says == '\0') {
            EXPECT_FALSE(failure) << failure.reason;
            EXPECT_EQ(Values(image), Values(TestFrame(64, 64)));
            continue;
        }
        EXPECT_EQ(failure.code, FailureCode::BadInput);
        EXPECT_NE(failure.reason.find(row.says), std::string::npos) << failure.reason;
        EXPECT_EQ(image.bitmap, nullptr);
    }
}

TEST(ImageIo, FrameThatCannotBeWrittenLeavesNothing) {
    ScratchFolder folder;
    folder.MakeFolder("taken.png");
    for (const char* name : {"missing/out.png", "taken.png"}) {
        SCOPED_TRACE(name);
        std::vector<std::string> notes;
        const Failure failure =
            WriteImage(TestFrame(4, 4), folder.Path(name), FileFormat::Png, {}, notes);
        EXPECT_EQ(failure.code, FailureCode::NotWritten) << failure.reason;
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"taken.png"});
    }
}

struct Compression {
    std::optional<TiffCompression> asked;
    std::optional<TiffCompression> input;
    TiffCompression written;
};

// A TIFF output keeps a TIFF input's compression unless the command line names one; PackBits,
// which is never written, becomes the default.
TEST(ImageIo, TiffCompressionFromTheCommandLineElseTheInput) {
    const Compression cases[] = {
        {std::nullopt, std::nullopt, TiffCompression::Deflate},
        {std::nullopt, TiffCompression::Lzw, TiffCompression::Lzw},
        {std::nullopt, TiffCompression::None, TiffCompression::None},
        {std::nullopt, TiffCompression::PackBits, TiffCompression::Deflate},
        {TiffCompression::Lzw, TiffCompression::Deflate, TiffCompression::Lzw},
        {TiffCompression::None, TiffCompression::PackBits, TiffCompression::None},
    };
    for (const Compression& row : cases) {
        OutputOptions options;
        options.tiffCompression = row.asked;
        image_files::ImageMetadata input;
        input.tiffCompression = row.input;
        EXPECT_EQ(EncodeOptionsFor(options, input).tiffCompression, row.written);
    }
}

}  // namespace
