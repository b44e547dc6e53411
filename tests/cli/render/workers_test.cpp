#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "cli/render/workers.h"

namespace {

using namespace std::chrono_literals;

struct Sharing {
    const char* what;
    std::uint64_t budget;
    std::uint64_t held;    // by a frame already in work
    std::uint64_t wanted;  // by the next frame
    bool waits;            // until the first frame is done
};

const Sharing kSharing[] = {
    {"fits beside", 100, 60, 40, false},
    {"one byte too many", 100, 60, 41, true},
    {"larger than the budget, with another in work", 100, 1, 500, true},
    {"no budget figure", UINT64_MAX, UINT64_MAX / 2, UINT64_MAX / 2, false},
};

class FrameMemorySharing : public ::testing::TestWithParam<Sharing> {};

TEST_P(FrameMemorySharing, NextFrameWaitsOnlyWhenItDoesNotFit) {
    const Sharing& c = GetParam();
    FrameMemory memory(c.budget);
    auto first = std::make_unique<FrameMemory::Share>(memory.Take(c.held));
    std::future<FrameMemory::Share> next =
        std::async(std::launch::async, [&] { return memory.Take(c.wanted); });
    EXPECT_EQ(next.wait_for(c.waits ? 200ms : 10s) == std::future_status::timeout, c.waits);
    first.reset();  // the first frame is done: the next one always gets its share
    EXPECT_EQ(next.wait_for(10s), std::future_status::ready);
}

INSTANTIATE_TEST_SUITE_P(Cases, FrameMemorySharing, ::testing::ValuesIn(kSharing));

// A frame larger than the whole budget runs once it is alone, and then holds everything.
TEST(FrameMemory, LargeFrameAloneKeepsOthersOut) {
    FrameMemory memory(100);
    FrameMemory::Share large = memory.Take(500);
    std::future<FrameMemory::Share> small =
        std::async(std::launch::async, [&] { return memory.Take(1); });
    EXPECT_EQ(small.wait_for(200ms), std::future_status::timeout);
    large = {};
    EXPECT_EQ(small.wait_for(10s), std::future_status::ready);
}

TEST(WorkerThreads, DefaultIsOnePerProcessorAndJobsAreHeldToFour) {
    const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    EXPECT_EQ(WorkerThreads(0), processors);
    EXPECT_EQ(WorkerThreads(1), 1);
    EXPECT_EQ(WorkerThreads(9999), 4 * processors);
}

struct Thrown {
    const char* what;
    std::function<void()> thrower;
    std::string name;
    FailureCode code;
    std::string reason;
};

// Memory that ran out is exit 3 as a frame too large for memory is; a thread that cannot start
// and anything else a failed render (exit 4). One line, the frame's name first when there is one.
const Thrown kThrown[] = {
    {"memory", [] { throw std::bad_alloc(); }, "f.png", FailureCode::BadInput,
     "f.png: not enough memory"},
    {"memory, no name", [] { throw std::bad_alloc(); }, "", FailureCode::BadInput,
     "not enough memory"},
    {"a thread",
     [] {
         throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
     },
     "frame 3", FailureCode::RenderFailed, "frame 3: the system refused: "},
    {"a standard exception", [] { throw std::length_error("vector"); }, "x",
     FailureCode::RenderFailed, "x: failed: vector"},
    {"anything else", [] { throw 7; }, "x", FailureCode::RenderFailed, "x: failed"},
};

class ExceptionFailures : public ::testing::TestWithParam<Thrown> {};

TEST_P(ExceptionFailures, BecomeOneLineAndTheirExitCode) {
    const Thrown& c = GetParam();
    std::exception_ptr caught;
    try {
        c.thrower();
    } catch (...) {
        caught = std::current_exception();
    }
    const Failure failure = FailureOfException(caught, c.name);
    EXPECT_EQ(failure.code, c.code);
    EXPECT_EQ(failure.reason.rfind(c.reason, 0), 0u) << failure.reason;
    EXPECT_EQ(failure.reason.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExceptionFailures, ::testing::ValuesIn(kThrown));

}  // namespace
