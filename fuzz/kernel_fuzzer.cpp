// libFuzzer target: random widths and rows through every vector kernel, compared bit for bit
// with the plain kernels. Input: the width as two little-endian bytes (taken modulo 4097),
// then the channel values of the upper and the lower row, repeated as needed to fill them.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "rebuild/six_point_kernel.h"
#include "rebuild/two_point_kernel.h"
#include "rebuild/vector_kernels.h"

namespace {

using Row = std::vector<BMM_Color_64>;

bool Same(const Row& a, const Row& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(BMM_Color_64)) == 0);
}

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t width = (data[0] | (std::size_t{data[1]} << 8)) % 4097;
    data += 2;
    size -= 2;
    // Rows of exactly `width` pixels, so that the sanitizer sees any access past either end.
    Row upper(width), lower(width);
    auto fill = [&](Row& row, std::size_t offset) {
        auto* bytes = reinterpret_cast<unsigned char*>(row.data());
        for (std::size_t i = 0; i < width * sizeof(BMM_Color_64); ++i)
            bytes[i] = size == 0 ? 0 : data[(offset + i) % size];
    };
    fill(upper, 0);
    fill(lower, width * sizeof(BMM_Color_64));

    Row referenceSix(width);
    SixPointWeightedRow(upper.data(), lower.data(), referenceSix.data(), width);
    Row referenceTwo = lower;
    TwoPointMeanRow(upper.data(), referenceTwo.data(), width);

    __builtin_cpu_init();
    const bool avx2 = __builtin_cpu_supports("avx2");
    using Six = void (*)(const BMM_Color_64*, const BMM_Color_64*, BMM_Color_64*, std::size_t);
    using Two = void (*)(const BMM_Color_64*, BMM_Color_64*, std::size_t);
    const Six sixPoint[] = {SixPointWeightedRowSse2, SixPointWeightedRowFast,
                            avx2 ? SixPointWeightedRowAvx2 : SixPointWeightedRowSse2};
    const Two twoPoint[] = {TwoPointMeanRowSse2, TwoPointMeanRowFast,
                            avx2 ? TwoPointMeanRowAvx2 : TwoPointMeanRowSse2};
    for (Six kernel : sixPoint) {
        Row output(width, BMM_Color_64{1, 2, 3, 4});
        const Row upperBefore = upper, lowerBefore = lower;
        kernel(upper.data(), lower.data(), output.data(), width);
        Require(Same(output, referenceSix) && Same(upper, upperBefore) && Same(lower, lowerBefore));
    }
    for (Two kernel : twoPoint) {
        Row output = lower;
        kernel(upper.data(), output.data(), width);
        Require(Same(output, referenceTwo));
    }
    return 0;
}
