#pragma once

#include <algorithm>
#include <cstddef>

#include "host/color.h"

namespace hostsdk {

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
