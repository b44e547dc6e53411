#include "cli/render/render_frame.h"

#include <utility>

#include "cli/plan/names.h"
#include "cli/platform/text.h"
#include "rebuild/core/field_rebuild.h"

namespace {

// A filter object from the plug-in, given the configuration, the frame and the mask as a host
// gives them; null when the plug-in creates none.
FilterPtr FilterFor(const RenderContext& context, Bitmap& frame) {
    FilterPtr filter = context.plugin.CreateFilter();
    if (!filter) return nullptr;
    FilterConfig config = context.config;
    filter->LoadConfig(&config);
    filter->SetSource(&frame);
    if (context.mask != nullptr) filter->SetMask(context.mask);
    return filter;
}

// The configuration is checked before any frame is read, so a failed render that is no abort
// comes from the host side: a short mask, or a row call refused.
std::wstring RenderFailureReason(const Bitmap& frame, const Bitmap* mask) {
    std::wstring why = L"the render failed";
    if (mask != nullptr && mask->Height() < frame.Height()) {
        why += L" (the mask has " + std::to_wstring(mask->Height()) + L" rows, the frame " +
               std::to_wstring(frame.Height()) + L")";
    }
    return why;
}

}  // namespace

RenderWindow::RenderWindow(std::function<bool()> abortWanted, std::function<void()> progress)
    : abortWanted_(std::move(abortWanted)), progress_(std::move(progress)) {}

void RenderWindow::OnProgress(WPARAM, LPARAM) {
    if (progress_) progress_();
}

void RenderWindow::OnAbortPoll(WPARAM, int32_t* flag) {
    if (flag == nullptr || !abortWanted_()) return;
    *flag = 1;
    abortDelivered_ = true;
}

Failure RenderFrame(const RenderContext& context, Bitmap& frame, RenderWindow& window,
                    const std::wstring& name) {
    if (window.Handle() == nullptr) {
        return {kExitRenderFailed, name + L": no progress window: " + ErrorText(GetLastError())};
    }
    FilterPtr filter = FilterFor(context, frame);
    if (!filter) return {kExitRenderFailed, name + L": the plug-in created no filter"};
    if (filter->Render(window.Handle()) == 1) return {};
    if (window.AbortDelivered()) return {kExitAborted, name + L": aborted"};
    return {kExitRenderFailed, name + L": " + RenderFailureReason(frame, context.mask)};
}

int ExpectedProgressMessages(int height, Field field, bool mask) {
    return RowsRebuilt(height, field).LoopRowCount() + (mask ? height : 0);
}

std::wstring RunDescription(const FilterConfig& config, bool masked) {
    return L"(" + DescribeMode(config.mode) + L", " + DescribeField(config.field) +
           (masked ? L", masked" : L"") + L")";
}
