#include "cli/batch/batch_run.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "cli/render/cancellation.h"

namespace {

Failure Aborted(const FrameTask& task) {
    return {FailureCode::Aborted,
            task.input.shown + ": aborted; " + task.output.shown + " not written"};
}

// Renders the image with a render step that reports its progress as frame `index` of the batch.
Failure RenderImage(const RenderContext& context, const FrameTask& task, Image& image,
                    ProgressReport& report, int index) {
    hostsdk::PlainBitmap& frame = *image.bitmap;
    const int expected =
        ExpectedProgressMessages(frame.Height(), context.config.field, context.mask != nullptr);
    int received = 0;
    const std::unique_ptr<RenderStep> step = context.renderer.NewStep(
        [] { return AbortRequested().load(); },
        [&] {
            ++received;
            report.Update(index, expected > 0 ? std::min(1.0, 1.0 * received / expected) : 1.0);
        });
    Failure failure = RenderFrame(context, frame, *step, task.input.shown);
    if (failure.code == FailureCode::Aborted) return Aborted(task);
    if (failure) failure.reason += "; nothing written";
    return failure;
}

// One task from file to file; on success `summary` describes what was done.
Failure RunTask(const RenderContext& context, const OutputOptions& output, const FrameTask& task,
                FrameMemory& memory, ProgressReport& report, int index, std::string& summary) {
    if (AbortRequested().load()) return Aborted(task);
    Image image;
    if (Failure failure = ReadImage(task.input, image, &memory)) return failure;
    for (const std::string& note : image.metadata.notes) {
        report.Error(task.input.shown + ": note: " + note);
    }
    if (Failure rendered = RenderImage(context, task, image, report, index)) return rendered;
    // An abort requested after the render's last poll still keeps the frame from being written.
    if (AbortRequested().load()) return Aborted(task);
    std::vector<std::string> notes;
    if (Failure written = WriteImage(image, task.output, task.format, output, notes)) {
        return written;
    }
    for (const std::string& note : notes) report.Error(task.output.shown + ": note: " + note);
    const std::uint32_t pages = image.metadata.pageCount;
    const std::string of = image.metadata.pageCountAtLeast ? " of at least " : " of ";
    summary = task.input.shown + (pages > 1 ? " (page 1" + of + std::to_string(pages) + ")" : "") +
              " -> " + task.output.shown + " " +
              RunDescription(context.config, context.mask != nullptr);
    return {};
}

}  // namespace

std::vector<Failure> RunBatch(const RenderContext& context, const OutputOptions& output,
                              const std::vector<FrameTask>& tasks, int jobs,
                              ProgressReport& report) {
    std::vector<Failure> results(tasks.size());
    FrameMemory memory(FrameMemoryBudget());
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (;;) {
            const std::size_t i = next.fetch_add(1);
            if (i >= tasks.size()) return;
            std::string summary;
            results[i] =
                RunTask(context, output, tasks[i], memory, report, static_cast<int>(i), summary);
            if (!results[i]) {
                report.Finished(static_cast<int>(i), summary);
                continue;
            }
            if (results[i].code != FailureCode::Aborted) {
                report.Error(results[i].reason);
            }
        }
    };
    const std::size_t threads = std::max<std::size_t>(
        1, std::min<std::size_t>(static_cast<std::size_t>(WorkerThreads(jobs)), tasks.size()));
    if (threads == 1) {
        worker();
        return results;
    }
    std::vector<std::thread> pool;
    for (std::size_t t = 0; t < threads; ++t) pool.emplace_back(worker);
    for (std::thread& thread : pool) thread.join();
    return results;
}
