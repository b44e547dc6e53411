#include "cli/render/core_render.h"

#include "hostsdk/linear_blend.h"
#include "hostsdk/row_calls.h"
#include "rebuild/core/field_rebuild.h"
#include "rebuild/core/render_pass.h"

namespace {

// The render step's polls where the plug-in sends its progress message and abort poll.
class PolledRows final : public RowPacer {
  public:
    explicit PolledRows(const RenderPolls& polls) : polls_(polls) {}

    bool Continue(int, int) override {
        if (polls_.progress) polls_.progress();
        aborted_ = polls_.abortWanted && polls_.abortWanted();
        return !aborted_;
    }
    bool Aborted() const { return aborted_; }

  private:
    const RenderPolls& polls_;
    bool aborted_ = false;
};

// Mask rows as the host's grey row read gives them; a row past the mask's height cannot be
// read, which ends the render as a failure.
class MemoryMaskRows final : public MaskRows {
  public:
    explicit MemoryMaskRows(const MaskView& mask) : mask_(mask) {}

    int Width() const override { return mask_.width; }
    bool ReadRow(int y, int count, uint16_t* values) override {
        if (y >= mask_.height) return false;
        const BMM_Color_64* row = mask_.pixels + static_cast<std::size_t>(y) * mask_.width;
        for (int k = 0; k < count; ++k) values[k] = hostsdk::GrayOf(row[k]);
        return true;
    }

  private:
    const MaskView& mask_;
};

// braidel-run's blend helper, the one the SDK's Lerp returns.
class HostBlend final : public BlendHelper {
  public:
    int Lerp(int from, int to, int weight) override {
        return hostsdk::LinearBlend(from, to, weight);
    }
};

}  // namespace

CoreRenderBuffers::CoreRenderBuffers() : buffers_(std::make_unique<RenderBuffers>()) {}
CoreRenderBuffers::~CoreRenderBuffers() = default;

bool CoreRenderBuffers::For(Kernel kernel, std::size_t width, bool masked) {
    if (ready_ && kernel_ == kernel && width_ == width && masked_ == masked) return true;
    *buffers_ = {};
    ready_ = buffers_->Obtain(kernel, width, masked);
    kernel_ = kernel;
    width_ = width;
    masked_ = masked;
    return ready_;
}

CoreRenderResult RenderWithCore(const FilterConfig& config, FrameView frame, const MaskView* mask,
                                const RenderPolls& polls) {
    CoreRenderBuffers buffers;
    return RenderWithCore(config, frame, mask, polls, buffers);
}

CoreRenderResult RenderWithCore(const FilterConfig& config, FrameView frame, const MaskView* mask,
                                const RenderPolls& polls, CoreRenderBuffers& buffers) {
    if (!IsDefinedKernel(config.mode)) return CoreRenderResult::Failed;
    if (!buffers.For(config.mode, frame.width, mask != nullptr)) return CoreRenderResult::Failed;
    FrameRows store(frame.pixels, frame.width);
    PolledRows pacer(polls);
    const FieldFrame field{frame.width, frame.height, config.field};
    const RebuildMethod method{config.mode, ProcessorKernels()};
    bool rendered = false;
    if (mask == nullptr) {
        rendered = RunRenderPass(field, method, buffers.Buffers(), store, pacer, nullptr);
    } else {
        MemoryMaskRows maskRows(*mask);
        HostBlend blend;
        const MaskInput maskInput{maskRows, blend};
        rendered = RunRenderPass(field, method, buffers.Buffers(), store, pacer, &maskInput);
    }
    if (rendered) return CoreRenderResult::Rendered;
    return pacer.Aborted() ? CoreRenderResult::Aborted : CoreRenderResult::Failed;
}
