#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "cli/exit_codes.h"
#include "cli/plan/both_eyes.h"
#include "cli/render/renderer.h"
#include "hostsdk/plain_bitmap.h"

// Both eyes' views of one frame (--both-eyes): the frame decoded once, copied, each copy rendered
// with the field its eye rebuilds, then packed, left eye first.

// Renders `left` in place as the left eye's view and `right` as the right eye's, both from the
// pixels `left` holds on entry (`right` has the frame's size; what it held is replaced). The
// renders run one after the other on `step`, with the run's kernel and mask.
Failure RenderBothViews(const RenderContext& context, const BothEyes& eyes,
                        hostsdk::PlainBitmap& left, hostsdk::PlainBitmap& right, RenderStep& step,
                        const std::string& name);

// As RenderBothViews, with the right eye's view rendered meanwhile on a thread of its own, on a
// step that `newStep` makes there (a step belongs to the thread that made it). When no thread
// can start, the views are rendered one after the other on `step`.
Failure RenderBothViewsAtOnce(const RenderContext& context, const BothEyes& eyes,
                              hostsdk::PlainBitmap& left, hostsdk::PlainBitmap& right,
                              RenderStep& step,
                              const std::function<std::unique_ptr<RenderStep>()>& newStep,
                              const std::string& name);

// The two views in one frame of PackedSizeOf(layout, ...) pixels, row after row: side by side
// (left half, right half) or top and bottom; two outputs stack them as top and bottom.
void PackViews(EyeLayout layout, const hostsdk::PlainBitmap& left,
               const hostsdk::PlainBitmap& right, BMM_Color_64* packed);

// How many progress messages the two renders send together.
int ExpectedProgressMessagesForViews(int height, const BothEyes& eyes, bool mask);

// How the summary lines describe the run: RunDescription's, or for both eyes
// "(two-point linear, both eyes side by side, left eye on the first row, masked)".
std::string DescribeRun(const RenderContext& context);
