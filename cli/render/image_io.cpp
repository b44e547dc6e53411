#include "cli/render/image_io.h"

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include "cli/platform/file_io.h"
#include "cli/platform/memory_status.h"
#include "cli/platform/pending_file.h"
#include "cli/platform/text.h"

namespace {

// A file read as its decode needs it, small reads through a window of the bytes last read, and
// what the file was when opened: no file is ever held whole, and a crop of a large one reads
// only what it needs. A file that another process shrinks or rewrites meanwhile is found by its
// size and time afterwards, where a mapped view of it would fault.
class InputFile final : public image_files::ByteSource {
  public:
    // Failures carry FailureCode::BadInput.
    Failure Open(const FilePath& path) {
        name_ = path.shown;
        if (Failure failure = OpenToRead(path, file_)) return failure;
        if (Failure failure = StateOf(file_.Get(), path.shown, before_)) return failure;
        if (Size() == 0) return {FailureCode::BadInput, path.shown + ": is empty, not an image"};
        return {};
    }

    std::uint64_t Size() const override { return before_.size; }

    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
        if (bytes.size() >= kWindowBytes) return ReadStraight(offset, bytes);
        if (offset < windowStart_ || offset + bytes.size() > windowStart_ + window_.size()) {
            FillWindow(offset);
        }
        if (offset < windowStart_ || offset >= windowStart_ + window_.size()) return 0;
        const auto from = static_cast<std::size_t>(offset - windowStart_);
        const std::size_t count = std::min(bytes.size(), window_.size() - from);
        std::copy_n(window_.begin() + static_cast<std::ptrdiff_t>(from), count, bytes.begin());
        return count;
    }

    // Fails when the file is no longer what was read (another process changed it), or when a
    // read failed.
    Failure Unchanged() const {
        FileState now;
        if (StateOf(file_.Get(), name_, now) || now != before_) {
            return {FailureCode::BadInput,
                    name_ + ": changed while it was read (another program writes it)"};
        }
        return readFailure_;
    }

  private:
    static constexpr std::size_t kWindowBytes = std::size_t{256} << 10;

    std::size_t ReadStraight(std::uint64_t offset, std::span<std::uint8_t> bytes) {
        std::size_t got = 0;
        Failure failure = ::ReadAt(file_.Get(), offset, std::as_writable_bytes(bytes), name_, got);
        if (failure && !readFailure_) readFailure_ = std::move(failure);
        return got;
    }

    void FillWindow(std::uint64_t offset) {
        window_.resize(kWindowBytes);
        windowStart_ = offset;
        window_.resize(ReadStraight(offset, window_));
    }

    std::string name_;
    OwnedFile file_;
    FileState before_;
    Failure readFailure_;
    std::vector<std::uint8_t> window_;
    std::uint64_t windowStart_ = 0;
};

// Why a frame is refused at once: what it needs beside what the run may use.
std::string TooLarge(unsigned long long bytes, const std::string& what, const FrameMemory& memory) {
    return "needs " + std::to_string(bytes >> 20) + " MB of memory for " + what +
           ", more than the " + std::to_string(memory.Budget() >> 20) +
           " MB this run may use (half the memory free at its start)";
}

}  // namespace

Failure ReadImage(const FilePath& path, Image& image, FrameMemory* memory,
                  image_files::DecodeCrop crop, unsigned copies) {
    auto fail = [&](const std::string& why) {
        return Failure{FailureCode::BadInput, path.shown + ": " + why};
    };
    if (IsFolder(path)) return fail("is a folder, not an image");
    InputFile file;
    if (Failure failure = file.Open(path)) return failure;
    // In a batch the pixels are taken from the run's frame memory before they are allocated,
    // one frame admitted at a time.
    std::unique_lock<std::mutex> admitted;
    if (memory != nullptr) admitted = memory->Admit();
    // A frame larger than the memory the run may use, or than the memory that can still be
    // committed, is refused before any of it is taken, rather than left to fail, or to swap,
    // half-way.
    // The decode's own buffers are counted with the pixels while it runs.
    std::string tooLarge;
    FrameMemory::Share workShare;
    auto allocate = [&](std::uint32_t width, std::uint32_t height,
                        std::uint64_t workBytes) -> std::uint16_t* {
        const unsigned long long bytes = 8ull * width * height * copies + workBytes;
        std::string pixels =
            "its " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
        if (copies > 1) pixels.append(" ").append(std::to_string(copies)).append(" times over");
        if (workBytes > bytes / 2) pixels.append(" and their decoding");
        const std::optional<MemoryFigures> status = MemoryStatus();
        if (status && bytes > status->availableToCommit) {
            tooLarge = "needs " + std::to_string(bytes >> 20) + " MB of memory for " + pixels +
                       "; " + std::to_string(status->availableToCommit >> 20) + " MB are available";
            return nullptr;
        }
        if (memory != nullptr) {
            if (bytes > memory->Budget()) {
                tooLarge = TooLarge(bytes, pixels, *memory);
                return nullptr;
            }
            image.memory = memory->Take(bytes - workBytes);
            workShare = memory->Take(workBytes);
            admitted.unlock();
        }
        image.bitmap = std::make_unique<hostsdk::PlainBitmap>(static_cast<uint16_t>(width),
                                                              static_cast<uint16_t>(height));
        return reinterpret_cast<std::uint16_t*>(image.bitmap->Pixels());
    };
    const Failure decoded = image_files::DecodeImage(file, allocate, image.metadata, crop);
    // A file changed meanwhile, or a read that failed, explains a failed decode better than the
    // decoder can.
    Failure outcome = file.Unchanged();
    if (!outcome && decoded) outcome = fail(tooLarge.empty() ? decoded.reason : tooLarge);
    if (outcome) {
        image.bitmap.reset();
        image.memory = {};
    }
    return outcome;
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

Failure EncodeImage(const Image& image, const FilePath& path, image_files::FileFormat format,
                    const OutputOptions& options, std::vector<std::uint8_t>& bytes,
                    std::vector<std::string>& notes) {
    const hostsdk::PlainBitmap& bitmap = *image.bitmap;
    const image_files::PixelView pixels{reinterpret_cast<const std::uint16_t*>(bitmap.Pixels()),
                                        bitmap.Width(), bitmap.Height(), 0};
    const image_files::EncodeOptions encode = EncodeOptionsFor(options, image.metadata);
    const Failure encoded =
        format == image_files::FileFormat::Png
            ? image_files::EncodePng(pixels, image.metadata, encode, bytes, &notes)
            : image_files::EncodeTiff(pixels, image.metadata, encode, bytes);
    if (encoded) return {FailureCode::NotWritten, path.shown + ": not written: " + encoded.reason};
    return {};
}

Failure WriteImage(const Image& image, const FilePath& path, image_files::FileFormat format,
                   const OutputOptions& options, std::vector<std::string>& notes) {
    std::vector<std::uint8_t> bytes;
    if (Failure failure = EncodeImage(image, path, format, options, bytes, notes)) return failure;
    return WriteWholeFile(path, std::as_bytes(std::span(bytes)));
}
