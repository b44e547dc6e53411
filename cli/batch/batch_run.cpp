#include "cli/batch/batch_run.h"

#include <algorithm>
#include <atomic>
#include <span>
#include <thread>

#include "cli/platform/pending_file.h"
#include "cli/render/both_views.h"
#include "cli/render/cancellation.h"

namespace {

// "out.png", or "left.png and right.png" for both eyes as two outputs.
std::string OutputsShown(const FrameTask& task) {
    return task.output.shown + (task.rightOutput.Empty() ? "" : " and " + task.rightOutput.shown);
}

Failure Aborted(const FrameTask& task) {
    return {FailureCode::Aborted,
            task.input.shown + ": aborted; " + OutputsShown(task) + " not written"};
}

// Renders the image with a render step that reports its progress as frame `index` of the batch;
// with `right`, both eyes' views (the image's pixels becoming the left eye's), on two threads
// when `viewsAtOnce`.
Failure RenderImage(const RenderContext& context, const FrameTask& task, Image& image,
                    hostsdk::PlainBitmap* right, bool viewsAtOnce, ProgressReport& report,
                    int index) {
    hostsdk::PlainBitmap& frame = *image.bitmap;
    const bool masked = context.mask != nullptr;
    const int expected =
        right != nullptr
            ? ExpectedProgressMessagesForViews(frame.Height(), *context.bothEyes, masked)
            : ExpectedProgressMessages(frame.Height(), context.config.field, masked);
    std::atomic<int> received{0};
    const auto newStep = [&] {
        return context.renderer.NewStep(
            [] { return AbortRequested().load(); },
            [&] {
                const int done = ++received;
                report.Update(index, expected > 0 ? std::min(1.0, 1.0 * done / expected) : 1.0);
            });
    };
    const std::unique_ptr<RenderStep> step = newStep();
    const std::string& name = task.input.shown;
    Failure failure;
    if (right == nullptr) {
        failure = RenderFrame(context, frame, *step, name);
    } else if (viewsAtOnce) {
        failure =
            RenderBothViewsAtOnce(context, *context.bothEyes, frame, *right, *step, newStep, name);
    } else {
        failure = RenderBothViews(context, *context.bothEyes, frame, *right, *step, name);
    }
    if (failure.code == FailureCode::Aborted) return Aborted(task);
    if (failure) failure.reason += "; nothing written";
    return failure;
}

// The right eye's bitmap beside the decoded frame, once the packed frame is known to fit.
Failure NewRightView(const BothEyes& eyes, const FrameTask& task, const Image& image,
                     std::unique_ptr<hostsdk::PlainBitmap>& right) {
    const hostsdk::PlainBitmap& frame = *image.bitmap;
    const std::string problem = PackedSizeProblem(eyes.layout, frame.Width(), frame.Height());
    if (!problem.empty()) {
        return {FailureCode::BadInput, task.input.shown + ": " + problem + "; nothing written"};
    }
    right = std::make_unique<hostsdk::PlainBitmap>(frame.Width(), frame.Height());
    if (right->Pixels() != nullptr) return {};
    return {FailureCode::BadInput,
            task.input.shown + ": not enough memory for its second view; nothing written"};
}

// Both eyes as two outputs: each encoded before either is written, so that an encoder's refusal
// writes neither.
Failure WriteTwoOutputs(const OutputOptions& output, const FrameTask& task, const Image& left,
                        std::unique_ptr<hostsdk::PlainBitmap> right,
                        std::vector<std::string>& notes) {
    Image rightImage;
    rightImage.bitmap = std::move(right);
    rightImage.metadata = left.metadata;
    std::vector<std::uint8_t> leftBytes;
    std::vector<std::uint8_t> rightBytes;
    if (Failure failure = EncodeImage(left, task.output, task.format, output, leftBytes, notes))
        return failure;
    if (Failure failure =
            EncodeImage(rightImage, task.rightOutput, task.rightFormat, output, rightBytes, notes))
        return failure;
    // Both are complete before either takes its place: a failure to write either (a full disk)
    // leaves both destinations as they were, never a new left eye beside an old right one.
    std::unique_ptr<PendingFile> leftFile;
    std::unique_ptr<PendingFile> rightFile;
    if (Failure failure = WritePending(task.output, std::as_bytes(std::span(leftBytes)), leftFile))
        return failure;
    if (Failure failure =
            WritePending(task.rightOutput, std::as_bytes(std::span(rightBytes)), rightFile))
        return failure;
    if (Failure failure = leftFile->Commit()) return failure;
    return rightFile->Commit();
}

// Both eyes' views written as the run packs them.
Failure WriteViews(const BothEyes& eyes, const OutputOptions& output, const FrameTask& task,
                   Image& image, std::unique_ptr<hostsdk::PlainBitmap> right,
                   std::vector<std::string>& notes) {
    if (eyes.layout == EyeLayout::TwoOutputs) {
        return WriteTwoOutputs(output, task, image, std::move(right), notes);
    }
    const hostsdk::PlainBitmap& left = *image.bitmap;
    const PackedSize size = PackedSizeOf(eyes.layout, left.Width(), left.Height());
    auto packed = std::make_unique<hostsdk::PlainBitmap>(static_cast<uint16_t>(size.width),
                                                         static_cast<uint16_t>(size.height));
    if (packed->Pixels() == nullptr) {
        return {FailureCode::NotWritten,
                task.output.shown + ": not written: not enough memory for the packed frame"};
    }
    PackViews(eyes.layout, left, *right, packed->Pixels());
    right.reset();
    image.bitmap = std::move(packed);
    return WriteImage(image, task.output, task.format, output, notes);
}

// One task from file to file; on success `summary` describes what was done.
Failure RunTask(const RenderContext& context, const OutputOptions& output, const FrameTask& task,
                FrameMemory& memory, bool viewsAtOnce, ProgressReport& report, int index,
                std::string& summary) {
    if (AbortRequested().load()) return Aborted(task);
    Image image;
    const unsigned copies = context.bothEyes ? FramesForViews(context.bothEyes->layout) : 1;
    if (Failure failure = ReadImage(task.input, image, &memory, {}, copies)) return failure;
    for (const std::string& note : image.metadata.notes) {
        report.Error(task.input.shown + ": note: " + note);
    }
    std::unique_ptr<hostsdk::PlainBitmap> right;
    if (context.bothEyes) {
        if (Failure failure = NewRightView(*context.bothEyes, task, image, right)) return failure;
    }
    if (Failure rendered =
            RenderImage(context, task, image, right.get(), viewsAtOnce, report, index))
        return rendered;
    // An abort requested after the render's last poll still keeps the frame from being written.
    if (AbortRequested().load()) return Aborted(task);
    std::vector<std::string> notes;
    const Failure written =
        context.bothEyes
            ? WriteViews(*context.bothEyes, output, task, image, std::move(right), notes)
            : WriteImage(image, task.output, task.format, output, notes);
    if (written) return written;
    for (const std::string& note : notes) report.Error(task.output.shown + ": note: " + note);
    const std::uint32_t pages = image.metadata.pageCount;
    const std::string of = image.metadata.pageCountAtLeast ? " of at least " : " of ";
    summary = task.input.shown + (pages > 1 ? " (page 1" + of + std::to_string(pages) + ")" : "") +
              " -> " + OutputsShown(task) + " " + DescribeRun(context);
    return {};
}

}  // namespace

std::vector<Failure> RunBatch(const RenderContext& context, const OutputOptions& output,
                              const std::vector<FrameTask>& tasks, int jobs,
                              ProgressReport& report) {
    std::vector<Failure> results(tasks.size());
    FrameMemory memory(FrameMemoryBudget());
    std::atomic<std::size_t> next{0};
    // This thread is one of the workers; the others are as many as the system lets start.
    const std::size_t threads = std::max<std::size_t>(
        1, std::min<std::size_t>(static_cast<std::size_t>(WorkerThreads(jobs)), tasks.size()));
    // Both eyes' renders of a frame run at once when the frames leave threads free for them.
    const bool viewsAtOnce =
        context.bothEyes && static_cast<std::size_t>(WorkerThreads(jobs)) >= 2 * threads;
    auto worker = [&] {
        for (;;) {
            const std::size_t i = next.fetch_add(1);
            if (i >= tasks.size()) return;
            std::string summary;
            try {
                results[i] = RunTask(context, output, tasks[i], memory, viewsAtOnce, report,
                                     static_cast<int>(i), summary);
            } catch (...) {
                results[i] = FailureOfException(std::current_exception(), tasks[i].input.shown);
                results[i].reason += "; " + OutputsShown(tasks[i]) + " not written";
            }
            if (!results[i]) {
                report.Finished(static_cast<int>(i), summary);
                continue;
            }
            if (results[i].code != FailureCode::Aborted) {
                report.Error(results[i].reason);
            }
        }
    };
    std::vector<std::thread> pool;
    StartThreads(pool, threads - 1, worker);
    worker();
    for (std::thread& thread : pool) thread.join();
    return results;
}
