#include "cli/render/render_frame.h"

#include <utility>

#include "cli/plan/names.h"
#include "cli/platform/text.h"
#include "rebuild/core/field_rebuild.h"

namespace {

// A filter object from the plug-in, given the configuration, the frame and the mask as a host
// gives them; null when the plug-in creates none.
FilterPtr FilterFor(const RenderContext& context, Bitmap& frame, Bitmap* mask) {
    FilterPtr filter = context.plugin.CreateFilter();
    if (!filter) return nullptr;
    FilterConfig config = context.config;
    filter->LoadConfig(&config);
    filter->SetSource(&frame);
    if (mask != nullptr) filter->SetMask(mask);
    return filter;
}

// The configuration is checked before any frame is read, so a failed render that is no abort
// comes from the host side: a short mask, or a row call refused.
std::string RenderFailureReason(const Bitmap& frame, const Bitmap* mask) {
    std::string why = "the render failed";
    if (mask != nullptr && mask->Height() < frame.Height()) {
        why += " (the mask has " + std::to_string(mask->Height()) + " rows, the frame " +
               std::to_string(frame.Height()) + ")";
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
                    const std::string& name) {
    if (window.Handle() == nullptr) {
        return {FailureCode::RenderFailed,
                name + ": no progress window: " + ErrorText(GetLastError())};
    }
    Bitmap* mask = nullptr;
    if (context.mask != nullptr) {
        Failure failure;
        mask = context.mask->For(frame.Width(), frame.Height(), failure);
        if (failure) return {failure.code, name + ": its mask: " + failure.reason};
    }
    FilterPtr filter = FilterFor(context, frame, mask);
    if (!filter) return {FailureCode::RenderFailed, name + ": the plug-in created no filter"};
    if (filter->Render(window.Handle()) == 1) return {};
    if (window.AbortDelivered()) return {FailureCode::Aborted, name + ": aborted"};
    return {FailureCode::RenderFailed, name + ": " + RenderFailureReason(frame, mask)};
}

int ExpectedProgressMessages(int height, Field field, bool mask) {
    return RowsRebuilt(height, field).LoopRowCount() + (mask ? height : 0);
}

std::string RunDescription(const FilterConfig& config, bool masked) {
    std::string text = "(";
    return text.append(DescribeMode(config.mode))
        .append(", ")
        .append(DescribeField(config.field))
        .append(masked ? ", masked)" : ")");
}
