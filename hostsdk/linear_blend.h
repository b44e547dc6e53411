#pragma once

#include <cstdint>

namespace hostsdk {

// The host's integer blend of a and b by the 16-bit weight l (0 gives a, 65535 gives b), in 64
// bits so that no weight can overflow. The SDK's ImageFilter::Lerp returns it, and braidel-run's
// own renderer blends masked pixels with it, so both hosts make the same frame.
inline int LinearBlend(int a, int b, int l) {
    const int64_t delta = static_cast<int64_t>(b) - a;
    return static_cast<int>(a + delta * l / 65535);
}

}  // namespace hostsdk
