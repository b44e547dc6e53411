#include "cli/stream/frame_pipeline.h"

#include <algorithm>
#include <new>
#include <string>
#include <utility>

static_assert(sizeof(BMM_Color_64) == 8, "a raw pixel is four 16-bit channels");

std::span<std::byte> PixelBytes(hostsdk::PlainBitmap& bitmap) {
    const std::size_t pixels = std::size_t{bitmap.Width()} * bitmap.Height();
    return std::as_writable_bytes(std::span(bitmap.Pixels(), pixels));
}

FramePipeline::FramePipeline(uint16_t width, uint16_t height, int buffers)
    : width_(width),
      height_(height),
      buffers_(std::max(buffers, 1)),
      slots_(static_cast<std::size_t>(buffers_)) {
    spare_.reserve(slots_.size());
}

std::unique_ptr<hostsdk::PlainBitmap> FramePipeline::TakeBuffer() {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard,
                  [&] { return stopped_.load() || !spare_.empty() || allocated_ < buffers_; });
    if (stopped_.load()) return nullptr;
    if (!spare_.empty()) {
        auto bitmap = std::move(spare_.back());
        spare_.pop_back();
        return bitmap;
    }
    ++allocated_;
    guard.unlock();
    return NewFrameBitmap();
}

std::unique_ptr<hostsdk::PlainBitmap> FramePipeline::NewFrameBitmap() {
    std::unique_ptr<hostsdk::PlainBitmap> bitmap;
    try {
        bitmap = std::make_unique<hostsdk::PlainBitmap>(width_, height_);
    } catch (const std::bad_alloc&) {
    }
    if (bitmap && bitmap->Pixels() != nullptr && bitmap->Width() == width_) return bitmap;
    // A frame too large for the memory there is, as one larger than the run's bound.
    Stop({FailureCode::BadInput, "not enough memory for a frame of " + std::to_string(width_) +
                                     "x" + std::to_string(height_)});
    return nullptr;
}

std::unique_ptr<hostsdk::PlainBitmap> FramePipeline::TakeSecond() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopped_.load()) return nullptr;
        if (!spareSeconds_.empty()) {
            auto bitmap = std::move(spareSeconds_.back());
            spareSeconds_.pop_back();
            return bitmap;
        }
    }
    return NewFrameBitmap();
}

void FramePipeline::Submit(std::unique_ptr<hostsdk::PlainBitmap> bitmap) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        SlotOf(framesRead_).emplace(StreamFrame{framesRead_, std::move(bitmap), nullptr});
        ++framesRead_;
    }
    changed_.notify_all();
}

void FramePipeline::EndInput(Failure trailing) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        inputEnded_ = true;
        trailing_ = std::move(trailing);
    }
    changed_.notify_all();
}

std::optional<StreamFrame> FramePipeline::NextToRender() {
    std::unique_lock<std::mutex> guard(lock_);
    const auto waiting = [&] { return framesTaken_ < framesRead_; };
    changed_.wait(guard, [&] { return stopped_.load() || waiting() || inputEnded_; });
    if (stopped_.load() || !waiting()) return std::nullopt;
    std::optional<StreamFrame> frame = std::exchange(SlotOf(framesTaken_++), std::nullopt);
    return frame;
}

void FramePipeline::Rendered(StreamFrame frame) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        SlotOf(frame.index).emplace(std::move(frame));
    }
    changed_.notify_all();
}

std::optional<StreamFrame> FramePipeline::NextToWrite() {
    std::unique_lock<std::mutex> guard(lock_);
    const auto allWritten = [&] { return inputEnded_ && framesWritten_ == framesRead_; };
    const auto nextRendered = [&] {
        return framesWritten_ < framesTaken_ && SlotOf(framesWritten_).has_value();
    };
    changed_.wait(guard, [&] { return stopped_.load() || nextRendered() || allWritten(); });
    if (stopped_.load() || allWritten()) return std::nullopt;
    return std::exchange(SlotOf(framesWritten_), std::nullopt);
}

void FramePipeline::Written(StreamFrame frame) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++framesWritten_;
        spare_.push_back(std::move(frame.bitmap));
        if (frame.second) spareSeconds_.push_back(std::move(frame.second));
    }
    changed_.notify_all();
}

bool FramePipeline::BeginFinish() {
    std::lock_guard<std::mutex> guard(lock_);
    if (stopped_.load()) return false;
    finishing_ = true;
    return true;
}

void FramePipeline::Finished(Failure failure) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (failure) {
            failure_ = std::move(failure);
            stopped_.store(true);
        }
        finished_ = true;
    }
    changed_.notify_all();
}

void FramePipeline::Stop(Failure failure) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopped_.load() || finishing_) return;
        failure_ = std::move(failure);
        stopped_.store(true);
    }
    changed_.notify_all();
}

bool FramePipeline::WaitForEnd(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, timeout, [&] { return EndedLocked(); });
}

Failure FramePipeline::Outcome() {
    std::lock_guard<std::mutex> guard(lock_);
    return stopped_.load() ? failure_ : trailing_;
}

std::uint64_t FramePipeline::FramesWritten() {
    std::lock_guard<std::mutex> guard(lock_);
    return framesWritten_;
}
