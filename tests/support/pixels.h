#pragma once

// Comparing and printing pixels and rows, for every test and checker: pure code, so the native
// sanitizer build and the fuzzer use it as well as the programs under Wine.

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "host/color.h"

using PixelRow = std::vector<BMM_Color_64>;

inline bool operator==(const BMM_Color_64& a, const BMM_Color_64& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

inline void PrintTo(const BMM_Color_64& pixel, std::ostream* out) {
    *out << "{" << pixel.r << "," << pixel.g << "," << pixel.b << "," << pixel.a << "}";
}

// The first pixel and channel in which two rows differ, or an empty string.
inline std::string FirstDifference(const PixelRow& expected, const PixelRow& actual) {
    if (expected.size() != actual.size()) return "sizes differ";
    const char* names = "rgba";
    for (std::size_t x = 0; x < expected.size(); ++x) {
        const uint16_t e[] = {expected[x].r, expected[x].g, expected[x].b, expected[x].a};
        const uint16_t a[] = {actual[x].r, actual[x].g, actual[x].b, actual[x].a};
        for (int c = 0; c < 4; ++c) {
            if (e[c] != a[c]) {
                return "pixel " + std::to_string(x) + " channel " + names[c] + ": expected " +
                       std::to_string(e[c]) + ", got " + std::to_string(a[c]);
            }
        }
    }
    return {};
}

inline bool SameRow(const PixelRow& a, const PixelRow& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(BMM_Color_64)) == 0);
}
