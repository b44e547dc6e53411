#include "cli/frame_job.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <thread>

#include "cli/text.h"

namespace {

Failure Aborted(const FrameTask& task) {
    return {kExitAborted, task.input.shown + L": aborted; " + task.output.shown + L" not written"};
}

}  // namespace

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

    FilterPtr filter = plugin.CreateFilter();
    if (!filter) return {kExitRenderFailed, task.input.shown + L": the plug-in created no filter"};
    FilterConfig config = settings.config;
    filter->LoadConfig(&config);
    filter->SetSource(frame);
    if (mask) filter->SetMask(mask);

    int result = 0;
    bool abortDelivered = false;
    {
        ProgressWindow window(
            report, index,
            ExpectedProgressMessages(frame->Height(), config.field, mask != nullptr));
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
        std::wstring why = L"the render failed";
        if (mask && (mask->Height() < frame->Height())) {
            why += L" (the mask has " + std::to_wstring(mask->Height()) + L" rows, the frame " +
                   std::to_wstring(frame->Height()) + L")";
        } else if (!IsDefinedMode(config.mode)) {
            why += L" (the configuration selects no kernel: mode " + std::to_wstring(config.mode) +
                   L")";
        }
        return {kExitRenderFailed, task.input.shown + L": " + why + L"; nothing written"};
    }
    // An abort that came during the encode still keeps the frame from being written.
    if (AbortRequested().load()) return Aborted(task);
    failure = WriteImage(image, task.output, format, settings.output);
    if (failure) return failure;
    const std::uint32_t pages = image.metadata.pageCount;
    summary = task.input.shown +
              (pages > 1 ? L" (page 1 of " + std::to_wstring(pages) + L")" : L"") + L" -> " +
              task.output.shown + L" (" + KernelName(config.mode) + L", " +
              FieldName(config.field) + (mask ? L", masked" : L"") + L")";
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
