#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "cli/exit_codes.h"
#include "hostsdk/plain_bitmap.h"

// A frame of a stream on its way through: its place in the stream and its pixels.
struct StreamFrame {
    std::uint64_t index = 0;
    std::unique_ptr<hostsdk::PlainBitmap> bitmap;
    std::unique_ptr<hostsdk::PlainBitmap> second;  // the other eye's view, with both eyes
};

// The pixels of a bitmap as the bytes of a raw frame (rgba64le is the in-memory layout).
std::span<std::byte> PixelBytes(hostsdk::PlainBitmap& bitmap);

// The hand-over between one reader, the rendering workers and one writer that keeps stream
// order. Frame buffers are recycled and at most `buffers` exist at once, which bounds memory.
// Frames between the reader and the writer live in a ring of `buffers` slots, a frame in the
// slot of its index: every frame not yet written holds a buffer, so no two share a slot, and a
// stream takes nothing from the heap once its buffers exist. Every wait ends when the pipeline
// stops.
class FramePipeline {
  public:
    FramePipeline(uint16_t width, uint16_t height, int buffers);

    // Reader: a buffer to fill, recycled or new; null once stopped (also when memory runs out,
    // which stops the pipeline).
    std::unique_ptr<hostsdk::PlainBitmap> TakeBuffer();
    // Reader: the next whole frame of the stream.
    void Submit(std::unique_ptr<hostsdk::PlainBitmap> bitmap);
    // Reader: no more frames; `trailing` (if any) is the outcome once every frame is written.
    void EndInput(Failure trailing);

    // Worker: a bitmap of the frame size for a frame's second view, recycled or new; null when
    // memory runs out, which stops the pipeline. A frame holds at most one until it is written,
    // so there are never more than `buffers` of them.
    std::unique_ptr<hostsdk::PlainBitmap> TakeSecond();

    // Worker: the next frame to render; empty at the end of the stream or once stopped.
    std::optional<StreamFrame> NextToRender();
    void Rendered(StreamFrame frame);

    // Writer: the next frame in stream order once rendered; empty after the last or once
    // stopped.
    std::optional<StreamFrame> NextToWrite();
    // Writer: the frame is out; its buffer goes back to the reader.
    void Written(StreamFrame frame);
    // Writer: every frame is out. False when stopped meanwhile; otherwise no later Stop takes
    // effect, so that the output may be completed.
    bool BeginFinish();
    // Writer: the output is complete (or `failure` says why not).
    void Finished(Failure failure);

    // Stops every stage. The first failure is the outcome; a stop after BeginFinish is ignored.
    void Stop(Failure failure);
    bool Stopped() const { return stopped_.load(); }

    // Waits up to `timeout` for the end (finished or stopped); true at the end.
    bool WaitForEnd(std::chrono::milliseconds timeout);
    // The outcome once ended: the stop's failure, else the reader's trailing failure, else none.
    Failure Outcome();
    std::uint64_t FramesWritten();

  private:
    bool EndedLocked() const { return stopped_.load() || finished_; }
    // A new bitmap of the frame size; null (and the pipeline stopped) without the memory.
    std::unique_ptr<hostsdk::PlainBitmap> NewFrameBitmap();

    const uint16_t width_;
    const uint16_t height_;
    const int buffers_;

    std::mutex lock_;
    std::condition_variable changed_;
    std::atomic<bool> stopped_{false};
    Failure failure_;
    Failure trailing_;
    // The slot of frame `index`: read and waiting for a worker (index >= framesTaken_), rendered
    // and waiting for the writer, or empty while a worker has it or once written.
    std::optional<StreamFrame>& SlotOf(std::uint64_t index) {
        return slots_[index % slots_.size()];
    }

    std::vector<std::unique_ptr<hostsdk::PlainBitmap>> spare_;
    std::vector<std::unique_ptr<hostsdk::PlainBitmap>> spareSeconds_;
    int allocated_ = 0;
    std::vector<std::optional<StreamFrame>> slots_;
    std::uint64_t framesRead_ = 0;
    std::uint64_t framesTaken_ = 0;  // frames handed to workers
    std::uint64_t framesWritten_ = 0;
    bool inputEnded_ = false;
    bool finishing_ = false;
    bool finished_ = false;
};
