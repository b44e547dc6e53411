#pragma once

#include <cstddef>
#include <vector>

#include "host/color.h"

// The per-row kernels and their selection by processor level, chosen in one place: the passes
// take the kernels of the level the processor has, the checker and the fuzzer compare every
// level the machine runs with the plain reference.

enum class CpuLevel { Plain, Sse2, Avx2 };

struct RowKernels {
    // Each channel of lower becomes the mean of lower and upper, rounded down (in place).
    void (*twoPointMean)(const BMM_Color_64* upper, BMM_Color_64* lower, std::size_t width);
    // The six-point weighted row from the kept rows above and below; the rows must not overlap.
    void (*sixPointWeighted)(const BMM_Color_64* upper, const BMM_Color_64* lower,
                             BMM_Color_64* output, std::size_t width);
};

// The kernels of one level. Plain gives the reference kernels; the others give vector kernels
// that are bit for bit equal to them. Call it only with a level the processor runs.
RowKernels RowKernelsFor(CpuLevel level);

// The highest level this processor runs.
CpuLevel DetectCpuLevel();

// Every level this processor runs, Plain first.
std::vector<CpuLevel> AvailableCpuLevels();

const char* CpuLevelName(CpuLevel level);
