#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <future>
#include <memory>
#include <vector>

#include "cli/stream/frame_pipeline.h"

namespace {

using namespace std::chrono_literals;

// A frame whose first pixel carries its stream index, so the written order can be read back.
void Read(FramePipeline& pipeline, uint16_t index) {
    std::unique_ptr<hostsdk::PlainBitmap> bitmap = pipeline.TakeBuffer();
    ASSERT_NE(bitmap, nullptr);
    bitmap->Pixels()[0].r = index;
    pipeline.Submit(std::move(bitmap));
}

std::vector<int> WriteAll(FramePipeline& pipeline) {
    std::vector<int> written;
    while (std::optional<StreamFrame> frame = pipeline.NextToWrite()) {
        written.push_back(frame->bitmap->Pixels()[0].r);
        pipeline.Written(std::move(*frame));
    }
    return written;
}

// Frames rendered in any order leave in stream order.
class CompletionOrder : public ::testing::TestWithParam<std::array<int, 4>> {};

TEST_P(CompletionOrder, FramesAreWrittenInStreamOrder) {
    FramePipeline pipeline(3, 2, 4);
    for (uint16_t i = 0; i < 4; ++i) Read(pipeline, i);
    pipeline.EndInput({});
    std::vector<StreamFrame> inRender;
    while (std::optional<StreamFrame> frame = pipeline.NextToRender()) {
        inRender.push_back(std::move(*frame));
    }
    ASSERT_EQ(inRender.size(), 4u);
    std::future<std::vector<int>> writer =
        std::async(std::launch::async, [&] { return WriteAll(pipeline); });
    for (int index : GetParam()) pipeline.Rendered(std::move(inRender[index]));
    EXPECT_EQ(writer.get(), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(pipeline.FramesWritten(), 4u);
    EXPECT_TRUE(pipeline.BeginFinish());
}

INSTANTIATE_TEST_SUITE_P(Orders, CompletionOrder,
                         ::testing::Values(std::array<int, 4>{0, 1, 2, 3},
                                           std::array<int, 4>{3, 2, 1, 0},
                                           std::array<int, 4>{1, 0, 3, 2},
                                           std::array<int, 4>{2, 3, 0, 1}));

// Frames pass a ring of as many slots as buffers: rounds of frames rendered in reverse, the
// rounds shorter than, equal to or one off the ring, so that indices wrap at every offset.
struct RingRounds {
    int buffers;
    int perRound;
};

class RingWrap : public ::testing::TestWithParam<RingRounds> {};

TEST_P(RingWrap, FramesAreWrittenInStreamOrder) {
    const RingRounds rounds = GetParam();
    FramePipeline pipeline(2, 1, rounds.buffers);
    std::vector<int> written;
    uint16_t next = 0;
    for (int round = 0; round < 5; ++round) {
        for (int i = 0; i < rounds.perRound; ++i) Read(pipeline, next++);
        std::vector<StreamFrame> inRender;
        for (int i = 0; i < rounds.perRound; ++i) inRender.push_back(*pipeline.NextToRender());
        for (auto frame = inRender.rbegin(); frame != inRender.rend(); ++frame) {
            pipeline.Rendered(std::move(*frame));
        }
        for (int i = 0; i < rounds.perRound; ++i) {
            std::optional<StreamFrame> frame = pipeline.NextToWrite();
            ASSERT_TRUE(frame);
            written.push_back(frame->bitmap->Pixels()[0].r);
            pipeline.Written(std::move(*frame));
        }
    }
    std::vector<int> expected(next);
    for (int i = 0; i < next; ++i) expected[i] = i;
    EXPECT_EQ(written, expected);
}

INSTANTIATE_TEST_SUITE_P(Rounds, RingWrap,
                         ::testing::Values(RingRounds{1, 1}, RingRounds{3, 2}, RingRounds{3, 3},
                                           RingRounds{4, 3}));

// No more than `buffers` frames exist at once: the reader waits for a written frame's buffer,
// and gets that very buffer back.
TEST(FramePipeline, ReaderWaitsForARecycledBuffer) {
    FramePipeline pipeline(2, 2, 2);
    Read(pipeline, 0);
    Read(pipeline, 1);
    std::future<std::unique_ptr<hostsdk::PlainBitmap>> third =
        std::async(std::launch::async, [&] { return pipeline.TakeBuffer(); });
    EXPECT_EQ(third.wait_for(200ms), std::future_status::timeout);

    std::optional<StreamFrame> first = pipeline.NextToRender();
    ASSERT_TRUE(first);
    const hostsdk::PlainBitmap* buffer = first->bitmap.get();
    pipeline.Rendered(std::move(*first));
    std::optional<StreamFrame> toWrite = pipeline.NextToWrite();
    ASSERT_TRUE(toWrite);
    pipeline.Written(std::move(*toWrite));
    EXPECT_EQ(third.get().get(), buffer);
}

// A stop ends every wait at once, and its failure is the outcome; the first stop counts.
TEST(FramePipeline, StopEndsEveryStageWithTheFirstFailure) {
    FramePipeline pipeline(2, 2, 1);
    Read(pipeline, 0);
    std::future<std::unique_ptr<hostsdk::PlainBitmap>> reader =
        std::async(std::launch::async, [&] { return pipeline.TakeBuffer(); });
    std::future<std::optional<StreamFrame>> writer =
        std::async(std::launch::async, [&] { return pipeline.NextToWrite(); });
    pipeline.Stop({FailureCode::NotWritten, "reader gone"});
    pipeline.Stop({FailureCode::Aborted, "aborted"});
    EXPECT_EQ(reader.get(), nullptr);
    EXPECT_FALSE(writer.get());
    EXPECT_FALSE(pipeline.NextToRender());
    EXPECT_TRUE(pipeline.WaitForEnd(0ms));
    EXPECT_FALSE(pipeline.BeginFinish());
    EXPECT_EQ(pipeline.Outcome().code, FailureCode::NotWritten);
    EXPECT_EQ(pipeline.Outcome().reason, "reader gone");
}

// Once the writer has begun to finish, a late stop (an abort after the last frame) no longer
// counts: the output is completed, and the reader's trailing failure is the outcome.
TEST(FramePipeline, FinishOutlastsALateStop) {
    FramePipeline pipeline(2, 2, 1);
    Read(pipeline, 0);
    pipeline.EndInput({FailureCode::BadInput, "3 bytes after the last whole frame"});
    std::optional<StreamFrame> frame = pipeline.NextToRender();
    ASSERT_TRUE(frame);
    pipeline.Rendered(std::move(*frame));
    EXPECT_EQ(WriteAll(pipeline), std::vector<int>{0});
    ASSERT_TRUE(pipeline.BeginFinish());
    pipeline.Stop({FailureCode::Aborted, "aborted"});
    EXPECT_FALSE(pipeline.Stopped());
    EXPECT_FALSE(pipeline.WaitForEnd(0ms));
    pipeline.Finished({});
    EXPECT_TRUE(pipeline.WaitForEnd(0ms));
    EXPECT_EQ(pipeline.Outcome().code, FailureCode::BadInput);
}

// A failed completion of the output (the rename) still stops the stream with its failure.
TEST(FramePipeline, FailedFinishIsTheOutcome) {
    FramePipeline pipeline(1, 1, 1);
    pipeline.EndInput({});
    EXPECT_TRUE(WriteAll(pipeline).empty());
    ASSERT_TRUE(pipeline.BeginFinish());
    pipeline.Finished({FailureCode::NotWritten, "not renamed"});
    EXPECT_TRUE(pipeline.Stopped());
    EXPECT_EQ(pipeline.Outcome().code, FailureCode::NotWritten);
}

TEST(FramePipeline, PixelBytesAreTheWholeFrame) {
    hostsdk::PlainBitmap bitmap(5, 3);
    EXPECT_EQ(PixelBytes(bitmap).size(), 5u * 3u * 8u);
}

}  // namespace
