// Failed host row calls and refused row buffers: result 0, rows before stay written, nothing
// after is touched, every buffer released.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/support/render_fixture.h"
#include "tests/support/standard_heap_probe.h"

namespace {

using hostsdk::RowFailure;
using hostsdk::RowOp;

struct RowCallFailure {
    const char* name;
    int32_t mode;
    int32_t field;
    RowFailure failure;
    std::vector<int> rowsWritten;  // before the failure, in order
};

void PrintTo(const RowCallFailure& c, std::ostream* out) {
    *out << c.name;
}

// Frames of 9 rows: even field writes 0, 2, 4, 6, 8 (the last by copy); odd writes 1, 3, 5, 7.
const RowCallFailure kRowCallFailures[] = {
    {"lower read of row 5, copy", 0, 0, {RowOp::ReadPixels, 5, 0, 0}, {0, 2}},
    {"lower read of row 5, linear", 1, 0, {RowOp::ReadPixels, 5, 0, 0}, {0, 2}},
    {"upper read of row 3, linear", 1, 0, {RowOp::ReadPixels, 3, 2, 0}, {0, 2}},
    {"upper read of row 2, weighted", 2, 1, {RowOp::ReadPixels, 2, 2, 0}, {1}},
    {"read returning 2", 1, 1, {RowOp::ReadPixels, 4, 0, 2}, {1}},
    {"read returning -1", 2, 1, {RowOp::ReadPixels, 4, 0, -1}, {1}},
    {"write of row 4", 1, 0, {RowOp::WritePixels, 4, 0, 0}, {0, 2}},
    {"write returning 2", 2, 0, {RowOp::WritePixels, 2, 0, 2}, {0}},
    {"last-row read", 0, 0, {RowOp::ReadPixels, 7, 2, 0}, {0, 2, 4, 6}},
    {"last-row write", 1, 0, {RowOp::WritePixels, 8, 0, 0}, {0, 2, 4, 6}},
    {"third row call", 1, 1, {RowOp::Any, -1, 3, 0}, {}},
};

class RowCallFailures : public ::testing::TestWithParam<RowCallFailure> {};

TEST_P(RowCallFailures, StopWithZeroAndKeepEarlierRows) {
    const RowCallFailure& c = GetParam();
    RenderSetup setup(c.mode, c.field, 4, 9);
    hostsdk::InstrumentedBitmap& mask = setup.AddMask(4, 9, 100);
    setup.frame.Fail(c.failure);
    EXPECT_EQ(setup.Render(), 0);

    std::vector<int> written;
    for (int i = 0; i < setup.frame.CallCount(); ++i) {
        const hostsdk::RowCall call = setup.frame.Call(i);
        if (call.op == RowOp::WritePixels && call.result == 1) written.push_back(call.y);
    }
    EXPECT_EQ(written, c.rowsWritten);
    // The failing call is the last one: nothing is read or written after it.
    EXPECT_NE(setup.frame.Call(setup.frame.CallCount() - 1).result, 1);
    EXPECT_EQ(mask.CallCount(), 0) << "the mask pass must not run";
    const FrameRows after = Snapshot(setup.frame);
    for (int y = 0; y < 9; ++y) {
        const bool wasWritten = std::find(written.begin(), written.end(), y) != written.end();
        if (!wasWritten) {
            EXPECT_EQ(after[y], setup.before[y]) << "row " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RowCallFailures, ::testing::ValuesIn(kRowCallFailures));

struct BufferRefusal {
    int32_t mode;
    int refused;        // which calloc of the render is refused, from 1
    int obtainedFirst;  // row buffers obtained before it
};

class BufferRefusals : public ::testing::TestWithParam<BufferRefusal> {};

// Buffers come in the order lower, upper, output: refusing any of them ends the render before
// any message or row call, with the ones obtained before released.
TEST_P(BufferRefusals, EndRenderCleanly) {
    const BufferRefusal& c = GetParam();
    RenderSetup setup(c.mode, kEvenLines, 6, 5);
    StandardHeapProbe heap(Plugin().Handle());
    heap.FailAllocation(c.refused);
    EXPECT_EQ(setup.Render(), 0);
    EXPECT_EQ(heap.Refusals(), 1);
    EXPECT_EQ(heap.Allocations(), c.obtainedFirst);
    EXPECT_EQ(heap.Outstanding(), 0);
    EXPECT_TRUE(setup.window.Messages().empty());
    EXPECT_EQ(setup.frame.CallCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(EachBuffer, BufferRefusals,
                         ::testing::Values(BufferRefusal{0, 1, 0}, BufferRefusal{1, 1, 0},
                                           BufferRefusal{1, 2, 1}, BufferRefusal{2, 1, 0},
                                           BufferRefusal{2, 2, 1}, BufferRefusal{2, 3, 2}));

TEST(Buffers, EachPassObtainsItsBuffersOnceAndReleasesThem) {
    const int rowBuffers[] = {1, 2, 3};
    for (int32_t mode : {0, 1, 2}) {
        for (bool withMask : {false, true}) {
            RenderSetup setup(mode, kOddLines, 7, 12);
            if (withMask) setup.AddMask(7, 12, 5);
            StandardHeapProbe heap(Plugin().Handle());
            EXPECT_EQ(setup.Render(), 1);
            EXPECT_EQ(heap.Allocations(), rowBuffers[mode] + (withMask ? 1 : 0));
            EXPECT_EQ(heap.Outstanding(), 0);
        }
    }
}

// Without its buffer the mask pass is skipped; the rebuild itself still completes.
TEST(Buffers, RefusedMaskBufferMeansNoMaskPass) {
    for (int32_t mode : {0, 1, 2}) {
        RenderSetup setup(mode, kEvenLines, 5, 6);
        hostsdk::InstrumentedBitmap& mask = setup.AddMask(5, 6, 100);
        StandardHeapProbe heap(Plugin().Handle());
        heap.FailAllocation(mode + 2);
        EXPECT_EQ(setup.Render(), 1);
        EXPECT_EQ(heap.Refusals(), 1);
        EXPECT_EQ(heap.Outstanding(), 0);
        EXPECT_EQ(mask.CallCount(), 0);
        EXPECT_EQ(setup.window.Positions(), (std::vector<long long>{1, 3, 5}));
        EXPECT_EQ(setup.window.Totals(), (std::vector<long long>{5, 5, 5}));
    }
}

}  // namespace
