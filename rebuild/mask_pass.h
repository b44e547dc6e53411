#pragma once

#include <cstdint>

#include "host/bitmap.h"
#include "host/image_filter.h"
#include "rebuild/progress_channel.h"

// The buffers and bitmaps the mask pass borrows from its rebuild pass.
struct MaskPassRows {
    Bitmap& frame;
    Bitmap& mask;
    ImageFilter& filter;
    BMM_Color_64* frameRow;  // frame width pixels
    uint16_t* maskRow;       // frame width values, zero-filled; entries past the mask width stay 0
};

// True when a mask value hands its pixel to Lerp: 1 to 65529. The band stops six short of the
// top: 0 and 65530 to 65535 leave the pixel alone without a call, and results depend on exactly
// where it ends. One unsigned 16-bit comparison, in which 0 wraps round to the top.
inline bool InMaskBand(uint16_t m) {
    return static_cast<uint16_t>(m - 1) <= 65528;
}

// Visits every frame row: reads it and its mask row, passes each channel of each in-band
// pixel through the filter's Lerp, writes the row back. False after an abort or a failed
// host call.
bool RunMaskPass(const MaskPassRows& rows, ProgressChannel& progress, int total);
