#pragma once

#include <cstdint>

// True when a mask value hands its pixel to the host's blend helper: 1 to 65529. The band stops
// six short of the top: 0 and 65530 to 65535 leave the pixel alone without a call, and results
// depend on exactly where it ends. One unsigned 16-bit comparison, in which 0 wraps round to the
// top. The plug-in's mask pass and braidel-run's own renderer both test it here.
inline bool InMaskBand(uint16_t m) {
    return static_cast<uint16_t>(m - 1) <= 65528;
}
