#pragma once

#include <bit>
#include <cstdint>

// The six-point kernel's single-precision constants, fixed by their bit patterns: the two edge
// ones lie one unit in the last place below the correctly rounded closed forms, and results
// depend on it. Every evaluation of the kernel, plain or vectorised, takes them from here.
inline constexpr float kDiagonalFactor = std::bit_cast<float>(0x3FB504F3u);      // sqrt(2)
inline constexpr float kEdgeNormaliser = std::bit_cast<float>(0x3E5413CCu);      // 1/(2+2sqrt2)
inline constexpr float kEdgeDiagonalWeight = std::bit_cast<float>(0x3E95F619u);  // sqrt2/(2+2sqrt2)
inline constexpr float kInteriorNormaliser = std::bit_cast<float>(0x3E05BC84u);  // 1/(2+4sqrt2)
