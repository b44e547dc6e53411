#include "rebuild/field_rules.h"

#include "rebuild/row_kernels.h"

namespace {

// The kernels of this processor, chosen once when the module initialises: a function-local
// static would take a lock (and, with some runtimes, allocate) on first use, inside a pass.
const RowKernels kRowKernels = RowKernelsFor(DetectCpuLevel());

constexpr int32_t kEven = 0;
constexpr int32_t kOdd = 1;

bool ReadsUpperRow(RebuildKernel kernel) {
    return kernel != RebuildKernel::CopyLine;
}
bool WritesOutputRow(RebuildKernel kernel) {
    return kernel == RebuildKernel::SixPointWeighted;
}

class FieldRebuild {
  public:
    FieldRebuild(const FieldFrame& frame, RebuildKernel kernel, RebuildRows& rows, RowStore& store)
        : frame_(frame), kernel_(kernel), rows_(rows), store_(store) {}

    // The rebuild loop: every rebuilt row that has a kept row below it, top to bottom.
    bool RunLoop(RowPacer& pacer) {
        const int total = ProgressTotal(frame_.height);
        for (int y = frame_.field == kOdd ? 1 : 0; y + 1 < frame_.height; y += 2) {
            if (!pacer.Continue(y + 1, total)) return false;
            if (!store_.ReadRow(y + 1, rows_.lower.data())) return false;
            if (!WriteRow(y, y == 0 ? rows_.lower.data() : RebuiltRow(y))) return false;
        }
        return true;
    }

    // A rebuilt last row has no row below it: it becomes a copy of the row above. A frame too
    // short to have that row is left as it is. A field other than 0 and 1 (a loaded block may
    // hold any value) rebuilds the even rows above but names no last row, so this step is
    // skipped.
    bool CopyLastRow() {
        const int height = frame_.height;
        const bool lastRowRebuilt =
            (frame_.field == kEven && height % 2 == 1) || (frame_.field == kOdd && height % 2 == 0);
        if (!lastRowRebuilt || height < 2) return true;
        return store_.ReadRow(height - 2, rows_.lower.data()) &&
               store_.WriteRow(height - 1, rows_.lower.data());
    }

  private:
    // Row y from the kept rows y - 1 and y + 1; the lower one is already read.
    const BMM_Color_64* RebuiltRow(int y) {
        if (kernel_ == RebuildKernel::CopyLine) return rows_.lower.data();
        if (!store_.ReadRow(y - 1, rows_.upper.data())) return nullptr;
        const auto width = static_cast<std::size_t>(frame_.width);
        if (kernel_ == RebuildKernel::TwoPointLinear) {
            kRowKernels.twoPointMean(rows_.upper.data(), rows_.lower.data(), width);
            return rows_.lower.data();
        }
        kRowKernels.sixPointWeighted(rows_.upper.data(), rows_.lower.data(), rows_.output.data(),
                                     width);
        return rows_.output.data();
    }

    bool WriteRow(int y, const BMM_Color_64* from) {
        return from != nullptr && store_.WriteRow(y, from);
    }

    const FieldFrame& frame_;
    RebuildKernel kernel_;
    RebuildRows& rows_;
    RowStore& store_;
};

}  // namespace

bool RebuildRows::Obtain(RebuildKernel kernel, std::size_t width) {
    lower = PixelRow::Obtain(width);
    if (!lower) return false;
    if (ReadsUpperRow(kernel) && !(upper = PixelRow::Obtain(width))) return false;
    if (WritesOutputRow(kernel) && !(output = PixelRow::Obtain(width))) return false;
    return true;
}

bool RebuildField(const FieldFrame& frame, RebuildKernel kernel, RebuildRows& rows, RowStore& store,
                  RowPacer& pacer) {
    FieldRebuild rebuild(frame, kernel, rows, store);
    return rebuild.RunLoop(pacer) && rebuild.CopyLastRow();
}
