#include "cli/render/workers.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <thread>
#include <utility>

#include "cli/platform/memory_status.h"

int WorkerThreads(int jobs) {
    const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    if (jobs <= 0) return processors;
    return std::min(jobs, 4 * processors);
}

std::uint64_t FrameMemoryBudget() {
    const std::optional<MemoryFigures> memory = MemoryStatus();
    if (!memory || memory->availablePhysical == 0) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return memory->availablePhysical / 2;
}

FrameMemory::Share::Share(Share&& other) noexcept
    : memory_(std::exchange(other.memory_, nullptr)), bytes_(other.bytes_) {}

FrameMemory::Share& FrameMemory::Share::operator=(Share&& other) noexcept {
    if (this != &other) {
        Release();
        memory_ = std::exchange(other.memory_, nullptr);
        bytes_ = other.bytes_;
    }
    return *this;
}

void FrameMemory::Share::Release() {
    if (memory_ != nullptr) std::exchange(memory_, nullptr)->Give(bytes_);
}

FrameMemory::Share FrameMemory::Take(std::uint64_t bytes) {
    std::unique_lock<std::mutex> guard(lock_);
    released_.wait(guard,
                   [&] { return held_ == 0 || bytes <= budget_ - std::min(held_, budget_); });
    held_ += bytes;
    return Share(this, bytes);
}

void FrameMemory::Give(std::uint64_t bytes) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        held_ -= bytes;
    }
    released_.notify_all();
}
