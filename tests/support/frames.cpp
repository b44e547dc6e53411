#include "tests/support/frames.h"

#include <random>

void FillFrame(hostsdk::InstrumentedBitmap& frame, uint32_t seed) {
    std::mt19937 random(seed);
    for (int y = 0; y < frame.Height(); ++y) {
        for (int x = 0; x < frame.Width(); ++x) {
            if (seed == 0) {
                const auto base = static_cast<uint16_t>(y * 1000 + x * 10);
                frame.Pixel(x, y) = {
                    static_cast<uint16_t>(base + 1), static_cast<uint16_t>(base + 2),
                    static_cast<uint16_t>(base + 3), static_cast<uint16_t>(60000 - base)};
            } else {
                auto next = [&] { return static_cast<uint16_t>(random() & 0xFFFF); };
                frame.Pixel(x, y) = {next(), next(), next(), next()};
            }
        }
    }
}

PixelRow RowOf(const hostsdk::InstrumentedBitmap& frame, int y) {
    PixelRow row;
    for (int x = 0; x < frame.Width(); ++x) row.push_back(frame.Pixel(x, y));
    return row;
}

FrameRows Snapshot(const hostsdk::InstrumentedBitmap& frame) {
    FrameRows rows;
    for (int y = 0; y < frame.Height(); ++y) rows.push_back(RowOf(frame, y));
    return rows;
}

std::vector<int> RowsCalled(const hostsdk::InstrumentedBitmap& bitmap, hostsdk::RowOp op) {
    std::vector<int> rows;
    for (int i = 0; i < bitmap.CallCount(); ++i) {
        if (bitmap.Call(i).op == op) rows.push_back(bitmap.Call(i).y);
    }
    return rows;
}

bool AllCallsInside(const hostsdk::InstrumentedBitmap& bitmap) {
    for (int i = 0; i < bitmap.CallCount(); ++i) {
        if (!bitmap.Call(i).inside) return false;
    }
    return true;
}

PixelRow MeanOf(const PixelRow& upper, const PixelRow& lower) {
    PixelRow mean(upper.size());
    auto m = [](uint16_t a, uint16_t b) { return static_cast<uint16_t>((a + b) / 2); };
    for (std::size_t x = 0; x < upper.size(); ++x) {
        mean[x] = {m(upper[x].r, lower[x].r), m(upper[x].g, lower[x].g), m(upper[x].b, lower[x].b),
                   m(upper[x].a, lower[x].a)};
    }
    return mean;
}
