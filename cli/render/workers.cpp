#include "cli/render/workers.h"

#include <algorithm>
#include <limits>
#include <new>
#include <optional>
#include <system_error>
#include <utility>

#include "cli/platform/memory_status.h"

int WorkerThreads(int jobs) {
    const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    if (jobs <= 0) return processors;
    return std::min(jobs, 4 * processors);
}

std::size_t StartThreads(std::vector<std::thread>& threads, std::size_t count,
                         const std::function<void()>& work) {
    std::size_t started = 0;
    try {
        for (; started < count; ++started) threads.emplace_back(work);
    } catch (const std::system_error&) {
    } catch (const std::bad_alloc&) {
    }
    return started;
}

Failure FailureOfException(std::exception_ptr exception, const std::string& name) {
    const std::string prefix = name.empty() ? std::string() : name + ": ";
    try {
        std::rethrow_exception(exception);
    } catch (const std::bad_alloc&) {
        return {FailureCode::BadInput, prefix + "not enough memory"};
    } catch (const std::system_error& error) {
        return {FailureCode::RenderFailed, prefix + "the system refused: " + error.what()};
    } catch (const std::exception& error) {
        return {FailureCode::RenderFailed, prefix + "failed: " + error.what()};
    } catch (...) {
    }
    return {FailureCode::RenderFailed, prefix + "failed"};
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
