#include "cli/batch/frame_job.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <thread>

#include "cli/platform/text.h"

namespace {

Failure Aborted(const FrameTask& task) {
    return {kExitAborted, task.input.shown + L": aborted; " + task.output.shown + L" not written"};
}

std::wstring KernelName(int mode) {
    switch (mode) {
        case kCopyLine:
            return L"copy line";
        case kTwoPointLinear:
            return L"two-point linear";
        case kSixPointWeighted:
            return L"six-point weighted";
        default:
            return L"mode " + std::to_wstring(mode);
    }
}

std::wstring FieldName(int field) {
    switch (field) {
        case kEvenLines:
            return L"even lines";
        case kOddLines:
            return L"odd lines";
        default:
            return L"field " + std::to_wstring(field);
    }
}

}  // namespace

FilterPtr FilterFor(const PluginLibrary& plugin, FilterConfig config, Bitmap* frame, Bitmap* mask) {
    FilterPtr filter = plugin.CreateFilter();
    if (!filter) return nullptr;
    filter->LoadConfig(&config);
    filter->SetSource(frame);
    if (mask != nullptr) filter->SetMask(mask);
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

std::wstring RunDescription(const FilterConfig& config, bool masked) {
    return L"(" + KernelName(config.mode) + L", " + FieldName(config.field) +
           (masked ? L", masked" : L"") + L")";
}

Failure RunFrame(const PluginLibrary& plugin, const FrameTask& task, const FrameSettings& settings,
                 ProgressReport& report, int index, std::wstring& summary) {
    if (AbortRequested().load()) return Aborted(task);
    const ImageFormat format = FormatForPath(task.output.shown);
    if (format == ImageFormat::Unknown) {
        return {kExitUsage, task.output.shown + L": the output must end in .png, .tif or .tiff"};
    }

    Failure failure;
    Image image;
    if (!ReadImage(task.input, image, failure)) return failure;
    hostsdk::PlainBitmap* frame = image.bitmap.get();
    hostsdk::PlainBitmap* mask = settings.mask ? settings.mask->bitmap.get() : nullptr;

    FilterPtr filter = FilterFor(plugin, settings.config, frame, mask);
    if (!filter) return {kExitRenderFailed, task.input.shown + L": the plug-in created no filter"};

    int result = 0;
    bool abortDelivered = false;
    {
        ProgressWindow window(
            report, index,
            ExpectedProgressMessages(frame->Height(), settings.config.field, mask != nullptr));
        if (window.Handle() == nullptr) {
            return {kExitRenderFailed,
                    task.input.shown + L": no progress window: " + ErrorText(GetLastError())};
        }
        result = filter->Render(window.Handle());
        abortDelivered = window.AbortDelivered();
    }
    filter.reset();
    if (result != 1) {
        if (abortDelivered) return Aborted(task);
        return {kExitRenderFailed, task.input.shown + L": " + RenderFailureReason(*frame, mask) +
                                       L"; nothing written"};
    }
    // An abort that came during the encode still keeps the frame from being written.
    if (AbortRequested().load()) return Aborted(task);
    failure = WriteImage(image, task.output, format, settings.output);
    if (failure) return failure;
    const std::uint32_t pages = image.metadata.pageCount;
    summary = task.input.shown +
              (pages > 1 ? L" (page 1 of " + std::to_wstring(pages) + L")" : L"") + L" -> " +
              task.output.shown + L" " + RunDescription(settings.config, mask != nullptr);
    return {};
}

std::vector<Failure> RunFrames(const PluginLibrary& plugin, const std::vector<FrameTask>& tasks,
                               const FrameSettings& settings, int jobs, ProgressReport& report) {
    std::vector<Failure> results(tasks.size());
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (;;) {
            const std::size_t i = next.fetch_add(1);
            if (i >= tasks.size()) return;
            std::wstring summary;
            results[i] = RunFrame(plugin, tasks[i], settings, report, static_cast<int>(i), summary);
            if (!results[i]) {
                report.Finished(static_cast<int>(i), L"braidel-run: " + summary);
                continue;
            }
            if (results[i].code != kExitAborted) {
                report.Error(L"braidel-run: " + results[i].message);
            }
        }
    };
    const std::size_t threads = std::max<std::size_t>(
        1, std::min<std::size_t>(static_cast<std::size_t>(jobs), tasks.size()));
    if (threads == 1) {
        worker();
        return results;
    }
    std::vector<std::thread> pool;
    for (std::size_t t = 0; t < threads; ++t) pool.emplace_back(worker);
    for (std::thread& thread : pool) thread.join();
    return results;
}
