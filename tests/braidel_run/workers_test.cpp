#include <gtest/gtest.h>

#include <chrono>
#include <future>
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

}  // namespace
