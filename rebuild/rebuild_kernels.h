#pragma once

// What a rebuild pass does per row: the copy line takes the kept row below as it is; the
// two-point kernel averages the kept rows above and below into the lower row's buffer; the
// six-point kernel weighs them into an output row of its own.
enum class RebuildKernel { CopyLine, TwoPointLinear, SixPointWeighted };
