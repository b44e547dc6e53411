#pragma once

#include <windows.h>

#include "host/bitmap.h"
#include "host/image_filter.h"
#include "rebuild/core/vocabulary.h"

// What one rebuild pass over host bitmaps works on.
struct PassTarget {
    Bitmap* frame;        // rewritten in place; required
    Bitmap* mask;         // optional: with it, the mask pass ends the rebuild
    Field field;          // kOddLines rebuilds the odd rows, anything else the even rows
    ImageFilter& filter;  // its Lerp blends the masked pixels
};

// The plug-in's pass: rebuilds the frame's field through the host's row calls with `kernel` (a
// defined one) at this processor's level, then runs the mask pass when there is a mask. Reports
// progress to `progressWindow` and polls it for an abort before every row. Returns 1 for a
// completed frame, 0 after an abort or a failed host call; rows already written stay written.
int RunBitmapPass(const PassTarget& target, Kernel kernel, HWND progressWindow);
