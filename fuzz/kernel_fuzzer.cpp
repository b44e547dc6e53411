// libFuzzer target: random widths and rows through every vector kernel, compared bit for bit
// with the plain kernels. Input: the width as two little-endian bytes (taken modulo 4097),
// then the channel values of the upper and the lower row, repeated as needed to fill them.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "rebuild/core/row_kernels.h"
#include "rebuild/core/six_point_kernel.h"
#include "rebuild/core/two_point_kernel.h"
#include "tests/support/pixels.h"

namespace {

using Row = PixelRow;

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

    static const std::vector<CpuLevel> levels = AvailableCpuLevels();
    for (CpuLevel level : levels) {
        const RowKernels kernels = RowKernelsFor(level);
        Row output(width, BMM_Color_64{1, 2, 3, 4});
        const Row upperBefore = upper, lowerBefore = lower;
        kernels.sixPointWeighted(upper.data(), lower.data(), output.data(), width);
        Require(SameRow(output, referenceSix) && SameRow(upper, upperBefore) &&
                SameRow(lower, lowerBefore));
        Row two = lower;
        kernels.twoPointMean(upper.data(), two.data(), width);
        Require(SameRow(two, referenceTwo));
    }
    return 0;
}
