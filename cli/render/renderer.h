#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/exit_codes.h"
#include "cli/plan/arguments.h"
#include "cli/plan/both_eyes.h"
#include "cli/plan/run_plan.h"
#include "filter/filter_config.h"
#include "hostsdk/plain_bitmap.h"

// What renders a run's frames, behind the one render step that batch and stream share. The
// Windows program renders through the loaded plug-in, each frame with a filter object of its own
// in a render window (plugin_renderer.cpp); the native program renders with the rebuild core in
// its own memory (native_renderer.cpp), byte for byte what the plug-in makes.

class Renderer;
class RunMask;

// What every frame of a run is rendered with. The mask belongs to the run; frames only read
// its rows.
struct RenderContext {
    const Renderer& renderer;
    FilterConfig config;
    RunMask* mask = nullptr;
    std::optional<BothEyes> bothEyes;  // both views of every frame, each with its own field
};

// One thread's render step: it belongs to the thread that made it and may serve any number of
// renders there. It asks `abortWanted` where the plug-in polls for an abort, and calls
// `progress` once per progress message the plug-in sends.
class RenderStep {
  public:
    virtual ~RenderStep() = default;

    // Renders `frame` in place. Fails with FailureCode::Aborted when an abort poll stopped it,
    // otherwise with FailureCode::RenderFailed and the reason; every message starts with `name`.
    virtual Failure Render(const RenderContext& context, hostsdk::PlainBitmap& frame,
                           const std::string& name) = 0;
};

// The configuration block as a filter object holds it: loaded and saved as the plug-in's
// LoadConfig and SaveConfig do, and changed by its setup dialog.
class ConfigFilter {
  public:
    virtual ~ConfigFilter() = default;
    virtual void Load(const FilterConfig& config) = 0;
    virtual FilterConfig Saved() = 0;
    // The setup dialog on the loaded block: FailureCode::Aborted when the user cancels it,
    // FailureCode::RenderFailed when it cannot be shown.
    virtual Failure ShowSetup() = 0;
};

class Renderer {
  public:
    // The run's renderer; fails with FailureCode::RenderFailed (the plug-in cannot be loaded).
    static Failure Load(std::unique_ptr<Renderer>& renderer);
    virtual ~Renderer() = default;

    // What --version says after "braidel-run VERSION; ": what renders the frames.
    virtual std::string VersionText() const = 0;

    // A filter object to settle the run's configuration through (SettleConfig); fails with
    // FailureCode::RenderFailed when the plug-in creates none.
    virtual Failure NewConfigFilter(std::unique_ptr<ConfigFilter>& filter) const = 0;

    // The plug-in's about box (FailureCode::RenderFailed when it cannot be shown).
    virtual Failure ShowAbout() const = 0;

    virtual std::unique_ptr<RenderStep> NewStep(std::function<bool()> abortWanted,
                                                std::function<void()> progress = {}) const = 0;
};

// The configuration every frame gets, settled as a host settles it through a filter object:
// the loaded block (files.config) or the filter's own, then --mode and --field, then the setup
// dialog. Not yet checked.
Failure SettleConfig(const Renderer& renderer, const RunOptions& options, const RunFiles& files,
                     FilterConfig& config);
