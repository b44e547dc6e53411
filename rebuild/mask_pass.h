#pragma once

#include <cstdint>

#include "host/bitmap.h"
#include "host/image_filter.h"
#include "rebuild/core/mask_band.h"
#include "rebuild/progress_channel.h"

// The buffers and bitmaps the mask pass borrows from its rebuild pass.
struct MaskPassRows {
    Bitmap& frame;
    Bitmap& mask;
    ImageFilter& filter;
    BMM_Color_64* frameRow;  // frame width pixels
    uint16_t* maskRow;       // frame width values, zero-filled; entries past the mask width stay 0
};

// Visits every frame row: reads it and its mask row, passes each channel of each in-band
// pixel through the filter's Lerp, writes the row back. False after an abort or a failed
// host call.
bool RunMaskPass(const MaskPassRows& rows, ProgressChannel& progress, int total);
