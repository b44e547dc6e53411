#pragma once

#include <cstddef>
#include <cstdint>

#include "host/color.h"
#include "rebuild/rebuild_kernels.h"
#include "rebuild/row_buffer.h"

// The rules of a field rebuild, apart from where the rows live: which rows are rebuilt for each
// field, the first-row and last-row copies, the short frames, and the kernels this processor
// runs. The plug-in's pass drives them over a host bitmap (with progress and abort to the host's
// window, then the mask pass); the video module drives them over rows in memory. No platform
// header comes in here.

// Where a rebuild reads kept rows from and writes rebuilt rows to. Each call covers the whole
// row and returns true only when it succeeded.
class RowStore {
  public:
    virtual bool ReadRow(int y, BMM_Color_64* into) = 0;
    virtual bool WriteRow(int y, const BMM_Color_64* from) = 0;

  protected:
    ~RowStore() = default;
};

// Asked before each rebuilt row is read: reports the position and says whether to go on.
class RowPacer {
  public:
    virtual bool Continue(int position, int total) = 0;

  protected:
    ~RowPacer() = default;
};

// For rows in memory: nothing to report to, and nobody who can ask the rebuild to stop.
class NoPacing final : public RowPacer {
  public:
    bool Continue(int, int) override { return true; }
};

// The row buffers of a rebuild, each one frame row wide: the kept row below (also where the
// two-point mean lands), the kept row above, and the six-point kernel's output row.
struct RebuildRows {
    RowBuffer<BMM_Color_64> lower;
    RowBuffer<BMM_Color_64> upper;
    RowBuffer<BMM_Color_64> output;

    // Obtains the buffers `kernel` uses, in the order lower, upper, output. False when the heap
    // refuses one; those already obtained are released with the object.
    bool Obtain(RebuildKernel kernel, std::size_t width);
};

struct FieldFrame {
    int width;
    int height;
    int32_t field;  // 1 rebuilds the odd rows, anything else the even rows
};

// The total every progress report of a frame carries: one sweep of its rows.
inline int ProgressTotal(int height) {
    return height - 1;
}

// The rows a rebuild may write, begin to end (exclusive). It still reads the kept rows just
// outside, so bands of one frame can be rebuilt apart, even at once, into the same store.
struct RowBand {
    int begin;
    int end;
};

// Rebuilds every row of the frame's field from the kept rows next to it, top to bottom, then
// the last row when it has no kept row below. `rows` must hold what `kernel` uses. False when
// the pacer stops the rebuild or a row call fails; rows already written stay written.
bool RebuildField(const FieldFrame& frame, RebuildKernel kernel, RebuildRows& rows, RowStore& store,
                  RowPacer& pacer);

// The same for the rebuilt rows inside `band` only.
bool RebuildFieldBand(const FieldFrame& frame, RowBand band, RebuildKernel kernel,
                      RebuildRows& rows, RowStore& store, RowPacer& pacer);
