#include "cli/render/run_mask.h"

Failure RunMask::Open(const FilePath& path, std::unique_ptr<RunMask>& mask,
                      std::vector<std::string>& notes) {
    std::unique_ptr<RunMask> opened(new RunMask(path));
    Image first;
    if (Failure failure = ReadImage(path, first, &opened->memory_, {1, 1})) return failure;
    notes = first.metadata.notes;
    mask = std::move(opened);
    return {};
}

std::shared_ptr<hostsdk::PlainBitmap> RunMask::For(std::uint32_t width, std::uint32_t height,
                                                   Failure& failure) {
    std::lock_guard<std::mutex> guard(lock_);
    // A crop decoded for a frame at least as wide and as tall holds every value this one reads.
    const bool covered = last_ && lastSize_.first >= width && lastSize_.second >= height;
    if (!covered) {
        last_.reset();  // its memory is given back once the frames that hold it are done
        auto image = std::make_shared<Image>();
        failure = ReadImage(path_, *image, &memory_, {width, height});
        if (failure) return nullptr;
        last_ = std::move(image);
        lastSize_ = {width, height};
    }
    return {last_, last_->bitmap.get()};
}
