#pragma once

#include <cstdint>

#include "cli/exit_codes.h"
#include "cli/plan/run_plan.h"
#include "cli/platform/status_line.h"
#include "cli/render/render_frame.h"

// Filters a stream of raw rgba64le frames (no header, whole frames back to back) from
// task.input to task.output, either of which may be "-" for the standard stream; each frame
// gets a filter object of its own. One thread
// reads whole frames, `jobs` threads render them (a filter object per frame) and one writes
// them in stream order; at most jobs + 2 frames are in memory. A file output replaces its
// destination only once the stream is complete. Progress and the summary line go to the status
// line; the returned failure's message still needs the program's prefix.
Failure RunRawStream(const RenderContext& context, const StreamTask& task, FrameSize format,
                     int jobs, StatusLine& status);
