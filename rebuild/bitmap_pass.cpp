#include "rebuild/bitmap_pass.h"

#include "rebuild/core/render_pass.h"
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

// The mask's values through the host's grey row call.
class BitmapMaskRows final : public MaskRows {
  public:
    explicit BitmapMaskRows(Bitmap& mask) : mask_(mask) {}

    int Width() const override { return mask_.Width(); }
    bool ReadRow(int y, int count, uint16_t* values) override {
        return mask_.Get16Gray(0, y, count, values) == 1;
    }

  private:
    Bitmap& mask_;
};

// The host's own blend helper.
class FilterBlend final : public BlendHelper {
  public:
    explicit FilterBlend(ImageFilter& filter) : filter_(filter) {}

    int Lerp(int from, int to, int weight) override { return filter_.Lerp(from, to, weight); }

  private:
    ImageFilter& filter_;
};

// Each row is announced to the host's window, then the host is asked whether to stop.
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
    RenderBuffers buffers;
    if (!buffers.Obtain(kernel, width, target.mask != nullptr)) return 0;

    ProgressChannel progress(progressWindow);
    BitmapRows store(frame);
    WindowPacer pacer(progress);
    const FieldFrame geometry{width, frame.Height(), target.field};
    const RebuildMethod method{kernel, ProcessorKernels()};
    auto render = [&](const MaskInput* mask) {
        return RunRenderPass(geometry, method, buffers, store, pacer, mask) ? 1 : 0;
    };
    if (target.mask == nullptr) return render(nullptr);
    BitmapMaskRows maskRows(*target.mask);
    FilterBlend blend(target.filter);
    const MaskInput mask{maskRows, blend};
    return render(&mask);
}
