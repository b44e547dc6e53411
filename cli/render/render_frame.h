#pragma once

#include <functional>
#include <string>

#include "cli/exit_codes.h"
#include "cli/render/run_mask.h"
#include "filter/filter_config.h"
#include "loader/message_window.h"
#include "loader/plugin_library.h"

// One frame through the plug-in, the step that batch and stream runs share.

// What every frame of a run is rendered with. The mask belongs to the run; frames only read
// its rows.
struct RenderContext {
    const PluginLibrary& plugin;
    FilterConfig config;
    RunMask* mask = nullptr;
};

// The host's render window: answers the filter's abort polls with what `abortWanted` says and
// hands each progress message to `progress`. It belongs to the thread that made it and may
// serve any number of renders on that thread.
class RenderWindow final : public MessageWindow {
  public:
    explicit RenderWindow(std::function<bool()> abortWanted, std::function<void()> progress = {});

    // Whether an abort poll has handed the filter a set flag.
    bool AbortDelivered() const { return abortDelivered_; }

  private:
    void OnProgress(WPARAM position, LPARAM total) override;
    void OnAbortPoll(WPARAM wParam, int32_t* flag) override;

    std::function<bool()> abortWanted_;
    std::function<void()> progress_;
    bool abortDelivered_ = false;
};

// Renders `frame` in place through a filter object of its own, in `window`. Fails with
// FailureCode::Aborted when the window handed the filter an abort, otherwise with
// FailureCode::RenderFailed and the reason; every message starts with `name`.
Failure RenderFrame(const RenderContext& context, Bitmap& frame, RenderWindow& window,
                    const std::string& name);

// How many progress messages a render sends: one per rebuilt line with a line below it, plus
// one per row for the mask pass.
int ExpectedProgressMessages(int height, Field field, bool mask);

// How frames are filtered, as the summary lines say it: "(six-point weighted, even lines)".
std::string RunDescription(const FilterConfig& config, bool masked);
