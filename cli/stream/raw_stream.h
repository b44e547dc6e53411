#pragma once

#include <cstdint>

#include "cli/batch/frame_job.h"
#include "cli/exit_codes.h"
#include "cli/plan/run_plan.h"
#include "hosting/plugin_library.h"

// The size of every frame of a raw stream.
struct RawFormat {
    uint16_t width = 0;
    uint16_t height = 0;
};

// Filters a stream of raw rgba64le frames (no header, whole frames back to back) from
// task.input to task.output, either of which may be "-" for the standard stream. One thread
// reads whole frames, `jobs` threads render them (a filter object per frame) and one writes
// them in stream order; at most jobs + 2 frames are in memory. A file output replaces its
// destination only once the stream is complete. Progress and the summary line go to stderr
// unless `quiet`; the returned failure's message still needs the program's prefix.
Failure RunRawStream(const PluginLibrary& plugin, const FrameTask& task,
                     const FrameSettings& settings, RawFormat format, int jobs, bool quiet);
