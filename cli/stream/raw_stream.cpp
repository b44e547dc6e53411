#include "cli/stream/raw_stream.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "cli/platform/memory_status.h"
#include "cli/platform/text.h"
#include "cli/render/image_io.h"
#include "cli/render/progress.h"
#include "cli/stream/frame_pipeline.h"
#include "cli/stream/raw_io.h"
#include "cli/stream/stream_progress.h"
#include "hosting/message_window.h"

namespace {

constexpr auto kCheckInterval = std::chrono::milliseconds(100);
// Besides the frames in render: one being read and one being written.
constexpr int kFramesBesideWorkers = 2;

// Answers a render's abort polls, for all the frames of one worker thread: set on Ctrl-C and
// when the stream has stopped for another reason.
class StreamWindow final : public MessageWindow {
  public:
    explicit StreamWindow(const FramePipeline& pipeline) : pipeline_(pipeline) {}

  private:
    void OnAbortPoll(WPARAM, int32_t* flag) override {
        if (flag != nullptr && (AbortRequested().load() || pipeline_.Stopped())) *flag = 1;
    }

    const FramePipeline& pipeline_;
};

// The stream's state, held by every thread: a reader or writer left waiting on another
// process's pipe when the program exits must not outlive it.
struct StreamEnds {
    StreamEnds(RawFormat format, int buffers) : pipeline(format.width, format.height, buffers) {}

    FramePipeline pipeline;
    std::unique_ptr<RawInput> input;
    std::unique_ptr<RawOutput> output;
};

// What every render shares.
struct RenderSetup {
    const PluginLibrary& plugin;
    FilterConfig config;
    hostsdk::PlainBitmap* mask;
};

const Failure kAborted{kExitAborted, L"aborted"};

std::wstring FrameName(std::uint64_t index) {
    return L"frame " + std::to_wstring(index + 1);
}

void ReadFrames(StreamEnds& ends) {
    FramePipeline& pipeline = ends.pipeline;
    for (;;) {
        std::unique_ptr<hostsdk::PlainBitmap> bitmap = pipeline.TakeBuffer();
        if (!bitmap) return;
        const std::span<std::byte> bytes = PixelBytes(*bitmap);
        Failure failure;
        const std::size_t got = ends.input->Fill(bytes, failure);
        if (failure) return pipeline.Stop(std::move(failure));
        if (got == bytes.size()) {
            pipeline.Submit(std::move(bitmap));
            continue;
        }
        if (got == 0) return pipeline.EndInput({});
        return pipeline.EndInput({kExitBadInput, ends.input->Name() + L": " + std::to_wstring(got) +
                                                     L" bytes after the last whole frame"});
    }
}

Failure RenderFrame(const RenderSetup& setup, const StreamFrame& frame, HWND window) {
    FilterPtr filter = FilterFor(setup.plugin, setup.config, frame.bitmap.get(), setup.mask);
    if (!filter) {
        return {kExitRenderFailed, FrameName(frame.index) + L": the plug-in created no filter"};
    }
    if (filter->Render(window) == 1) return {};
    if (AbortRequested().load()) return kAborted;
    return {kExitRenderFailed,
            FrameName(frame.index) + L": " + RenderFailureReason(*frame.bitmap, setup.mask)};
}

void RenderFrames(const RenderSetup& setup, FramePipeline& pipeline) {
    StreamWindow window(pipeline);
    if (window.Handle() == nullptr) {
        return pipeline.Stop(
            {kExitRenderFailed, L"no progress window: " + ErrorText(GetLastError())});
    }
    while (std::optional<StreamFrame> frame = pipeline.NextToRender()) {
        if (Failure failure = RenderFrame(setup, *frame, window.Handle())) {
            return pipeline.Stop(std::move(failure));
        }
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
    StreamThreads(const std::shared_ptr<StreamEnds>& ends, const RenderSetup& setup, int jobs)
        : ends_(ends),
          inputMayBlock_(ends->input->MayBlock()),
          outputMayBlock_(ends->output->MayBlock()) {
        reader_ = std::thread([ends] { ReadFrames(*ends); });
        for (int i = 0; i < jobs; ++i) {
            workers_.emplace_back([ends, &setup] { RenderFrames(setup, ends->pipeline); });
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
std::wstring OutputFate(bool toFile, bool completed, std::uint64_t frames,
                        const std::wstring& output) {
    if (toFile && !completed) return output + L" not written";
    return std::to_wstring(frames) + L" frames written to " + output;
}

// The workers a stream gets: up to `jobs`, but never more frame buffers than half the memory
// free at the start, nor more threads than four per processor; beyond those a large --jobs
// would only exhaust memory or crowd the processors, never add speed.
int WorkersFor(RawFormat format, int jobs) {
    const unsigned long long frameBytes = 8ull * format.width * format.height;
    const std::optional<MEMORYSTATUSEX> memory = MemoryStatus();
    if (memory && memory->ullAvailPhys > 0 && frameBytes > 0) {
        const unsigned long long frames = memory->ullAvailPhys / 2 / frameBytes;
        const unsigned long long workers =
            frames > kFramesBesideWorkers ? frames - kFramesBesideWorkers : 1;
        if (workers < static_cast<unsigned long long>(jobs)) jobs = static_cast<int>(workers);
    }
    const int threads = 4 * static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return std::max(1, std::min(jobs, threads));
}

}  // namespace

Failure RunRawStream(const PluginLibrary& plugin, const FrameTask& task,
                     const FrameSettings& settings, RawFormat format, int jobs, bool quiet) {
    Failure failure;
    hostsdk::PlainBitmap* mask = settings.mask ? settings.mask->bitmap.get() : nullptr;
    jobs = WorkersFor(format, jobs);
    auto ends = std::make_shared<StreamEnds>(format, jobs + kFramesBesideWorkers);
    if (!(ends->input = RawInput::Open(task.input, failure))) return failure;
    if (!(ends->output = RawOutput::Open(task.output, failure))) return failure;
    const std::wstring input = ends->input->Name();
    const std::wstring output = ends->output->Name();
    const bool toFile = ends->output->IsFile();

    StreamProgress progress(ProgressReport::StyleForStderr(quiet));
    const RenderSetup setup{plugin, settings.config, mask};
    {
        StreamThreads threads(ends, setup, jobs);
        while (!ends->pipeline.WaitForEnd(kCheckInterval)) {
            if (AbortRequested().load()) ends->pipeline.Stop(kAborted);
            progress.Show(ends->pipeline.FramesWritten());
        }
    }
    const std::uint64_t frames = ends->pipeline.FramesWritten();
    const bool completed = !ends->pipeline.Stopped();
    Failure outcome = ends->pipeline.Outcome();
    if (!outcome) {
        progress.Summary(frames, input + L" -> " + output + L" " +
                                     RunDescription(settings.config, mask != nullptr));
        return {};
    }
    progress.Clear();
    outcome.message += L"; " + OutputFate(toFile, completed, frames, output);
    return outcome;
}
