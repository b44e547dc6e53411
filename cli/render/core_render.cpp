#include "cli/render/core_render.h"

#include <algorithm>

#include "hostsdk/linear_blend.h"
#include "hostsdk/row_calls.h"
#include "rebuild/core/channels.h"
#include "rebuild/core/field_rebuild.h"
#include "rebuild/core/mask_band.h"
#include "rebuild/core/row_buffer.h"

namespace {

BMM_Color_64* RowOf(FrameView frame, int y) {
    return frame.pixels + static_cast<std::size_t>(y) * frame.width;
}

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

// Mask row j's values as the host's grey row read gives them, for the first `count` pixels.
void ReadMaskRow(const MaskView& mask, int j, int count, uint16_t* values) {
    const BMM_Color_64* row = mask.pixels + static_cast<std::size_t>(j) * mask.width;
    for (int k = 0; k < count; ++k) values[k] = hostsdk::GrayOf(row[k]);
}

// Each channel of each in-band pixel through the blend helper, with the channel as both
// endpoints and the mask value as the weight, stored at once, as the plug-in's pass does.
void BlendRow(BMM_Color_64* pixels, const uint16_t* mask, int width) {
    for (int k = 0; k < width; ++k) {
        const uint16_t m = mask[k];
        if (!InMaskBand(m)) continue;
        for (auto c : kChannels) {
            const int value = pixels[k].*c;
            pixels[k].*c = static_cast<uint16_t>(hostsdk::LinearBlend(value, value, m));
        }
    }
}

// Every frame row with its mask row. Mask values past the mask's width stay 0 (out of the
// band); a mask row past the mask's height cannot be read, which ends the render as a failure.
CoreRenderResult RunMaskPass(FrameView frame, const MaskView& mask, PolledRows& pacer,
                             uint16_t* maskRow) {
    if (maskRow == nullptr)
        return CoreRenderResult::Rendered;  // as the plug-in: no buffer, no pass
    const int maskWidth = std::min(mask.width, frame.width);
    for (int j = 0; j < frame.height; ++j) {
        if (!pacer.Continue(j, ProgressTotal(frame.height))) return CoreRenderResult::Aborted;
        if (j >= mask.height) return CoreRenderResult::Failed;
        ReadMaskRow(mask, j, maskWidth, maskRow);
        BlendRow(RowOf(frame, j), maskRow, frame.width);
    }
    return CoreRenderResult::Rendered;
}

}  // namespace

CoreRenderBuffers::CoreRenderBuffers() : rows_(std::make_unique<RebuildBuffers>()) {}
CoreRenderBuffers::~CoreRenderBuffers() = default;

bool CoreRenderBuffers::RowsFor(Kernel kernel, std::size_t width) {
    if (rowsReady_ && rowsKernel_ == kernel && rowsWidth_ == width) return true;
    *rows_ = {};
    rowsReady_ = rows_->Obtain(kernel, width);
    rowsKernel_ = kernel;
    rowsWidth_ = width;
    return rowsReady_;
}

uint16_t* CoreRenderBuffers::MaskRow(std::size_t width) {
    if (!maskRow_ || maskWidth_ != width) {
        maskRow_ = RowBuffer<uint16_t>::Obtain(width);
        maskWidth_ = maskRow_ ? width : 0;
    }
    // Values past a narrower mask's width stay 0 for the whole pass: a row read fills the rest.
    if (maskRow_) std::fill(maskRow_.data(), maskRow_.data() + width, uint16_t{0});
    return maskRow_.data();
}

CoreRenderResult RenderWithCore(const FilterConfig& config, FrameView frame, const MaskView* mask,
                                const RenderPolls& polls) {
    CoreRenderBuffers buffers;
    return RenderWithCore(config, frame, mask, polls, buffers);
}

CoreRenderResult RenderWithCore(const FilterConfig& config, FrameView frame, const MaskView* mask,
                                const RenderPolls& polls, CoreRenderBuffers& buffers) {
    if (!IsDefinedKernel(config.mode)) return CoreRenderResult::Failed;
    if (!buffers.RowsFor(config.mode, frame.width)) return CoreRenderResult::Failed;
    FrameRows store(frame.pixels, frame.width);
    PolledRows pacer(polls);
    const FieldFrame field{frame.width, frame.height, config.field};
    if (!RebuildField(field, {config.mode, ProcessorKernels()}, buffers.Rows(), store, pacer)) {
        return pacer.Aborted() ? CoreRenderResult::Aborted : CoreRenderResult::Failed;
    }
    if (mask == nullptr) return CoreRenderResult::Rendered;
    return RunMaskPass(frame, *mask, pacer, buffers.MaskRow(frame.width));
}
