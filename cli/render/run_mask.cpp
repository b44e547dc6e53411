#include "cli/render/run_mask.h"

Failure RunMask::Open(const FilePath& path, std::unique_ptr<RunMask>& mask,
                      std::vector<std::string>& notes) {
    Image first;
    if (Failure failure = ReadImage(path, first, nullptr, {1, 1})) return failure;
    notes = first.metadata.notes;
    mask.reset(new RunMask(path));
    return {};
}

hostsdk::PlainBitmap* RunMask::For(std::uint32_t width, std::uint32_t height, Failure& failure) {
    std::lock_guard<std::mutex> guard(lock_);
    std::unique_ptr<Image>& crop = crops_[{width, height}];
    if (!crop) {
        auto image = std::make_unique<Image>();
        failure = ReadImage(path_, *image, nullptr, {width, height});
        if (failure) return nullptr;
        crop = std::move(image);
    }
    return crop->bitmap.get();
}
