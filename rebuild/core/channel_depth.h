#pragma once

#include <cstdint>

// Channel values between 8 and 16 bits, as every output at 8 bits rounds them: braidel-run's
// --depth 8 and the frei0r module, which must give the same bytes. Header only, so that the image
// codec uses the same definitions without linking the rebuild core.

// An 8-bit value at 16 bits, exactly: v * 257.
constexpr std::uint16_t To16Bit(std::uint8_t value) {
    return static_cast<std::uint16_t>(value * 257u);
}

// Nearest 8-bit value: (v * 255 + 32767) / 65535. No value lies halfway, as 257 is odd.
constexpr std::uint8_t To8Bit(std::uint16_t value) {
    return static_cast<std::uint8_t>((std::uint32_t{value} * 255u + 32767u) / 65535u);
}
