#pragma once

#include <cstdint>

// Kernel selection. A loaded configuration block may carry any 32-bit value.
enum FilterMode : int32_t {
    kCopyLine = 0,
    kTwoPointLinear = 1,
    kSixPointWeighted = 2,
};

// Which line parity is rebuilt. A loaded configuration block may carry any 32-bit value.
enum FieldChoice : int32_t {
    kEvenLines = 0,
    kOddLines = 1,
};

// The configuration block the host persists: mode, then field, 32-bit little-endian each.
struct FilterConfig {
    FilterMode mode = kCopyLine;
    FieldChoice field = kEvenLines;
};

static_assert(sizeof(FilterConfig) == 8, "the persisted block is 8 bytes");
