#include "rebuild/rebuild_kernels.h"

#include <cstdint>

#include "rebuild/channels.h"
#include "rebuild/six_point_kernel.h"

namespace {

void TwoPointKernel(const BMM_Color_64* upper, BMM_Color_64* lower, BMM_Color_64*,
                    std::size_t width) {
    TwoPointMeanRow(upper, lower, width);
}

void SixPointKernel(const BMM_Color_64* upper, BMM_Color_64* lower, BMM_Color_64* output,
                    std::size_t width) {
    SixPointWeightedRow(upper, lower, output, width);
}

}  // namespace

void TwoPointMeanRow(const BMM_Color_64* upper, BMM_Color_64* lower, std::size_t width) {
    for (std::size_t x = 0; x < width; ++x) {
        for (auto c : kChannels) lower[x].*c = ChannelMean(lower[x].*c, upper[x].*c);
    }
}

const RebuildKernel kTwoPointLinearKernel{true, false, TwoPointKernel};
const RebuildKernel kSixPointWeightedKernel{true, true, SixPointKernel};
