#include "frei0r/rgba8_rebuild.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr std::size_t kBytesPerPixel = 4;

// The frame's kept rows are read widened from the input frame; rebuilt rows are written narrowed
// into the output frame, and marked, so that every row the rebuild leaves is copied afterwards.
class MemoryRows final : public RowStore {
  public:
    MemoryRows(const uint8_t* in, uint8_t* out, std::size_t width, uint8_t* written)
        : in_(in), out_(out), rowBytes_(width * kBytesPerPixel), written_(written) {}

    bool ReadRow(int y, BMM_Color_64* into) override {
        const uint8_t* from = in_ + static_cast<std::size_t>(y) * rowBytes_;
        for (std::size_t x = 0; x < rowBytes_ / kBytesPerPixel; ++x, from += kBytesPerPixel) {
            into[x] = {Widen(from[0]), Widen(from[1]), Widen(from[2]), Widen(from[3])};
        }
        return true;
    }

    bool WriteRow(int y, const BMM_Color_64* from) override {
        uint8_t* into = out_ + static_cast<std::size_t>(y) * rowBytes_;
        for (std::size_t x = 0; x < rowBytes_ / kBytesPerPixel; ++x, into += kBytesPerPixel) {
            into[0] = NarrowChannel(from[x].r);
            into[1] = NarrowChannel(from[x].g);
            into[2] = NarrowChannel(from[x].b);
            into[3] = NarrowChannel(from[x].a);
        }
        written_[y] = 1;
        return true;
    }

  private:
    static uint16_t Widen(uint8_t v) { return static_cast<uint16_t>(v * 257u); }

    const uint8_t* in_;
    uint8_t* out_;
    std::size_t rowBytes_;
    uint8_t* written_;
};

// Frames in memory are rebuilt whole: there is no one to report to or to ask.
class Unpaced final : public RowPacer {
  public:
    bool Continue(int, int) override { return true; }
};

}  // namespace

std::unique_ptr<Rgba8Rebuild> Rgba8Rebuild::Create(unsigned width, unsigned height) {
    // Rows and columns are counted in int by the rebuild rules.
    constexpr unsigned kLargest = 1u << 30;
    if (width > kLargest || height > kLargest) return nullptr;
    RebuildRows rows;
    // The six-point kernel uses every buffer, so the kernel can change between frames.
    if (!rows.Obtain(RebuildKernel::SixPointWeighted, width)) return nullptr;
    try {
        return std::unique_ptr<Rgba8Rebuild>(new Rgba8Rebuild(width, height, std::move(rows)));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

Rgba8Rebuild::Rgba8Rebuild(unsigned width, unsigned height, RebuildRows rows)
    : width_(width), height_(height), rows_(std::move(rows)), rowWritten_(height) {}

void Rgba8Rebuild::Run(RebuildKernel kernel, int32_t field, const uint8_t* in, uint8_t* out) {
    std::memset(rowWritten_.data(), 0, rowWritten_.size());
    MemoryRows store(in, out, width_, rowWritten_.data());
    Unpaced pacer;
    const FieldFrame frame{static_cast<int>(width_), static_cast<int>(height_), field};
    RebuildField(frame, kernel, rows_, store, pacer);
    if (in == out) return;
    const std::size_t rowBytes = std::size_t{width_} * kBytesPerPixel;
    for (std::size_t y = 0; y < height_; ++y) {
        if (!rowWritten_[y]) std::memcpy(out + y * rowBytes, in + y * rowBytes, rowBytes);
    }
}
