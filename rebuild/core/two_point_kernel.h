#pragma once

#include <cstddef>

#include "host/color.h"

// Each channel of lower becomes the mean of lower and upper, rounded down. This plain
// evaluation is the reference for any faster one.
void TwoPointMeanRow(const BMM_Color_64* upper, BMM_Color_64* lower, std::size_t width);
