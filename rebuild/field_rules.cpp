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
    FieldRebuild(const FieldFrame& frame, RowBand band, RebuildKernel kernel, RebuildRows& rows,
                 RowStore& store)
        : frame_(frame), band_(band), kernel_(kernel), rows_(rows), store_(store) {}

    // The rebuild loop: every rebuilt row that has a kept row below it, top to bottom.
    bool RunLoop(RowPacer& pacer) {
        const int total = ProgressTotal(frame_.height);
        for (int y = FirstRebuiltRow(); y + 1 < frame_.height && y < band_.end; y += 2) {
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
        if (!lastRowRebuilt || height < 2 || !InBand(height - 1)) return true;
        return store_.ReadRow(height - 2, rows_.lower.data()) &&
               store_.WriteRow(height - 1, rows_.lower.data());
    }

  private:
    // The first row of the field's parity in the band: the odd rows for field 1, the even rows
    // for any other field.
    int FirstRebuiltRow() const {
        const int parity = frame_.field == kOdd ? 1 : 0;
        const int begin = band_.begin < parity ? parity : band_.begin;
        return begin % 2 == parity ? begin : begin + 1;
    }

    bool InBand(int y) const { return y >= band_.begin && y < band_.end; }

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
    RowBand band_;
    RebuildKernel kernel_;
    RebuildRows& rows_;
    RowStore& store_;
};

}  // namespace

bool RebuildRows::Obtain(RebuildKernel kernel, std::size_t width) {
    lower = RowBuffer<BMM_Color_64>::Obtain(width);
    if (!lower) return false;
    if (ReadsUpperRow(kernel) && !(upper = RowBuffer<BMM_Color_64>::Obtain(width))) return false;
    if (WritesOutputRow(kernel) && !(output = RowBuffer<BMM_Color_64>::Obtain(width))) return false;
    return true;
}

bool RebuildFieldBand(const FieldFrame& frame, RowBand band, RebuildKernel kernel,
                      RebuildRows& rows, RowStore& store, RowPacer& pacer) {
    FieldRebuild rebuild(frame, band, kernel, rows, store);
    return rebuild.RunLoop(pacer) && rebuild.CopyLastRow();
}

bool RebuildField(const FieldFrame& frame, RebuildKernel kernel, RebuildRows& rows, RowStore& store,
                  RowPacer& pacer) {
    return RebuildFieldBand(frame, {0, frame.height}, kernel, rows, store, pacer);
}
