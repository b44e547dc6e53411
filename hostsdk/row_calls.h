#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "host/color.h"

namespace hostsdk {

// Whether a row call of `count` pixels from (x, y) stays inside a width x height storage.
inline bool RowCallInside(int width, int height, int x, int y, int count) {
    return x >= 0 && count >= 0 && y >= 0 && y < height &&
           static_cast<long long>(x) + count <= width;
}

// The host's 16-bit grey of a pixel: its integer luma, so a pixel whose colour channels are
// equal reads back as that value exactly.
inline uint16_t GrayOf(const BMM_Color_64& pixel) {
    const long luma = 299L * pixel.r + 587L * pixel.g + 114L * pixel.b;
    return static_cast<uint16_t>(luma / 1000);
}

// Row copies as a host makes them: the processor's string move, which on current processors
// is the fastest copy of row-sized blocks (the runtime's memmove under Wine is much slower
// for them and would dominate every pass).
inline void CopyRow(BMM_Color_64* to, const BMM_Color_64* from, int count) {
#if defined(__x86_64__)
    void* destination = to;
    const void* source = from;
    std::size_t bytes = static_cast<std::size_t>(count) * sizeof(BMM_Color_64);
    asm volatile("rep movsb" : "+D"(destination), "+S"(source), "+c"(bytes) : : "memory");
#else
    std::copy_n(from, count, to);
#endif
}

}  // namespace hostsdk
