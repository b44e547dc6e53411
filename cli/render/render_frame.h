#pragma once

#include <string>

#include "cli/exit_codes.h"
#include "cli/render/renderer.h"
#include "cli/render/run_mask.h"
#include "filter/filter_config.h"
#include "hostsdk/plain_bitmap.h"

// One frame through the run's renderer, the step that batch and stream runs share, and what
// both renderers say alike.

// Renders `frame` in place with `step` (RenderStep::Render).
Failure RenderFrame(const RenderContext& context, hostsdk::PlainBitmap& frame, RenderStep& step,
                    const std::string& name);

// The run's mask for a frame of this size, held while `mask` lives; null without one; a mask that cannot be read fails
// as "NAME: its mask: why".
Failure MaskFor(const RenderContext& context, const hostsdk::PlainBitmap& frame,
                const std::string& name, std::shared_ptr<hostsdk::PlainBitmap>& mask);

// Why a render that was no abort failed. The configuration is checked before any frame is read,
// so the failure comes from the host side: a short mask, or a row call refused.
std::string RenderFailureReason(const Bitmap& frame, const Bitmap* mask);

// How many progress messages a render sends: one per rebuilt line with a line below it, plus
// one per row for the mask pass.
int ExpectedProgressMessages(int height, Field field, bool mask);

// How frames are filtered, as the summary lines say it: "(six-point weighted, even lines)".
std::string RunDescription(const FilterConfig& config, bool masked);
