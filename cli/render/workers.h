#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/exit_codes.h"

// How many frames a run works on at once, batch and stream alike: `--jobs` (default: one per
// processor), held to four threads per processor and to the frames that fit in half the
// memory that is free when the run starts. Beyond those a large --jobs would only exhaust
// memory or crowd the processors, never add speed.

// Worker threads for `jobs` (0: one per processor), at most four per processor.
int WorkerThreads(int jobs);

// Starts up to `count` more threads running `work`, as many as the system lets start (one that
// cannot, for want of memory or threads, ends the starting), and returns how many started.
std::size_t StartThreads(std::vector<std::thread>& threads, std::size_t count,
                         const std::function<void()>& work);

// What an exception that ended a frame, a worker or a stage means, as one line that starts with
// `name` (none when empty): memory that ran out is a frame too large for the run's memory
// (FailureCode::BadInput), anything else a failed render.
Failure FailureOfException(std::exception_ptr exception, const std::string& name);

// The memory a run's frames may take: half the physical memory free now; no bound when the
// system gives no figure.
std::uint64_t FrameMemoryBudget();

// The budget shared by frames whose sizes are known only once each is opened (a batch). A frame
// takes its bytes before its file is read and before its pixels are allocated, and gives them
// back when it is done; while the frames in work hold too much, it waits. One frame at a time
// is admitted (from opening its file to allocating its pixels), so that only the admitted frame
// ever waits while holding a share, and frames in work, which never wait, always make room.
class FrameMemory {
  public:
    explicit FrameMemory(std::uint64_t budget) : budget_(budget) {}

    std::uint64_t Budget() const { return budget_; }
    // Held by the one frame being admitted.
    std::unique_lock<std::mutex> Admit() { return std::unique_lock<std::mutex>(admission_); }

    // The bytes of one frame, given back when it goes.
    class Share {
      public:
        Share() = default;
        Share(FrameMemory* memory, std::uint64_t bytes) : memory_(memory), bytes_(bytes) {}
        Share(Share&& other) noexcept;
        Share& operator=(Share&& other) noexcept;
        ~Share() { Release(); }

      private:
        void Release();

        FrameMemory* memory_ = nullptr;
        std::uint64_t bytes_ = 0;
    };

    Share Take(std::uint64_t bytes);

  private:
    void Give(std::uint64_t bytes);

    const std::uint64_t budget_;
    std::mutex admission_;
    std::mutex lock_;
    std::condition_variable released_;
    std::uint64_t held_ = 0;
};
