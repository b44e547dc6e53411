#pragma once

#include <windows.h>

#include <cstdint>

#include "host/bitmap.h"
#include "host/image_filter.h"
#include "rebuild/rebuild_kernels.h"

// What one rebuild pass works on.
struct RebuildTarget {
    Bitmap* frame;        // rewritten in place; required
    Bitmap* mask;         // optional: with it, the mask pass ends the rebuild
    int32_t field;        // 1 rebuilds the odd rows, anything else the even rows
    ImageFilter& filter;  // its Lerp blends the masked pixels
};

// Rebuilds every row of the chosen parity from the kept rows next to it, top to bottom, then
// runs the mask pass when there is a mask. Reports progress to `progressWindow` and polls it
// for an abort before every row. Returns 1 for a completed frame, 0 after an abort or a failed
// host call; rows already written stay written.
int RunFieldRebuild(const RebuildTarget& target, RebuildKernel kernel, HWND progressWindow);
