#include "cli/stream/raw_stream.h"

#include <algorithm>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "cli/platform/text.h"
#include "cli/render/cancellation.h"
#include "cli/render/workers.h"
#include "cli/stream/frame_pipeline.h"
#include "cli/stream/raw_io.h"
#include "cli/stream/stream_progress.h"

namespace {

constexpr auto kCheckInterval = std::chrono::milliseconds(100);
// Besides the frames in render: one being read and one being written.
constexpr int kFramesBesideWorkers = 2;

// The stream's state, held by every thread: a reader or writer left waiting on another
// process's pipe when the program exits must not outlive it.
struct StreamEnds {
    StreamEnds(FrameSize format, int buffers) : pipeline(format.width, format.height, buffers) {}

    FramePipeline pipeline;
    std::unique_ptr<RawInput> input;
    std::unique_ptr<RawOutput> output;
};

const Failure kAborted{FailureCode::Aborted, "aborted"};

std::string FrameName(std::uint64_t index) {
    return "frame " + std::to_string(index + 1);
}

void ReadFrames(StreamEnds& ends) {
    FramePipeline& pipeline = ends.pipeline;
    for (;;) {
        std::unique_ptr<hostsdk::PlainBitmap> bitmap = pipeline.TakeBuffer();
        if (!bitmap) return;
        const std::span<std::byte> bytes = PixelBytes(*bitmap);
        std::size_t got = 0;
        if (Failure failure = ends.input->Fill(bytes, got))
            return pipeline.Stop(std::move(failure));
        if (got == bytes.size()) {
            pipeline.Submit(std::move(bitmap));
            continue;
        }
        if (got == 0) return pipeline.EndInput({});
        return pipeline.EndInput({FailureCode::BadInput, ends.input->Name() + ": " +
                                                             std::to_string(got) +
                                                             " bytes after the last whole frame"});
    }
}

// One worker: frames in turn, with one render step that asks for an abort on a stop and once
// the stream has stopped for another reason.
void RenderFrames(const RenderContext& context, FramePipeline& pipeline) {
    const std::unique_ptr<RenderStep> step = context.renderer.NewStep(
        [&pipeline] { return AbortRequested().load() || pipeline.Stopped(); });
    while (std::optional<StreamFrame> frame = pipeline.NextToRender()) {
        Failure failure = RenderFrame(context, *frame->bitmap, *step, FrameName(frame->index));
        if (failure)
            return pipeline.Stop(failure.code == FailureCode::Aborted ? kAborted : failure);
        pipeline.Rendered(std::move(*frame));
    }
}

void WriteFrames(StreamEnds& ends) {
    FramePipeline& pipeline = ends.pipeline;
    while (std::optional<StreamFrame> frame = pipeline.NextToWrite()) {
        bool readerGone = false;
        if (Failure failure = ends.output->Write(PixelBytes(*frame->bitmap), readerGone)) {
            // A pipeline interrupted by Ctrl-C may lose its reader before the abort arrives.
            pipeline.Stop(readerGone && AbortRequested().load() ? kAborted : std::move(failure));
            break;
        }
        pipeline.Written(std::move(*frame));
    }
    // An abort keeps a complete stream from replacing the destination, as it keeps a frame.
    if (AbortRequested().load()) pipeline.Stop(kAborted);
    if (pipeline.BeginFinish()) pipeline.Finished(ends.output->Finish());
    // A file that was not put in place goes now, whatever other thread still waits.
    ends.output.reset();
}

// The stream's threads. Workers always end once the stream has; a reader or writer that waits
// on another process's pipe may not, and is left to the program's exit after a stop.
class StreamThreads {
  public:
    StreamThreads(const std::shared_ptr<StreamEnds>& ends, const RenderContext& context, int jobs)
        : ends_(ends),
          inputMayBlock_(ends->input->MayBlock()),
          outputMayBlock_(ends->output->MayBlock()) {
        reader_ = std::thread([ends] { ReadFrames(*ends); });
        for (int i = 0; i < jobs; ++i) {
            workers_.emplace_back([ends, &context] { RenderFrames(context, ends->pipeline); });
        }
        writer_ = std::thread([ends] { WriteFrames(*ends); });
    }
    ~StreamThreads() {
        ends_->pipeline.Stop(kAborted);
        for (std::thread& worker : workers_) worker.join();
        const bool stopped = ends_->pipeline.Stopped();
        End(writer_, stopped && outputMayBlock_);
        End(reader_, stopped && inputMayBlock_);
    }
    StreamThreads(const StreamThreads&) = delete;
    StreamThreads& operator=(const StreamThreads&) = delete;

  private:
    static void End(std::thread& thread, bool mayBlock) {
        if (mayBlock) {
            thread.detach();
        } else {
            thread.join();
        }
    }

    std::shared_ptr<StreamEnds> ends_;
    bool inputMayBlock_;
    bool outputMayBlock_;
    std::thread reader_;
    std::vector<std::thread> workers_;
    std::thread writer_;
};

// What became of the output, for the line that ends a stream that did not end well.
std::string OutputFate(bool toFile, bool completed, std::uint64_t frames,
                       const std::string& output) {
    if (toFile && !completed) return output + " not written";
    return std::to_string(frames) + " frames written to " + output;
}

std::uint64_t FrameBytes(FrameSize format) {
    return 8ull * format.width * format.height;
}

// The workers a stream gets (cli/render/workers.h): its frame buffers, one per worker and the
// two beside them, fit in the run's frame memory, which FitsInMemory has checked for one.
int WorkersFor(FrameSize format, int jobs, std::uint64_t budget) {
    const std::uint64_t frames = budget / FrameBytes(format);
    const std::uint64_t workers = frames > kFramesBesideWorkers ? frames - kFramesBesideWorkers : 1;
    return static_cast<int>(std::min<std::uint64_t>(WorkerThreads(jobs), workers));
}

// A stream needs at least three frame buffers (one read, one rendered, one written); frames too
// large for that are refused before any is allocated or anything read.
Failure FitsInMemory(FrameSize format, std::uint64_t budget) {
    const std::uint64_t least = (1 + kFramesBesideWorkers) * FrameBytes(format);
    if (least <= budget) return {};
    return {FailureCode::BadInput, "--raw " + std::to_string(format.width) + "x" +
                                       std::to_string(format.height) + ": three frames take " +
                                       std::to_string(least >> 20) + " MB, more than the " +
                                       std::to_string(budget >> 20) +
                                       " MB this run may use (half the memory free at its start); "
                                       "nothing read"};
}

}  // namespace

Failure RunRawStream(const RenderContext& context, const StreamTask& task, FrameSize format,
                     int jobs, StatusLine& status) {
    const std::uint64_t budget = FrameMemoryBudget();
    if (Failure failure = FitsInMemory(format, budget)) return failure;
    jobs = WorkersFor(format, jobs, budget);
    auto ends = std::make_shared<StreamEnds>(format, jobs + kFramesBesideWorkers);
    if (Failure failure = RawInput::Open(task.input, ends->input)) return failure;
    if (Failure failure = RawOutput::Open(task.output, ends->output)) return failure;
    // Whole frames cross a pipe in a few steps where the default size would take hundreds.
    ends->input->WidenPipe(FrameBytes(format));
    ends->output->WidenPipe(FrameBytes(format));
    const std::string input = ends->input->Name();
    const std::string output = ends->output->Name();
    const bool toFile = ends->output->IsFile();

    StreamProgress progress(status);
    {
        StreamThreads threads(ends, context, jobs);
        while (!ends->pipeline.WaitForEnd(kCheckInterval)) {
            if (AbortRequested().load()) ends->pipeline.Stop(kAborted);
            progress.Show(ends->pipeline.FramesWritten());
        }
    }
    const std::uint64_t frames = ends->pipeline.FramesWritten();
    const bool completed = !ends->pipeline.Stopped();
    Failure outcome = ends->pipeline.Outcome();
    if (!outcome) {
        progress.Summary(frames, input + " -> " + output + " " +
                                     RunDescription(context.config, context.mask != nullptr));
        return {};
    }
    status.Clear();
    outcome.reason += "; " + OutputFate(toFile, completed, frames, output);
    return outcome;
}
