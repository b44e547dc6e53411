#include "cli/render/both_views.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "cli/plan/names.h"
#include "cli/render/render_frame.h"
#include "cli/render/workers.h"

namespace {

// The run's context with the field that `eye`'s view rebuilds.
RenderContext ContextFor(const RenderContext& context, Eye eye, Eye firstRow) {
    RenderContext view{context.renderer, context.config, context.mask, std::nullopt};
    view.config.field = FieldRebuiltFor(eye, firstRow);
    return view;
}

void CopyPixels(const hostsdk::PlainBitmap& from, hostsdk::PlainBitmap& to) {
    const std::size_t pixels = std::size_t{from.Width()} * from.Height();
    std::copy(from.Pixels(), from.Pixels() + pixels, to.Pixels());
}

}  // namespace

Failure RenderBothViews(const RenderContext& context, const BothEyes& eyes,
                        hostsdk::PlainBitmap& left, hostsdk::PlainBitmap& right, RenderStep& step,
                        const std::string& name) {
    CopyPixels(left, right);
    if (Failure failure =
            RenderFrame(ContextFor(context, Eye::Left, eyes.firstRow), left, step, name))
        return failure;
    return RenderFrame(ContextFor(context, Eye::Right, eyes.firstRow), right, step, name);
}

Failure RenderBothViewsAtOnce(const RenderContext& context, const BothEyes& eyes,
                              hostsdk::PlainBitmap& left, hostsdk::PlainBitmap& right,
                              RenderStep& step,
                              const std::function<std::unique_ptr<RenderStep>()>& newStep,
                              const std::string& name) {
    CopyPixels(left, right);
    Failure rightFailure;
    const auto renderRight = [&] {
        try {
            const std::unique_ptr<RenderStep> rightStep = newStep();
            rightFailure = RenderFrame(ContextFor(context, Eye::Right, eyes.firstRow), right,
                                       *rightStep, name);
        } catch (...) {
            rightFailure = FailureOfException(std::current_exception(), name);
        }
    };
    std::vector<std::thread> other;
    if (StartThreads(other, 1, renderRight) == 0) {
        return RenderBothViews(context, eyes, left, right, step, name);
    }
    Failure leftFailure;
    try {
        leftFailure = RenderFrame(ContextFor(context, Eye::Left, eyes.firstRow), left, step, name);
    } catch (...) {
        other.front().join();  // the right eye's render uses what unwinds here
        throw;
    }
    other.front().join();
    return leftFailure ? leftFailure : rightFailure;
}

void PackViews(EyeLayout layout, const hostsdk::PlainBitmap& left,
               const hostsdk::PlainBitmap& right, BMM_Color_64* packed) {
    const std::size_t width = left.Width();
    const std::size_t pixels = width * left.Height();
    if (layout != EyeLayout::SideBySide) {
        std::copy(left.Pixels(), left.Pixels() + pixels, packed);
        std::copy(right.Pixels(), right.Pixels() + pixels, packed + pixels);
        return;
    }
    for (int y = 0; y < left.Height(); ++y) {
        BMM_Color_64* row = packed + 2 * width * static_cast<std::size_t>(y);
        std::copy(left.Row(y), left.Row(y) + width, row);
        std::copy(right.Row(y), right.Row(y) + width, row + width);
    }
}

int ExpectedProgressMessagesForViews(int height, const BothEyes& eyes, bool mask) {
    return ExpectedProgressMessages(height, FieldRebuiltFor(Eye::Left, eyes.firstRow), mask) +
           ExpectedProgressMessages(height, FieldRebuiltFor(Eye::Right, eyes.firstRow), mask);
}

std::string DescribeRun(const RenderContext& context) {
    const bool masked = context.mask != nullptr;
    if (!context.bothEyes) return RunDescription(context.config, masked);
    std::string text = "(";
    return text.append(DescribeMode(context.config.mode))
        .append(", ")
        .append(DescribeBothEyes(*context.bothEyes))
        .append(masked ? ", masked)" : ")");
}
