#include "cli/render/image_io.h"

#include <windows.h>

#include <optional>
#include <span>
#include <vector>

#include "cli/platform/memory_status.h"
#include "cli/platform/pending_file.h"
#include "cli/platform/text.h"
#include "hosting/unique_handle.h"

namespace {

// A file's bytes, mapped read-only for as long as it is decoded: no copy of a large frame.
class MappedFile {
  public:
    // Failures carry kExitBadInput.
    Failure Open(const FilePath& path) {
        const auto cannotOpen = [&] {
            return Failure{kExitBadInput,
                           path.shown + L": cannot open: " + ErrorText(GetLastError())};
        };
        file_ =
            UniqueHandle(CreateFileW(path.system.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        LARGE_INTEGER size{};
        if (!file_ || !GetFileSizeEx(file_.Get(), &size)) return cannotOpen();
        if (size.QuadPart == 0) return {kExitBadInput, path.shown + L": is empty, not an image"};
        mapping_ =
            UniqueHandle(CreateFileMappingW(file_.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        if (!mapping_) return cannotOpen();
        view_ = UniqueView(MapViewOfFile(mapping_.Get(), FILE_MAP_READ, 0, 0, 0));
        if (!view_) return cannotOpen();
        size_ = static_cast<std::size_t>(size.QuadPart);
        return {};
    }
    std::span<const std::uint8_t> Bytes() const {
        return {static_cast<const std::uint8_t*>(view_.get()), size_};
    }

  private:
    UniqueHandle file_;
    UniqueHandle mapping_;
    UniqueView view_;
    std::size_t size_ = 0;
};

}  // namespace

Failure ReadImage(const FilePath& path, Image& image, FrameMemory* memory) {
    auto fail = [&](const std::wstring& why) {
        return Failure{kExitBadInput, path.shown + L": " + why};
    };
    const DWORD attributes = GetFileAttributesW(path.system.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return fail(L"is a folder, not an image");
    }
    MappedFile file;
    if (Failure failure = file.Open(path)) return failure;
    // A frame larger than the memory that can still be committed is refused before any of it
    // is taken, rather than left to fail, or to swap, half-way.
    std::wstring tooLarge;
    auto allocate = [&](std::uint32_t width, std::uint32_t height) -> std::uint16_t* {
        const unsigned long long bytes = 8ull * width * height;
        const std::optional<MEMORYSTATUSEX> status = MemoryStatus();
        if (status && bytes > status->ullAvailPageFile) {
            tooLarge = L"needs " + std::to_wstring(bytes >> 20) + L" MB of memory for its " +
                       std::to_wstring(width) + L" x " + std::to_wstring(height) + L" pixels; " +
                       std::to_wstring(status->ullAvailPageFile >> 20) + L" MB are available";
            return nullptr;
        }
        if (memory != nullptr) image.memory = memory->Take(bytes);
        image.bitmap = std::make_unique<hostsdk::PlainBitmap>(static_cast<uint16_t>(width),
                                                              static_cast<uint16_t>(height));
        return reinterpret_cast<std::uint16_t*>(image.bitmap->Pixels());
    };
    std::string error;
    if (!image_files::DecodeImage(file.Bytes(), allocate, image.metadata, error)) {
        image.bitmap.reset();
        image.memory = {};
        return fail(tooLarge.empty() ? FromUtf8(error) : tooLarge);
    }
    return {};
}

image_files::EncodeOptions EncodeOptionsFor(const OutputOptions& options,
                                            const image_files::ImageMetadata& input) {
    image_files::EncodeOptions encode;
    encode.bitsPerChannel = options.bitsPerChannel;
    if (options.pngLevel) encode.pngLevel = *options.pngLevel;
    if (options.pngFilter) encode.pngFilter = *options.pngFilter;
    if (options.tiffCompression) {
        encode.tiffCompression = *options.tiffCompression;
    } else if (input.tiffCompression &&
               *input.tiffCompression != image_files::TiffCompression::PackBits) {
        encode.tiffCompression = *input.tiffCompression;
    }
    return encode;
}

Failure WriteImage(const Image& image, const FilePath& path, image_files::FileFormat format,
                   const OutputOptions& options) {
    const hostsdk::PlainBitmap& bitmap = *image.bitmap;
    const image_files::PixelView pixels{reinterpret_cast<const std::uint16_t*>(bitmap.Pixels()),
                                        bitmap.Width(), bitmap.Height(), 0};
    const image_files::EncodeOptions encode = EncodeOptionsFor(options, image.metadata);
    std::vector<std::uint8_t> bytes;
    std::string error;
    const bool encoded =
        format == image_files::FileFormat::Png
            ? image_files::EncodePng(pixels, image.metadata, encode, bytes, error)
            : image_files::EncodeTiff(pixels, image.metadata, encode, bytes, error);
    if (!encoded) return {kExitNotWritten, path.shown + L": not written: " + FromUtf8(error)};
    return WriteWholeFile(path, std::as_bytes(std::span(bytes)));
}
