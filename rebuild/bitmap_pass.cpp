#include "rebuild/bitmap_pass.h"

#include "rebuild/core/field_rebuild.h"
#include "rebuild/mask_pass.h"
#include "rebuild/progress_channel.h"

namespace {

// The frame's rows through the host's row calls; a call succeeds only when it returns 1.
class BitmapRows final : public RowStore {
  public:
    explicit BitmapRows(Bitmap& frame) : frame_(frame), width_(frame.Width()) {}

    bool ReadRow(int y, BMM_Color_64* into) override {
        return frame_.GetPixels(0, y, width_, into) == 1;
    }
    bool WriteRow(int y, const BMM_Color_64* from) override {
        return frame_.PutPixels(0, y, width_, from) == 1;
    }

  private:
    Bitmap& frame_;
    int width_;
};

// Each rebuilt row is announced to the host's window, then the host is asked whether to stop.
class WindowPacer final : public RowPacer {
  public:
    explicit WindowPacer(ProgressChannel& progress) : progress_(progress) {}

    bool Continue(int position, int total) override { return progress_.Step(position, total); }

  private:
    ProgressChannel& progress_;
};

}  // namespace

int RunBitmapPass(const PassTarget& target, Kernel kernel, HWND progressWindow) {
    if (target.frame == nullptr) return 0;
    Bitmap& frame = *target.frame;
    const uint16_t width = frame.Width();
    RebuildBuffers buffers;
    if (!buffers.Obtain(kernel, width)) return 0;
    // Without its buffer the mask pass is skipped and the render still succeeds: the mask pass
    // only refines a complete rebuild, and failing would throw away a finished frame.
    RowBuffer<uint16_t> maskRow;
    if (target.mask != nullptr) maskRow = RowBuffer<uint16_t>::Obtain(width);

    ProgressChannel progress(progressWindow);
    BitmapRows store(frame);
    WindowPacer pacer(progress);
    const FieldFrame geometry{width, frame.Height(), target.field};
    if (!RebuildField(geometry, {kernel, ProcessorKernels()}, buffers, store, pacer)) return 0;
    if (!maskRow) return 1;
    const MaskPassRows maskRows{frame, *target.mask, target.filter, buffers.lower.data(),
                                maskRow.data()};
    return RunMaskPass(maskRows, progress, ProgressTotal(geometry.height)) ? 1 : 0;
}
