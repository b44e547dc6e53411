#pragma once

#include <vector>

#include "cli/batch/batch_progress.h"
#include "cli/exit_codes.h"
#include "cli/plan/run_plan.h"
#include "cli/render/image_io.h"
#include "cli/render/render_frame.h"

// Filters every task on the worker threads `jobs` allows (cli/render/workers.h), each frame
// with a render step of its own: read from its input once its pixels fit
// in the run's frame memory, rendered, and written to its output only after a complete render.
// Tasks not started when an abort is requested fail with FailureCode::Aborted. Error lines are
// printed as frames fail; the result holds one entry per task, in task order.
std::vector<Failure> RunBatch(const RenderContext& context, const OutputOptions& output,
                              const std::vector<FrameTask>& tasks, int jobs,
                              ProgressReport& report);
