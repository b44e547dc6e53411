#pragma once

#include <cstdint>

// One pixel: four unsigned 16-bit channels, red, green, blue, alpha. Rows are contiguous arrays
// of it. This header stands alone so that code working on pixel rows needs nothing else of the
// host.
struct BMM_Color_64 {
    uint16_t r;
    uint16_t g;
    uint16_t b;
    uint16_t a;
};
