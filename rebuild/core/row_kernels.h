#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/color.h"

// The per-row work of every rebuild, chosen by processor level in this one place: the kernels
// that make a rebuilt row and the conversions of whole rows of channels between 8 and 16 bits.
// Callers take the level the processor has (ProcessorKernels) or name one (RowKernelsFor):
// the checker, the fuzzer and the tests compare every level the machine runs with the plain
// reference.

enum class CpuLevel { Plain, Sse2, Avx2 };

struct RowKernels {
    // Each channel of lower becomes the mean of lower and upper, rounded down (in place).
    void (*twoPointMean)(const BMM_Color_64* upper, BMM_Color_64* lower, std::size_t width);
    // The six-point weighted row from the kept rows above and below; the rows must not overlap.
    void (*sixPointWeighted)(const BMM_Color_64* upper, const BMM_Color_64* lower,
                             BMM_Color_64* output, std::size_t width);
    // `count` channels at 8 bits widened exactly (To16Bit), and narrowed to the nearest
    // 8-bit value (To8Bit).
    void (*widen)(const uint8_t* from, uint16_t* into, std::size_t count);
    void (*narrow)(const uint16_t* from, uint8_t* into, std::size_t count);
};

// The kernels of one level. Plain gives the reference kernels; the others give vector kernels
// that are bit for bit equal to them. Call it only with a level the processor runs.
RowKernels RowKernelsFor(CpuLevel level);

// The kernels of the highest level this processor runs, chosen once when the program or module
// is loaded: choosing inside a pass would take a lock (and, with some runtimes, allocate).
const RowKernels& ProcessorKernels();

// The highest level this processor runs.
CpuLevel DetectCpuLevel();

// Every level this processor runs, Plain first.
std::vector<CpuLevel> AvailableCpuLevels();

const char* CpuLevelName(CpuLevel level);
