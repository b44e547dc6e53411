#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/plan/run_plan.h"
#include "cli/render/image_io.h"
#include "cli/render/progress.h"
#include "filter/filter_config.h"
#include "hosting/plugin_library.h"

// What every frame of a run shares. The mask is read once; frames only read its rows.
struct FrameSettings {
    FilterConfig config;
    std::shared_ptr<const Image> mask;
    OutputOptions output;
};

// Filters one frame with a filter object of its own: reads the input (and the mask), renders
// with a progress window on the calling thread, and writes the output only after a complete
// render. On success `summary` describes what was done.
Failure RunFrame(const PluginLibrary& plugin, const FrameTask& task, const FrameSettings& settings,
                 ProgressReport& report, int index, std::wstring& summary);

// Filters every task on `jobs` threads (each with its own progress window).
// Tasks not started when an abort is requested fail with kExitAborted. Error lines are printed
// as frames fail; the result holds one entry per task, in task order.
std::vector<Failure> RunFrames(const PluginLibrary& plugin, const std::vector<FrameTask>& tasks,
                               const FrameSettings& settings, int jobs, ProgressReport& report);

// A filter object from the plug-in, given the configuration, the frame and the mask (none when
// null) as a host gives them; null when the plug-in creates none.
FilterPtr FilterFor(const PluginLibrary& plugin, FilterConfig config, Bitmap* frame, Bitmap* mask);

// Why a render that was not aborted returned 0, as far as the host side can tell.
std::wstring RenderFailureReason(const Bitmap& frame, const Bitmap* mask);

// How the frames are filtered, as the summary lines say it: "(six-point weighted, even lines)".
std::wstring RunDescription(const FilterConfig& config, bool masked);
