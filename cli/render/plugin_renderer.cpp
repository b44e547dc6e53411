// The Windows program's renderer: the loaded plug-in, each frame through a filter object of its
// own in the thread's render window, as a host renders.

#include <windows.h>

#include <cstdio>
#include <functional>
#include <utility>

#include "cli/platform/windows/console_abort.h"
#include "cli/render/render_frame.h"
#include "cli/render/renderer.h"
#include "loader/message_window.h"
#include "loader/plugin_library.h"
#include "loader/win32_text.h"

namespace {

// The host's render window: answers the filter's abort polls with what `abortWanted` says and
// hands each progress message to `progress`.
class RenderWindow final : public MessageWindow {
  public:
    RenderWindow(std::function<bool()> abortWanted, std::function<void()> progress)
        : abortWanted_(std::move(abortWanted)), progress_(std::move(progress)) {}

    // Whether an abort poll has handed the filter a set flag.
    bool AbortDelivered() const { return abortDelivered_; }

  private:
    void OnProgress(WPARAM, LPARAM) override {
        if (progress_) progress_();
    }
    void OnAbortPoll(WPARAM, int32_t* flag) override {
        if (flag == nullptr || !abortWanted_()) return;
        *flag = 1;
        abortDelivered_ = true;
    }

    std::function<bool()> abortWanted_;
    std::function<void()> progress_;
    bool abortDelivered_ = false;
};

// A filter object from the plug-in, given the configuration, the frame and the mask as a host
// gives them; null when the plug-in creates none.
FilterPtr FilterFor(const PluginLibrary& plugin, const FilterConfig& settled, Bitmap& frame,
                    Bitmap* mask) {
    FilterPtr filter = plugin.CreateFilter();
    if (!filter) return nullptr;
    FilterConfig config = settled;
    filter->LoadConfig(&config);
    filter->SetSource(&frame);
    if (mask != nullptr) filter->SetMask(mask);
    return filter;
}

class PluginStep final : public RenderStep {
  public:
    PluginStep(const PluginLibrary& plugin, std::function<bool()> abortWanted,
               std::function<void()> progress)
        : plugin_(plugin), window_(std::move(abortWanted), std::move(progress)) {}

    Failure Render(const RenderContext& context, hostsdk::PlainBitmap& frame,
                   const std::string& name) override {
        if (window_.Handle() == nullptr) {
            return {FailureCode::RenderFailed,
                    name + ": no progress window: " + ErrorText(GetLastError())};
        }
        std::shared_ptr<hostsdk::PlainBitmap> mask;
        if (Failure failure = MaskFor(context, frame, name, mask)) return failure;
        FilterPtr filter = FilterFor(plugin_, context.config, frame, mask.get());
        if (!filter) return {FailureCode::RenderFailed, name + ": the plug-in created no filter"};
        if (filter->Render(window_.Handle()) == 1) return {};
        if (window_.AbortDelivered()) return {FailureCode::Aborted, name + ": aborted"};
        return {FailureCode::RenderFailed, name + ": " + RenderFailureReason(frame, mask.get())};
    }

  private:
    const PluginLibrary& plugin_;
    RenderWindow window_;
};

// The plug-in's own filter object: its LoadConfig and SaveConfig decide what the block becomes.
class PluginConfigFilter final : public ConfigFilter {
  public:
    explicit PluginConfigFilter(FilterPtr filter) : filter_(std::move(filter)) {}

    void Load(const FilterConfig& config) override {
        FilterConfig block = config;
        filter_->LoadConfig(&block);
    }
    FilterConfig Saved() override {
        FilterConfig block;
        filter_->SaveConfig(&block);
        return block;
    }
    Failure ShowSetup() override {
        const int result = [&] {
            const DialogScope dialog;
            return filter_->ShowSetup(nullptr);
        }();
        if (result == -1) {
            return {FailureCode::RenderFailed,
                    "the setup dialog could not be shown: " + ErrorText(GetLastError())};
        }
        if (result == 0) return {FailureCode::Aborted, "setup cancelled; nothing done"};
        return {};
    }

  private:
    FilterPtr filter_;
};

class PluginRenderer final : public Renderer {
  public:
    const PluginLibrary& Plugin() const { return plugin_; }

    std::string VersionText() const override {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08lX", plugin_.Version());
        return "plug-in: " + plugin_.Description() + ", version " + hex;
    }

    Failure NewConfigFilter(std::unique_ptr<ConfigFilter>& filter) const override {
        FilterPtr object = plugin_.CreateFilter();
        if (!object) return {FailureCode::RenderFailed, "the plug-in created no filter"};
        filter = std::make_unique<PluginConfigFilter>(std::move(object));
        return {};
    }

    Failure ShowAbout() const override {
        FilterPtr filter = plugin_.CreateFilter();
        if (!filter) return {FailureCode::RenderFailed, "the plug-in created no filter"};
        const DialogScope dialog;
        if (filter->ShowAbout(nullptr) == -1) {
            return {FailureCode::RenderFailed,
                    "the about box could not be shown: " + ErrorText(GetLastError())};
        }
        return {};
    }

    std::unique_ptr<RenderStep> NewStep(std::function<bool()> abortWanted,
                                        std::function<void()> progress) const override {
        return std::make_unique<PluginStep>(plugin_, std::move(abortWanted), std::move(progress));
    }

  private:
    PluginLibrary plugin_;
};

}  // namespace

Failure Renderer::Load(std::unique_ptr<Renderer>& renderer) {
    auto plugin = std::make_unique<PluginRenderer>();
    if (!plugin->Plugin().Loaded()) return plugin->Plugin().LoadFailure();
    renderer = std::move(plugin);
    return {};
}
