#pragma once

// The filter's configuration block: the 8 bytes a host persists with its work and hands back.
// This header is the block's contract, shared by the plug-in and by every program that reads or
// writes such blocks (braidel-run's --config and --save-config); it depends on nothing else.

#include <cstddef>
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

// The block: mode at offset 0, field at offset 4, each a signed 32-bit little-endian integer;
// no version, no checksum. The plug-in copies it whole and checks neither value.
struct FilterConfig {
    FilterMode mode = kCopyLine;
    FieldChoice field = kEvenLines;
};

static_assert(sizeof(FilterConfig) == 8, "the persisted block is 8 bytes");
static_assert(offsetof(FilterConfig, mode) == 0 && offsetof(FilterConfig, field) == 4,
              "mode, then field");

// Whether a value names one of the defined kernels or fields.
constexpr bool IsDefinedMode(int32_t mode) {
    return mode >= kCopyLine && mode <= kSixPointWeighted;
}
constexpr bool IsDefinedField(int32_t field) {
    return field == kEvenLines || field == kOddLines;
}
