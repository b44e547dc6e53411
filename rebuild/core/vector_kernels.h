#pragma once

#include <cstddef>

#include "host/color.h"

// Vector evaluations of the per-row kernels, bit for bit equal to the plain ones
// (TwoPointMeanRow, SixPointWeightedRow) for every input and width. The rows must not overlap,
// except that the two-point kernel rewrites lower in place.

// SSE2, present on every x86-64 processor.
void TwoPointMeanRowSse2(const BMM_Color_64* upper, BMM_Color_64* lower, std::size_t width);
void SixPointWeightedRowSse2(const BMM_Color_64* upper, const BMM_Color_64* lower,
                             BMM_Color_64* output, std::size_t width);
// The SSE2 evaluation of the first pixel, the interior pixels from x on, and the last pixel of a
// row of at least two pixels; the interior pixels before x are left as they are.
void SixPointWeightedRowSse2From(const BMM_Color_64* upper, const BMM_Color_64* lower,
                                 BMM_Color_64* output, std::size_t width, std::size_t x);

// AVX2: call only where the processor has it.
void TwoPointMeanRowAvx2(const BMM_Color_64* upper, BMM_Color_64* lower, std::size_t width);
void SixPointWeightedRowAvx2(const BMM_Color_64* upper, const BMM_Color_64* lower,
                             BMM_Color_64* output, std::size_t width);
