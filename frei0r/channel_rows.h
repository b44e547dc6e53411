#pragma once

#include <cstddef>
#include <cstdint>

#include "rebuild/row_kernels.h"

// Whole rows of channels between 8 and 16 bits, chosen by processor level like the row kernels.

// An 8-bit channel value at 16 bits, exactly: v x 257.
inline uint16_t WidenChannel(uint8_t v) {
    return static_cast<uint16_t>(v * 257u);
}

// The nearest 8-bit value of a 16-bit channel value: (v x 255 + 32767) / 65535.
inline uint8_t NarrowChannel(uint16_t v) {
    return static_cast<uint8_t>((v * 255u + 32767u) / 65535u);
}

struct ChannelRows {
    void (*widen)(const uint8_t* from, uint16_t* into, std::size_t count);
    void (*narrow)(const uint16_t* from, uint8_t* into, std::size_t count);
};

// The conversions of one level, each equal to the per-channel functions above for every value.
// Call it only with a level the processor runs.
ChannelRows ChannelRowsFor(CpuLevel level);
