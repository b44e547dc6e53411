// The native program's renderer: the rebuild core the plug-in is made of, on frames in
// braidel-run's own memory (core_render.cpp), configured as the plug-in configures itself.

#include <string>
#include <utility>

#include "cli/render/core_render.h"
#include "cli/render/render_frame.h"
#include "cli/render/renderer.h"
#include "plugin/description.h"
#include "rebuild/core/row_kernels.h"

namespace {

class CoreStep final : public RenderStep {
  public:
    CoreStep(std::function<bool()> abortWanted, std::function<void()> progress)
        : polls_{std::move(abortWanted), std::move(progress)} {}

    Failure Render(const RenderContext& context, hostsdk::PlainBitmap& frame,
                   const std::string& name) override {
        std::shared_ptr<hostsdk::PlainBitmap> mask;
        if (Failure failure = MaskFor(context, frame, name, mask)) return failure;
        const FrameView pixels{frame.Pixels(), frame.Width(), frame.Height()};
        MaskView maskPixels{};
        if (mask != nullptr) maskPixels = {mask->Pixels(), mask->Width(), mask->Height()};
        switch (RenderWithCore(context.config, pixels, mask ? &maskPixels : nullptr, polls_,
                               buffers_)) {
            case CoreRenderResult::Rendered:
                return {};
            case CoreRenderResult::Aborted:
                return {FailureCode::Aborted, name + ": aborted"};
            case CoreRenderResult::Failed:
                break;
        }
        return {FailureCode::RenderFailed, name + ": " + RenderFailureReason(frame, mask.get())};
    }

  private:
    RenderPolls polls_;
    CoreRenderBuffers buffers_;  // a stream's frames take their rows from the heap once
};

// The block as the plug-in's filter object holds it: its LoadConfig and SaveConfig copy the
// 8-byte block whole, and a new filter holds the default block.
class BlockHolder final : public ConfigFilter {
  public:
    void Load(const FilterConfig& config) override { block_ = config; }
    FilterConfig Saved() override { return block_; }
    Failure ShowSetup() override {
        return {FailureCode::RenderFailed,
                "--setup needs the plug-in's dialog, which only the Windows program shows; "
                "choose with --mode and --field, or --config a saved block"};
    }

  private:
    FilterConfig block_;
};

class CoreRenderer final : public Renderer {
  public:
    std::string VersionText() const override {
        return std::string("rebuild core of " BRAIDEL_PLUGIN_DESCRIPTION ", processor level ") +
               CpuLevelName(DetectCpuLevel());
    }

    Failure NewConfigFilter(std::unique_ptr<ConfigFilter>& filter) const override {
        filter = std::make_unique<BlockHolder>();
        return {};
    }

    Failure ShowAbout() const override {
        return {FailureCode::RenderFailed,
                "--about needs the plug-in's about box, which only the Windows program shows; "
                "braidel-run --version says what this program is"};
    }

    std::unique_ptr<RenderStep> NewStep(std::function<bool()> abortWanted,
                                        std::function<void()> progress) const override {
        return std::make_unique<CoreStep>(std::move(abortWanted), std::move(progress));
    }
};

}  // namespace

Failure Renderer::Load(std::unique_ptr<Renderer>& renderer) {
    renderer = std::make_unique<CoreRenderer>();
    return {};
}
