#pragma once

#include <cstdint>

#include "host/bitmap.h"

namespace hostsdk {

// A frame in memory as a host keeps it: row calls check their bounds and copy, nothing more.
// Programs link it in for real frames (the SDK DLL does not export it); tests that watch row
// calls use InstrumentedBitmap.
class PlainBitmap final : public Bitmap {
  public:
    // Zero-filled pixels. When the memory cannot be had, the bitmap has no storage: it reports
    // 0 x 0 and Pixels() is null.
    PlainBitmap(uint16_t width, uint16_t height);
    ~PlainBitmap() override;

    // Row-major pixels, Width() per row; null without storage.
    BMM_Color_64* Pixels() { return pixels_; }
    const BMM_Color_64* Pixels() const { return pixels_; }
    BMM_Color_64* Row(int y) { return pixels_ + static_cast<std::size_t>(y) * width_; }
    const BMM_Color_64* Row(int y) const { return pixels_ + static_cast<std::size_t>(y) * width_; }

  private:
    uint16_t StorageWidth() const override;
    uint16_t StorageHeight() const override;
    int ReadPixels(int x, int y, int count, BMM_Color_64* pixels) override;
    int WritePixels(int x, int y, int count, const BMM_Color_64* pixels) override;
    int ReadGray(int x, int y, int count, uint16_t* values) override;

    bool Inside(int x, int y, int count) const;

    uint16_t width_ = 0;
    uint16_t height_ = 0;
    BMM_Color_64* pixels_ = nullptr;
};

}  // namespace hostsdk
