#include "frei0r/rgba8_rebuild.h"

#include <cstring>
#include <new>
#include <system_error>

namespace {

constexpr std::size_t kBytesPerPixel = 4;
static_assert(sizeof(BMM_Color_64) == kBytesPerPixel * sizeof(uint16_t));

// Below this many rows a second thread costs more than it saves.
constexpr unsigned kRowsWorthTwoBands = 64;

// The frame's kept rows are read widened from the input frame; rebuilt rows are written narrowed
// into the output frame.
class MemoryRows final : public RowStore {
  public:
    MemoryRows(const uint8_t* in, uint8_t* out, std::size_t width, const RowKernels& kernels)
        : in_(in), out_(out), rowBytes_(width * kBytesPerPixel), kernels_(kernels) {}

    // A row of pixels is a run of four channels each.
    bool ReadRow(int y, BMM_Color_64* into) override {
        kernels_.widen(in_ + Offset(y), reinterpret_cast<uint16_t*>(into), rowBytes_);
        return true;
    }

    bool WriteRow(int y, const BMM_Color_64* from) override {
        kernels_.narrow(reinterpret_cast<const uint16_t*>(from), out_ + Offset(y), rowBytes_);
        return true;
    }

  private:
    std::size_t Offset(int y) const { return static_cast<std::size_t>(y) * rowBytes_; }

    const uint8_t* in_;
    uint8_t* out_;
    std::size_t rowBytes_;
    const RowKernels& kernels_;
};

// One band for a short frame or a single processor, else two, split at an even row.
std::vector<RowBand> BandsOf(unsigned height, Rgba8Rebuild::Bands bands) {
    const int rows = static_cast<int>(height);
    const bool worthTwo = height >= kRowsWorthTwoBands && std::thread::hardware_concurrency() >= 2;
    if (bands == Rgba8Rebuild::Bands::ByMachine && !worthTwo) return {{0, rows}};
    const int middle = rows / 2 / 2 * 2;
    return {{0, middle}, {middle, rows}};
}

}  // namespace

std::unique_ptr<Rgba8Rebuild> Rgba8Rebuild::Create(unsigned width, unsigned height,
                                                   const RowKernels& kernels, Bands bands) {
    // Rows and columns are counted in int by the rebuild rules.
    constexpr unsigned kLargest = 1u << 30;
    if (width > kLargest || height > kLargest) return nullptr;
    try {
        std::vector<Band> cut;
        for (RowBand rows : BandsOf(height, bands)) {
            Band band{rows, {}};
            // The six-point kernel uses every buffer, so the kernel can change between frames.
            if (!band.buffers.Obtain(kSixPointWeighted, width)) return nullptr;
            cut.push_back(std::move(band));
        }
        std::unique_ptr<Rgba8Rebuild> rebuild(
            new Rgba8Rebuild(width, height, kernels, std::move(cut)));
        rebuild->StartHelper();
        return rebuild;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

Rgba8Rebuild::Rgba8Rebuild(unsigned width, unsigned height, const RowKernels& kernels,
                           std::vector<Band> bands)
    : width_(width), height_(height), kernels_(kernels), bands_(std::move(bands)) {}

Rgba8Rebuild::~Rgba8Rebuild() {
    if (!helper_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    posted_.notify_one();
    helper_.join();
}

// Without a thread the object still works: the helper's band is then rebuilt in Run.
void Rgba8Rebuild::StartHelper() {
    if (bands_.size() < 2) return;
    try {
        helper_ = std::thread(&Rgba8Rebuild::HelperLoop, this);
    } catch (const std::system_error&) {
    }
}

void Rgba8Rebuild::HelperLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        posted_.wait(lock, [this] { return stopping_ || postedFrames_ != finishedFrames_; });
        if (stopping_) return;
        lock.unlock();
        RebuildBand(bands_[1]);
        lock.lock();
        finishedFrames_ = postedFrames_;
        finished_.notify_one();
    }
}

void Rgba8Rebuild::Run(Kernel kernel, Field field, const uint8_t* in, uint8_t* out) {
    frame_ = {kernel, field, in, out};
    if (!helper_.joinable()) {
        for (Band& band : bands_) RebuildBand(band);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        ++postedFrames_;
    }
    posted_.notify_one();
    RebuildBand(bands_[0]);
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] { return finishedFrames_ == postedFrames_; });
}

// The band's rebuilt rows, then its rows the rebuild left, copied as they are.
void Rgba8Rebuild::RebuildBand(Band& band) {
    MemoryRows store(frame_.in, frame_.out, width_, kernels_);
    NoPacing pacer;
    const FieldFrame frame{static_cast<int>(width_), static_cast<int>(height_), frame_.field};
    RebuildFieldBand(frame, band.rows, {frame_.kernel, kernels_}, band.buffers, store, pacer);
    if (frame_.in == frame_.out) return;
    const RebuiltRows rebuilt = RowsRebuilt(frame.height, frame.field);
    const std::size_t rowBytes = std::size_t{width_} * kBytesPerPixel;
    for (int y = band.rows.begin; y < band.rows.end; ++y) {
        const std::size_t offset = static_cast<std::size_t>(y) * rowBytes;
        if (!rebuilt.Contains(y)) std::memcpy(frame_.out + offset, frame_.in + offset, rowBytes);
    }
}
