#pragma once

#include <cstddef>
#include <cstdint>

#include "host/color.h"
#include "rebuild/core/row_buffer.h"
#include "rebuild/core/row_kernels.h"
#include "rebuild/core/vocabulary.h"

// The rules of a field rebuild, apart from where the rows live: which rows are rebuilt for each
// field, the first-row and last-row copies, the short frames, and the kernel of each row. The
// plug-in's pass drives them over a host bitmap (with progress and abort to the host's window,
// then the mask pass); the video module drives them over 8-bit rows in memory, FrameRows over a
// 16-bit frame in memory. No platform header comes in here.

// Which rows a rebuild of a field writes in a frame of `height` rows. The loop rows are first,
// first + 2, ... below loopEnd: each has a kept row below and is made from it (row 0, with no
// row above, becomes a copy of row 1). Then a rebuilt last row without a kept row below becomes
// a copy of the row above, when the frame has one. A field other than kEvenLines and kOddLines
// (a loaded block may hold any value) rebuilds the even rows but names no last row.
struct RebuiltRows {
    int height;
    int first;           // 1 for kOddLines, 0 for any other field
    int loopEnd;         // exclusive
    bool lastRowCopied;  // row height - 1, from row height - 2

    // The loop rows: one progress report each.
    int LoopRowCount() const { return loopEnd > first ? (loopEnd - first + 1) / 2 : 0; }
    bool Contains(int y) const;
};

RebuiltRows RowsRebuilt(int height, Field field);

// What a kernel reads and writes besides the kept row below.
constexpr bool ReadsUpperRow(Kernel kernel) {
    return kernel != kCopyLine;
}
constexpr bool WritesOutputRow(Kernel kernel) {
    return kernel == kSixPointWeighted;
}

// Where a rebuild reads kept rows from and writes rebuilt rows to. Each call covers the whole
// row and returns true only when it succeeded.
class RowStore {
  public:
    virtual bool ReadRow(int y, BMM_Color_64* into) = 0;
    virtual bool WriteRow(int y, const BMM_Color_64* from) = 0;

  protected:
    ~RowStore() = default;
};

// Asked before each loop row is read: reports the position and says whether to go on.
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

// A whole frame of 16-bit pixels in memory, rows packed, rebuilt in place: a rebuild reads only
// kept rows and writes only rebuilt ones, so no row is read after it was written.
class FrameRows final : public RowStore {
  public:
    FrameRows(BMM_Color_64* pixels, int width) : pixels_(pixels), width_(width) {}

    bool ReadRow(int y, BMM_Color_64* into) override;
    bool WriteRow(int y, const BMM_Color_64* from) override;

  private:
    BMM_Color_64* Row(int y) const { return pixels_ + static_cast<std::size_t>(y) * width_; }
    std::size_t RowBytes() const { return static_cast<std::size_t>(width_) * sizeof(BMM_Color_64); }

    BMM_Color_64* pixels_;
    int width_;
};

// The row buffers of a rebuild, each one frame row wide: the kept row below (also where the
// two-point mean lands), the kept row above, and the six-point kernel's output row.
struct RebuildBuffers {
    RowBuffer<BMM_Color_64> lower;
    RowBuffer<BMM_Color_64> upper;
    RowBuffer<BMM_Color_64> output;

    // Obtains the buffers `kernel` uses, in the order lower, upper, output. False when the heap
    // refuses one; those already obtained are released with the object.
    bool Obtain(Kernel kernel, std::size_t width);
};

struct FieldFrame {
    int width;
    int height;
    Field field;
};

// What a rebuild does per row: the kernel and the processor level's evaluation of it
// (ProcessorKernels(), or RowKernelsFor a level to force one).
struct RebuildMethod {
    Kernel kernel;
    const RowKernels& rows;
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

// Rebuilds the frame's rebuilt rows (RowsRebuilt) from the kept rows next to them, top to
// bottom. `buffers` must hold what the kernel uses. False when the pacer stops the rebuild or a
// row call fails; rows already written stay written. The kernel must be a defined one.
bool RebuildField(const FieldFrame& frame, const RebuildMethod& method, RebuildBuffers& buffers,
                  RowStore& store, RowPacer& pacer);

// The same for the rebuilt rows inside `band` only.
bool RebuildFieldBand(const FieldFrame& frame, RowBand band, const RebuildMethod& method,
                      RebuildBuffers& buffers, RowStore& store, RowPacer& pacer);
