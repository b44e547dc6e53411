#pragma once

#include <cstdint>

#include "host/color.h"

// The four channels of a pixel, in the order every kernel visits them.
inline constexpr uint16_t BMM_Color_64::*kChannels[] = {&BMM_Color_64::r, &BMM_Color_64::g,
                                                        &BMM_Color_64::b, &BMM_Color_64::a};

// The two-point mean of one channel: 32-bit sum shifted right by one, so it rounds down and
// always fits in 16 bits.
inline uint16_t ChannelMean(uint16_t a, uint16_t b) {
    return static_cast<uint16_t>((static_cast<uint32_t>(a) + b) >> 1);
}
