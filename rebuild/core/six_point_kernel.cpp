#include "rebuild/core/six_point_kernel.h"

#include <cstdint>

#include "rebuild/core/channels.h"
#include "rebuild/core/six_point_constants.h"

namespace {

// Diagonal sum times sqrt(2), plus the pixel below, plus the pixel above, times the
// normaliser: every step rounded to single precision, truncated at the end.
uint16_t Standard(uint32_t diagonalSum, uint16_t below, uint16_t above, float normaliser) {
    float t = static_cast<float>(diagonalSum) * kDiagonalFactor;
    t = t + static_cast<float>(below);
    t = t + static_cast<float>(above);
    t = t * normaliser;
    return static_cast<uint16_t>(t);
}

// The first pixel's red channel weighs its vertical and diagonal pairs separately, with its own
// rounding, unlike every other channel and pixel. This is how the filter has always computed
// that channel; rendered frames and the vector kernels match it bit for bit, so it stays.
uint16_t Split(uint16_t below, uint16_t above, uint16_t belowRight, uint16_t aboveRight) {
    const float vertical =
        static_cast<float>(static_cast<uint32_t>(below) + above) * kEdgeNormaliser;
    const float diagonal =
        static_cast<float>(static_cast<uint32_t>(aboveRight) + belowRight) * kEdgeDiagonalWeight;
    return static_cast<uint16_t>(vertical + diagonal);
}

uint32_t Sum(uint16_t a, uint16_t b) {
    return static_cast<uint32_t>(a) + b;
}

void EdgePixel(const BMM_Color_64& up, const BMM_Color_64& down, const BMM_Color_64& upSide,
               const BMM_Color_64& downSide, BMM_Color_64& out) {
    for (auto c : kChannels)
        out.*c = Standard(Sum(upSide.*c, downSide.*c), down.*c, up.*c, kEdgeNormaliser);
}

void InteriorPixel(const BMM_Color_64* up, const BMM_Color_64* down, std::size_t x,
                   BMM_Color_64& out) {
    for (auto c : kChannels) {
        const uint32_t diagonals =
            Sum(up[x - 1].*c, up[x + 1].*c) + Sum(down[x - 1].*c, down[x + 1].*c);
        out.*c = Standard(diagonals, down[x].*c, up[x].*c, kInteriorNormaliser);
    }
}

}  // namespace

void SixPointWeightedRow(const BMM_Color_64* upper, const BMM_Color_64* lower, BMM_Color_64* output,
                         std::size_t width) {
    if (width == 0) return;
    if (width == 1) {
        for (auto c : kChannels) output[0].*c = ChannelMean(upper[0].*c, lower[0].*c);
        return;
    }
    EdgePixel(upper[0], lower[0], upper[1], lower[1], output[0]);
    output[0].r = Split(lower[0].r, upper[0].r, lower[1].r, upper[1].r);
    for (std::size_t x = 1; x + 1 < width; ++x) InteriorPixel(upper, lower, x, output[x]);
    const std::size_t last = width - 1;
    EdgePixel(upper[last], lower[last], upper[last - 1], lower[last - 1], output[last]);
}
