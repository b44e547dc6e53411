#include "cli/render/render_frame.h"

#include "cli/plan/config_file.h"
#include "cli/plan/names.h"
#include "rebuild/core/field_rebuild.h"

Failure RenderFrame(const RenderContext& context, hostsdk::PlainBitmap& frame, RenderStep& step,
                    const std::string& name) {
    return step.Render(context, frame, name);
}

Failure MaskFor(const RenderContext& context, const hostsdk::PlainBitmap& frame,
                const std::string& name, std::shared_ptr<hostsdk::PlainBitmap>& mask) {
    mask.reset();
    if (context.mask == nullptr) return {};
    Failure failure;
    mask = context.mask->For(frame.Width(), frame.Height(), failure);
    if (failure) return {failure.code, name + ": its mask: " + failure.reason};
    return {};
}

std::string RenderFailureReason(const Bitmap& frame, const Bitmap* mask) {
    std::string why = "the render failed";
    if (mask != nullptr && mask->Height() < frame.Height()) {
        why += " (the mask has " + std::to_string(mask->Height()) + " rows, the frame " +
               std::to_string(frame.Height()) + ")";
    }
    return why;
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

Failure SettleConfig(const Renderer& renderer, const RunOptions& options, const RunFiles& files,
                     FilterConfig& config) {
    std::unique_ptr<ConfigFilter> filter;
    if (Failure failure = renderer.NewConfigFilter(filter)) return failure;
    if (!files.config.Empty()) {
        FilterConfig loaded;
        if (Failure failure = ReadConfigFile(files.config, loaded)) return failure;
        filter->Load(loaded);
    }
    config = filter->Saved();
    if (options.mode) config.mode = *options.mode;
    if (options.field) config.field = *options.field;
    filter->Load(config);
    if (options.setup) {
        if (Failure failure = filter->ShowSetup()) return failure;
    }
    config = filter->Saved();
    return {};
}
