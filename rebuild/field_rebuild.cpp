#include "rebuild/field_rebuild.h"

#include "rebuild/mask_pass.h"
#include "rebuild/progress_channel.h"
#include "rebuild/row_buffer.h"
#include "rebuild/row_kernels.h"

namespace {

using PixelRow = RowBuffer<BMM_Color_64>;

// The kernels of this processor, chosen once when the module initialises: a function-local
// static would take a lock (and, with some runtimes, allocate) on first use, inside a pass.
const RowKernels kRowKernels = RowKernelsFor(DetectCpuLevel());

bool ReadsUpperRow(RebuildKernel kernel) {
    return kernel != RebuildKernel::CopyLine;
}
bool WritesOutputRow(RebuildKernel kernel) {
    return kernel == RebuildKernel::SixPointWeighted;
}

// The row buffers of one pass, obtained in the order lower, upper, output.
struct PassRows {
    PixelRow lower;
    PixelRow upper;
    PixelRow output;

    bool Obtain(RebuildKernel kernel, std::size_t width) {
        lower = PixelRow::Obtain(width);
        if (!lower) return false;
        if (ReadsUpperRow(kernel) && !(upper = PixelRow::Obtain(width))) return false;
        if (WritesOutputRow(kernel) && !(output = PixelRow::Obtain(width))) return false;
        return true;
    }
};

class FieldRebuild {
  public:
    FieldRebuild(const RebuildTarget& target, RebuildKernel kernel, PassRows& rows)
        : frame_(*target.frame),
          kernel_(kernel),
          rows_(rows),
          field_(target.field),
          width_(frame_.Width()),
          height_(frame_.Height()) {}

    // The rebuild loop: every rebuilt row that has a kept row below it, top to bottom.
    bool RebuildRows(ProgressChannel& progress, int total) {
        for (int y = field_ == kOdd ? 1 : 0; y + 1 < height_; y += 2) {
            if (!progress.Step(y + 1, total)) return false;
            if (!ReadRow(y + 1, rows_.lower.data())) return false;
            if (!WriteRow(y, y == 0 ? rows_.lower.data() : RebuiltRow(y))) return false;
        }
        return true;
    }

    // A rebuilt last row has no row below it: it becomes a copy of the row above. A frame too
    // short to have that row is left as it is. A field other than 0 and 1 (a loaded block may
    // hold any value) rebuilds the even rows above but names no last row, so this step is
    // skipped.
    bool CopyLastRow() {
        const bool lastRowRebuilt =
            (field_ == kEven && height_ % 2 == 1) || (field_ == kOdd && height_ % 2 == 0);
        if (!lastRowRebuilt || height_ < 2) return true;
        return ReadRow(height_ - 2, rows_.lower.data()) &&
               WriteRow(height_ - 1, rows_.lower.data());
    }

  private:
    static constexpr int32_t kEven = 0;
    static constexpr int32_t kOdd = 1;

    // Row y from the kept rows y - 1 and y + 1; the lower one is already read.
    const BMM_Color_64* RebuiltRow(int y) {
        if (kernel_ == RebuildKernel::CopyLine) return rows_.lower.data();
        if (!ReadRow(y - 1, rows_.upper.data())) return nullptr;
        if (kernel_ == RebuildKernel::TwoPointLinear) {
            kRowKernels.twoPointMean(rows_.upper.data(), rows_.lower.data(), width_);
            return rows_.lower.data();
        }
        kRowKernels.sixPointWeighted(rows_.upper.data(), rows_.lower.data(), rows_.output.data(),
                                     width_);
        return rows_.output.data();
    }

    bool ReadRow(int y, BMM_Color_64* into) { return frame_.GetPixels(0, y, width_, into) == 1; }

    bool WriteRow(int y, const BMM_Color_64* from) {
        return from != nullptr && frame_.PutPixels(0, y, width_, from) == 1;
    }

    Bitmap& frame_;
    RebuildKernel kernel_;
    PassRows& rows_;
    int32_t field_;
    int width_;
    int height_;
};

}  // namespace

int RunFieldRebuild(const RebuildTarget& target, RebuildKernel kernel, HWND progressWindow) {
    if (target.frame == nullptr) return 0;
    const uint16_t width = target.frame->Width();
    PassRows rows;
    if (!rows.Obtain(kernel, width)) return 0;
    // Without its buffer the mask pass is skipped and the render still succeeds: the mask pass
    // only refines a complete rebuild, and failing would throw away a finished frame.
    RowBuffer<uint16_t> maskRow;
    if (target.mask != nullptr) maskRow = RowBuffer<uint16_t>::Obtain(width);

    ProgressChannel progress(progressWindow);
    // Each phase reports one full sweep of the frame's rows.
    const int total = target.frame->Height() - 1;
    FieldRebuild rebuild(target, kernel, rows);
    if (!rebuild.RebuildRows(progress, total) || !rebuild.CopyLastRow()) return 0;
    if (!maskRow) return 1;
    const MaskPassRows maskRows{*target.frame, *target.mask, target.filter, rows.lower.data(),
                                maskRow.data()};
    return RunMaskPass(maskRows, progress, total) ? 1 : 0;
}
