#pragma once

#include <cstddef>

#include "host/color.h"

// Rebuilds one row from the kept rows above and below: each pixel is the weighted mean of the
// three nearest pixels of each (two at the row ends), diagonals weighing sqrt(2), verticals 1,
// evaluated in single precision in a fixed order and truncated. This plain evaluation is the
// reference for any faster one. A row of one pixel takes the mean of the pixel above and below.
void SixPointWeightedRow(const BMM_Color_64* upper, const BMM_Color_64* lower, BMM_Color_64* output,
                         std::size_t width);
