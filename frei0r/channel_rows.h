#pragma once

#include <cstddef>
#include <cstdint>

#include "rebuild/row_kernels.h"

// Whole rows of channels between 8 and 16 bits, chosen by processor level like the row kernels.

struct ChannelRows {
    void (*widen)(const uint8_t* from, uint16_t* into, std::size_t count);
    void (*narrow)(const uint16_t* from, uint8_t* into, std::size_t count);
};

// The conversions of one level, each equal for every value to image_files::To16Bit and To8Bit,
// braidel-run's own widening and rounding. Call it only with a level the processor runs.
ChannelRows ChannelRowsFor(CpuLevel level);
