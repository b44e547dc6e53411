#include "rebuild/rebuild_kernels.h"

#include "rebuild/vector_kernels.h"

namespace {

// The passes run the vector kernels; the plain ones are their reference.
void TwoPointKernel(const BMM_Color_64* upper, BMM_Color_64* lower, BMM_Color_64*,
                    std::size_t width) {
    TwoPointMeanRowFast(upper, lower, width);
}

void SixPointKernel(const BMM_Color_64* upper, BMM_Color_64* lower, BMM_Color_64* output,
                    std::size_t width) {
    SixPointWeightedRowFast(upper, lower, output, width);
}

}  // namespace

const RebuildKernel kTwoPointLinearKernel{true, false, TwoPointKernel};
const RebuildKernel kSixPointWeightedKernel{true, true, SixPointKernel};
