#pragma once

#include <cstddef>

#include "host/color.h"
#include "rebuild/two_point_kernel.h"

// What a rebuild pass needs of its per-row kernel. The row written back is the output row
// when the kernel has one, else the lower row (which the kernel may rewrite in place).
struct RebuildKernel {
    bool readsUpperRow;
    bool writesOutputRow;
    // Rebuilds one row from the kept rows above (upper) and below (lower); null for a plain
    // copy of the lower row.
    void (*rebuildRow)(const BMM_Color_64* upper, BMM_Color_64* lower, BMM_Color_64* output,
                       std::size_t width);
};

inline constexpr RebuildKernel kCopyLineKernel{false, false, nullptr};
extern const RebuildKernel kTwoPointLinearKernel;
extern const RebuildKernel kSixPointWeightedKernel;
