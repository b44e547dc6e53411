#include "hostsdk/plain_bitmap.h"

#include <new>

#include "hostsdk/row_calls.h"

namespace hostsdk {

PlainBitmap::PlainBitmap(uint16_t width, uint16_t height) {
    const std::size_t count = static_cast<std::size_t>(width) * height;
    pixels_ = new (std::nothrow) BMM_Color_64[count == 0 ? 1 : count]();
    if (pixels_ == nullptr) return;
    width_ = width;
    height_ = height;
}

PlainBitmap::~PlainBitmap() {
    delete[] pixels_;
}

uint16_t PlainBitmap::StorageWidth() const {
    return width_;
}
uint16_t PlainBitmap::StorageHeight() const {
    return height_;
}

bool PlainBitmap::Inside(int x, int y, int count) const {
    return pixels_ != nullptr && RowCallInside(width_, height_, x, y, count);
}

int PlainBitmap::ReadPixels(int x, int y, int count, BMM_Color_64* pixels) {
    if (!Inside(x, y, count)) return 0;
    CopyRow(pixels, Row(y) + x, count);
    return 1;
}

int PlainBitmap::WritePixels(int x, int y, int count, const BMM_Color_64* pixels) {
    if (!Inside(x, y, count)) return 0;
    CopyRow(Row(y) + x, pixels, count);
    return 1;
}

int PlainBitmap::ReadGray(int x, int y, int count, uint16_t* values) {
    if (!Inside(x, y, count)) return 0;
    const BMM_Color_64* row = Row(y) + x;
    for (int i = 0; i < count; ++i) values[i] = GrayOf(row[i]);
    return 1;
}

}  // namespace hostsdk
