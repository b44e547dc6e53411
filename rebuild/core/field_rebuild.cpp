#include "rebuild/core/field_rebuild.h"

#include <algorithm>
#include <cstring>

namespace {

class BandRebuild {
  public:
    BandRebuild(const FieldFrame& frame, RowBand band, const RebuildMethod& method,
                RebuildBuffers& buffers, RowStore& store)
        : frame_(frame),
          rows_(RowsRebuilt(frame.height, frame.field)),
          band_(band),
          method_(method),
          buffers_(buffers),
          store_(store) {}

    // The loop rows in the band, top to bottom.
    bool RunLoop(RowPacer& pacer) {
        const int total = ProgressTotal(frame_.height);
        const int end = std::min(rows_.loopEnd, band_.end);
        for (int y = FirstLoopRow(); y < end; y += 2) {
            if (!pacer.Continue(y + 1, total)) return false;
            if (!store_.ReadRow(y + 1, buffers_.lower.data())) return false;
            if (!WriteRow(y, y == 0 ? buffers_.lower.data() : RebuiltRow(y))) return false;
        }
        return true;
    }

    // A rebuilt last row without a kept row below becomes a copy of the row above.
    bool CopyLastRow() {
        const int last = frame_.height - 1;
        if (!rows_.lastRowCopied || last < band_.begin || last >= band_.end) return true;
        return store_.ReadRow(last - 1, buffers_.lower.data()) &&
               store_.WriteRow(last, buffers_.lower.data());
    }

  private:
    // The first loop row at or below the band's first row.
    int FirstLoopRow() const {
        const int begin = std::max(band_.begin, rows_.first);
        return (begin - rows_.first) % 2 == 0 ? begin : begin + 1;
    }

    // Row y from the kept rows y - 1 and y + 1; the lower one is already read.
    const BMM_Color_64* RebuiltRow(int y) {
        if (method_.kernel == kCopyLine) return buffers_.lower.data();
        if (!store_.ReadRow(y - 1, buffers_.upper.data())) return nullptr;
        const auto width = static_cast<std::size_t>(frame_.width);
        if (method_.kernel == kTwoPointLinear) {
            method_.rows.twoPointMean(buffers_.upper.data(), buffers_.lower.data(), width);
            return buffers_.lower.data();
        }
        method_.rows.sixPointWeighted(buffers_.upper.data(), buffers_.lower.data(),
                                      buffers_.output.data(), width);
        return buffers_.output.data();
    }

    bool WriteRow(int y, const BMM_Color_64* from) {
        return from != nullptr && store_.WriteRow(y, from);
    }

    const FieldFrame& frame_;
    RebuiltRows rows_;
    RowBand band_;
    const RebuildMethod& method_;
    RebuildBuffers& buffers_;
    RowStore& store_;
};

}  // namespace

RebuiltRows RowsRebuilt(int height, Field field) {
    const bool lastRowRebuilt =
        (field == kEvenLines && height % 2 == 1) || (field == kOddLines && height % 2 == 0);
    // A frame too short to have a row above its last row leaves that row as it is.
    return {height, field == kOddLines ? 1 : 0, height - 1, lastRowRebuilt && height >= 2};
}

bool RebuiltRows::Contains(int y) const {
    if (y < 0 || y >= height) return false;
    if (y >= first && y < loopEnd && (y - first) % 2 == 0) return true;
    return lastRowCopied && y == height - 1;
}

// A frame of width 0 may have no pixels at all, and memcpy wants real addresses.
bool FrameRows::ReadRow(int y, BMM_Color_64* into) {
    if (width_ > 0) std::memcpy(into, Row(y), RowBytes());
    return true;
}

bool FrameRows::WriteRow(int y, const BMM_Color_64* from) {
    if (width_ > 0) std::memcpy(Row(y), from, RowBytes());
    return true;
}

bool RebuildBuffers::Obtain(Kernel kernel, std::size_t width) {
    lower = RowBuffer<BMM_Color_64>::Obtain(width);
    if (!lower) return false;
    if (ReadsUpperRow(kernel) && !(upper = RowBuffer<BMM_Color_64>::Obtain(width))) return false;
    if (WritesOutputRow(kernel) && !(output = RowBuffer<BMM_Color_64>::Obtain(width))) return false;
    return true;
}

bool RebuildFieldBand(const FieldFrame& frame, RowBand band, const RebuildMethod& method,
                      RebuildBuffers& buffers, RowStore& store, RowPacer& pacer) {
    BandRebuild rebuild(frame, band, method, buffers, store);
    return rebuild.RunLoop(pacer) && rebuild.CopyLastRow();
}

bool RebuildField(const FieldFrame& frame, const RebuildMethod& method, RebuildBuffers& buffers,
                  RowStore& store, RowPacer& pacer) {
    return RebuildFieldBand(frame, {0, frame.height}, method, buffers, store, pacer);
}
