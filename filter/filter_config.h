#pragma once

// The filter's configuration block: the 8 bytes a host persists with its work and hands back.
// This header is the block's contract, shared by the plug-in and by every program that reads or
// writes such blocks (braidel-run's --config and --save-config); it depends on nothing but the
// rebuild core's vocabulary, whose numbers are the block's.

#include <cstddef>
#include <cstdint>

#include "rebuild/core/vocabulary.h"

// The block: mode at offset 0, field at offset 4, each a signed 32-bit little-endian integer;
// no version, no checksum. The plug-in copies it whole and checks neither value.
struct FilterConfig {
    Kernel mode = kCopyLine;
    Field field = kEvenLines;
};

static_assert(sizeof(FilterConfig) == 8, "the persisted block is 8 bytes");
static_assert(offsetof(FilterConfig, mode) == 0 && offsetof(FilterConfig, field) == 4,
              "mode, then field");
