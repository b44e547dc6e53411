#include "cli/stream/raw_stream.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "cli/platform/text.h"
#include "cli/render/both_views.h"
#include "cli/render/cancellation.h"
#include "cli/render/workers.h"
#include "cli/stream/frame_pipeline.h"
#include "cli/stream/raw_io.h"
#include "cli/stream/stream_progress.h"

namespace {

constexpr auto kCheckInterval = std::chrono::milliseconds(100);
// How long a stop waits for a frame that is being written to a pipe or device to be complete.
constexpr auto kFrameFinishTime = std::chrono::seconds(30);
// Besides the frames in render: one being read and one being written.
constexpr int kFramesBesideWorkers = 2;
// How much of a side-by-side frame is packed at a time on its way out.
constexpr std::size_t kBandBytes = std::size_t{4} << 20;

// The stream's state, held by every thread: a reader or writer left waiting on another
// process's pipe when the program exits must not outlive it.
struct StreamEnds {
    StreamEnds(FrameSize format, int buffers) : pipeline(format.width, format.height, buffers) {}

    FramePipeline pipeline;
    std::unique_ptr<RawInput> input;
    std::unique_ptr<RawOutput> output;
    std::unique_ptr<RawOutput> rightOutput;  // both eyes as two outputs: the right eye's
    std::atomic<bool> writerEnded{false};
    // The output's reader closed it: how much of the frames it took is not known.
    std::atomic<bool> readerGone{false};
};

const Failure kAborted{FailureCode::Aborted, "aborted"};

std::string FrameName(std::uint64_t index) {
    return "frame " + std::to_string(index + 1);
}

void ReadEveryFrame(StreamEnds& ends) {
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

void ReadFrames(StreamEnds& ends) {
    try {
        ReadEveryFrame(ends);
    } catch (...) {
        ends.pipeline.Stop(FailureOfException(std::current_exception(), ends.input->Name()));
    }
}

// A frame's one view, or with both eyes its two views (the frame's pixels becoming the left
// eye's, the right eye's in a second bitmap).
Failure RenderViews(const RenderContext& context, FramePipeline& pipeline, StreamFrame& frame,
                    RenderStep& step) {
    const std::string name = FrameName(frame.index);
    if (!context.bothEyes) return RenderFrame(context, *frame.bitmap, step, name);
    frame.second = pipeline.TakeSecond();
    if (!frame.second) return kAborted;  // stopped: the pipeline has its failure
    return RenderBothViews(context, *context.bothEyes, *frame.bitmap, *frame.second, step, name);
}

// The same, an exception failing the frame.
Failure RenderStreamFrame(const RenderContext& context, FramePipeline& pipeline, StreamFrame& frame,
                          RenderStep& step) {
    try {
        return RenderViews(context, pipeline, frame, step);
    } catch (...) {
        return FailureOfException(std::current_exception(), FrameName(frame.index));
    }
}

// One worker: frames in turn, with one render step that asks for an abort on a stop and once
// the stream has stopped for another reason.
void RenderFrames(const RenderContext& context, FramePipeline& pipeline) {
    std::unique_ptr<RenderStep> step;
    try {
        step = context.renderer.NewStep(
            [&pipeline] { return AbortRequested().load() || pipeline.Stopped(); });
    } catch (...) {
        return pipeline.Stop(FailureOfException(std::current_exception(), ""));
    }
    while (std::optional<StreamFrame> frame = pipeline.NextToRender()) {
        Failure failure = RenderStreamFrame(context, pipeline, *frame, *step);
        if (failure)
            return pipeline.Stop(failure.code == FailureCode::Aborted ? kAborted : failure);
        pipeline.Rendered(std::move(*frame));
    }
}

// The two views side by side, a band of rows at a time through `band`: row y of the packed
// frame is row y of the left view, then row y of the right.
Failure WriteSideBySide(RawOutput& output, hostsdk::PlainBitmap& left, hostsdk::PlainBitmap& right,
                        std::vector<BMM_Color_64>& band, bool& readerGone) {
    const std::size_t width = left.Width();
    const int rowsPerBand = static_cast<int>(std::max<std::size_t>(1, kBandBytes / (16 * width)));
    band.resize(2 * width * static_cast<std::size_t>(std::min<int>(rowsPerBand, left.Height())));
    for (int top = 0; top < left.Height(); top += rowsPerBand) {
        const int rows = std::min(rowsPerBand, left.Height() - top);
        for (int r = 0; r < rows; ++r) {
            BMM_Color_64* packed = band.data() + 2 * width * static_cast<std::size_t>(r);
            std::copy(left.Row(top + r), left.Row(top + r) + width, packed);
            std::copy(right.Row(top + r), right.Row(top + r) + width, packed + width);
        }
        const std::span<const BMM_Color_64> pixels(band.data(), 2 * width * rows);
        if (Failure failure = output.Write(std::as_bytes(pixels), readerGone)) return failure;
    }
    return {};
}

// One rendered frame to the output: its view, or both eyes' views as the run packs them.
Failure WriteFrame(StreamEnds& ends, const std::optional<BothEyes>& eyes, StreamFrame& frame,
                   std::vector<BMM_Color_64>& band, bool& readerGone) {
    if (!eyes) return ends.output->Write(PixelBytes(*frame.bitmap), readerGone);
    switch (eyes->layout) {
        case EyeLayout::SideBySide:
            return WriteSideBySide(*ends.output, *frame.bitmap, *frame.second, band, readerGone);
        case EyeLayout::TopBottom:
            if (Failure failure = ends.output->Write(PixelBytes(*frame.bitmap), readerGone))
                return failure;
            return ends.output->Write(PixelBytes(*frame.second), readerGone);
        case EyeLayout::TwoOutputs:
            break;
    }
    if (Failure failure = ends.output->Write(PixelBytes(*frame.bitmap), readerGone)) return failure;
    return ends.rightOutput->Write(PixelBytes(*frame.second), readerGone);
}

// Every output put in place, the left eye's first.
Failure FinishOutputs(StreamEnds& ends) {
    if (Failure failure = ends.output->Finish()) return failure;
    return ends.rightOutput ? ends.rightOutput->Finish() : Failure{};
}

void WriteEveryFrame(StreamEnds& ends, const std::optional<BothEyes>& eyes) {
    FramePipeline& pipeline = ends.pipeline;
    std::vector<BMM_Color_64> band;
    while (std::optional<StreamFrame> frame = pipeline.NextToWrite()) {
        bool readerGone = false;
        if (Failure failure = WriteFrame(ends, eyes, *frame, band, readerGone)) {
            // A pipeline interrupted by Ctrl-C may lose its reader before the abort arrives.
            ends.readerGone.store(readerGone);
            pipeline.Stop(readerGone && AbortRequested().load() ? kAborted : std::move(failure));
            return;
        }
        pipeline.Written(std::move(*frame));
    }
}

void WriteFrames(StreamEnds& ends, const std::optional<BothEyes>& eyes) {
    FramePipeline& pipeline = ends.pipeline;
    try {
        WriteEveryFrame(ends, eyes);
        // An abort keeps a complete stream from replacing the destination, as it keeps a frame.
        if (AbortRequested().load()) pipeline.Stop(kAborted);
        if (pipeline.BeginFinish()) pipeline.Finished(FinishOutputs(ends));
    } catch (...) {
        const Failure failure = FailureOfException(std::current_exception(), ends.output->Name());
        pipeline.Stop(failure);
        pipeline.Finished(failure);  // when it came while finishing
    }
    // A file that was not put in place goes now, whatever other thread still waits.
    ends.output.reset();
    ends.rightOutput.reset();
    ends.writerEnded.store(true);
}

// The stream's threads. Workers always end once the stream has; a reader that waits on another
// process's pipe may not, and is left to the program's exit after a stop. So is a writer that
// waits on one, but only once the frame it is writing is complete, or after kFrameFinishTime
// without that: a pipe's reader gets whole frames only.
class StreamThreads {
  public:
    explicit StreamThreads(const std::shared_ptr<StreamEnds>& ends)
        : ends_(ends),
          inputMayBlock_(ends->input->MayBlock()),
          outputMayBlock_(ends->output->MayBlock() ||
                          (ends->rightOutput && ends->rightOutput->MayBlock())) {}
    ~StreamThreads() {
        ends_->pipeline.Stop(kAborted);
        for (std::thread& worker : workers_) worker.join();
        const bool stopped = ends_->pipeline.Stopped();
        End(writer_, stopped && outputMayBlock_ && !WriterEnds());
        End(reader_, stopped && inputMayBlock_);
    }
    StreamThreads(const StreamThreads&) = delete;
    StreamThreads& operator=(const StreamThreads&) = delete;

    // The writer, the reader and up to `jobs` workers, as many as the system lets start. When
    // the writer, the reader or a first worker cannot start, the stream stops with that failure
    // (FailureCode::RenderFailed).
    void Start(const RenderContext& context, int jobs) {
        std::shared_ptr<StreamEnds> ends = ends_;
        try {
            writer_ = std::thread([ends, eyes = context.bothEyes] { WriteFrames(*ends, eyes); });
            reader_ = std::thread([ends] { ReadFrames(*ends); });
        } catch (const std::exception& error) {
            return CannotStart(error.what());
        }
        StartThreads(workers_, static_cast<std::size_t>(jobs),
                     [ends, &context] { RenderFrames(context, ends->pipeline); });
        if (workers_.empty()) CannotStart("no render thread started");
    }

  private:
    void CannotStart(const std::string& why) {
        ends_->pipeline.Stop(
            {FailureCode::RenderFailed, "the stream's threads cannot start: " + why});
        if (writer_.joinable()) return;
        // Without a writer the outputs go here, before a reader could keep them alive.
        ends_->output.reset();
        ends_->rightOutput.reset();
        ends_->writerEnded.store(true);
    }

    bool WriterEnds() const {
        const auto deadline = std::chrono::steady_clock::now() + kFrameFinishTime;
        while (!ends_->writerEnded.load()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    static void End(std::thread& thread, bool mayBlock) {
        if (!thread.joinable()) return;
        if (mayBlock) {
            thread.detach();
        } else {
            thread.join();
        }
    }

    std::shared_ptr<StreamEnds> ends_;
    bool inputMayBlock_;
    bool outputMayBlock_;
    std::thread writer_;
    std::thread reader_;
    std::vector<std::thread> workers_;
};

// What became of the output, for the line that ends a stream that did not end well; nothing
// when its reader closed it, which may have taken part of a frame or none of them.
std::string OutputFate(bool toFile, bool completed, bool readerGone, std::uint64_t frames,
                       const std::string& output) {
    if (toFile && !completed) return "; " + output + " not written";
    if (readerGone) return {};
    return "; " + std::to_string(frames) + (frames == 1 ? " frame" : " frames") + " written to " +
           output;
}

// The bytes of one frame in memory: both views with both eyes.
std::uint64_t FrameBytes(FrameSize format, const std::optional<BothEyes>& eyes) {
    return 8ull * format.width * format.height * (eyes ? 2 : 1);
}

// The workers a stream gets (cli/render/workers.h): its frame buffers, one per worker and the
// two beside them, fit in the run's frame memory, which FitsInMemory has checked for one.
int WorkersFor(FrameSize format, const std::optional<BothEyes>& eyes, int jobs,
               std::uint64_t budget) {
    const std::uint64_t frames = budget / FrameBytes(format, eyes);
    const std::uint64_t workers = frames > kFramesBesideWorkers ? frames - kFramesBesideWorkers : 1;
    return static_cast<int>(std::min<std::uint64_t>(WorkerThreads(jobs), workers));
}

// A stream needs at least three frame buffers (one read, one rendered, one written); frames too
// large for that are refused before any is allocated or anything read.
Failure FitsInMemory(FrameSize format, const std::optional<BothEyes>& eyes, std::uint64_t budget) {
    const std::uint64_t least = (1 + kFramesBesideWorkers) * FrameBytes(format, eyes);
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
    const std::optional<BothEyes>& eyes = context.bothEyes;
    if (Failure failure = FitsInMemory(format, eyes, budget)) return failure;
    jobs = WorkersFor(format, eyes, jobs, budget);
    auto ends = std::make_shared<StreamEnds>(format, jobs + kFramesBesideWorkers);
    if (Failure failure = RawInput::Open(task.input, ends->input)) return failure;
    if (Failure failure = RawOutput::Open(task.output, ends->output)) return failure;
    if (!task.rightOutput.Empty()) {
        if (Failure failure = RawOutput::Open(task.rightOutput, ends->rightOutput)) return failure;
    }
    // Whole frames cross a pipe in a few steps where the default size would take hundreds.
    const std::uint64_t frameBytes = FrameBytes(format, std::nullopt);
    ends->input->WidenPipe(frameBytes);
    ends->output->WidenPipe(ends->rightOutput ? frameBytes : FrameBytes(format, eyes));
    if (ends->rightOutput) ends->rightOutput->WidenPipe(frameBytes);
    const std::string input = ends->input->Name();
    const std::string output =
        ends->output->Name() + (ends->rightOutput ? " and " + ends->rightOutput->Name() : "");
    const bool toFile =
        ends->output->IsFile() || (ends->rightOutput && ends->rightOutput->IsFile());

    StreamProgress progress(status);
    {
        StreamThreads threads(ends);
        threads.Start(context, jobs);
        while (!ends->pipeline.WaitForEnd(kCheckInterval)) {
            if (AbortRequested().load()) ends->pipeline.Stop(kAborted);
            progress.Show(ends->pipeline.FramesWritten());
        }
    }
    const std::uint64_t frames = ends->pipeline.FramesWritten();
    const bool completed = !ends->pipeline.Stopped();
    Failure outcome = ends->pipeline.Outcome();
    if (!outcome) {
        progress.Summary(frames, input + " -> " + output + " " + DescribeRun(context));
        return {};
    }
    status.Clear();
    outcome.reason += OutputFate(toFile, completed, ends->readerGone.load(), frames, output);
    return outcome;
}
