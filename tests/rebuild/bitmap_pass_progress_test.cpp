// Progress messages and abort polls of a render, as the host's window receives them.

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/render_fixture.h"

namespace {

using hostsdk::RowOp;

struct ProgressCase {
    int height;
    int32_t field;
    bool withMask;
    std::vector<long long> positions;
};

void PrintTo(const ProgressCase& c, std::ostream* out) {
    *out << "H=" << c.height << " field=" << c.field << (c.withMask ? " mask" : "");
}

const ProgressCase kProgressCases[] = {
    {0, 0, false, {}},
    {0, 1, false, {}},
    {1, 0, false, {}},
    {1, 1, false, {}},
    {2, 0, false, {1}},
    {2, 1, false, {}},
    {3, 0, false, {1}},
    {3, 1, false, {2}},
    {6, 0, false, {1, 3, 5}},
    {6, 1, false, {2, 4}},
    {7, 0, false, {1, 3, 5}},
    {7, 1, false, {2, 4, 6}},
    {7, 2, false, {1, 3, 5}},
    {10, 0, true, {1, 3, 5, 7, 9, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
    {5, 1, true, {2, 4, 0, 1, 2, 3, 4}},
    {1, 1, true, {0}},
};

class ProgressSequence : public ::testing::TestWithParam<ProgressCase> {};

// Each row gets its progress message first and its abort poll second; every total is H - 1,
// in the mask pass too; every poll finds the flag cleared.
TEST_P(ProgressSequence, PairsPerRowInOrderWithFullSweepTotals) {
    const ProgressCase& c = GetParam();
    for (int32_t mode : {0, 1, 2}) {
        RenderSetup setup(mode, c.field, 4, static_cast<uint16_t>(c.height));
        if (c.withMask) setup.AddMask(4, static_cast<uint16_t>(c.height), 100);
        ASSERT_EQ(setup.Render(), 1);
        const auto& messages = setup.window.Messages();
        ASSERT_EQ(messages.size(), 2 * c.positions.size());
        for (std::size_t i = 0; i < messages.size(); i += 2) {
            EXPECT_EQ(messages[i].id, kProgressMessage);
            EXPECT_EQ(messages[i + 1].id, kAbortPollMessage);
            EXPECT_EQ(messages[i + 1].wParam, 0u);
        }
        EXPECT_EQ(setup.window.Positions(), c.positions);
        EXPECT_EQ(setup.window.Totals(), std::vector<long long>(c.positions.size(), c.height - 1));
        for (int flag : setup.window.FlagsOnArrival()) EXPECT_EQ(flag, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Heights, ProgressSequence, ::testing::ValuesIn(kProgressCases));

// The poll comes before the row's reads: after an abort nothing more is read or written.
TEST(Abort, AtFirstPollLeavesFrameUntouchedAndSkipsMaskPass) {
    for (int32_t mode : {0, 1, 2}) {
        RenderSetup setup(mode, kEvenLines, 5, 8);
        hostsdk::InstrumentedBitmap& mask = setup.AddMask(5, 8, 100);
        setup.window.AbortAtPoll(1);
        EXPECT_EQ(setup.Render(), 0);
        EXPECT_EQ(setup.frame.CallCount(), 0);
        EXPECT_EQ(mask.CallCount(), 0);
        EXPECT_EQ(Snapshot(setup.frame), setup.before);
        EXPECT_EQ(setup.window.PollCount(), 1);
    }
}

TEST(Abort, AtLaterPollKeepsRowsAlreadyWritten) {
    for (int32_t mode : {0, 1, 2}) {
        RenderSetup setup(mode, kOddLines, 5, 9);
        setup.window.AbortAtPoll(3);  // the poll of row 5
        EXPECT_EQ(setup.Render(), 0);
        EXPECT_EQ(RowsCalled(setup.frame, RowOp::WritePixels), (std::vector<int>{1, 3}));
        const FrameRows after = Snapshot(setup.frame);
        for (int y : {0, 2, 4, 5, 6, 7, 8}) EXPECT_EQ(after[y], setup.before[y]) << "row " << y;
        EXPECT_NE(after[1], setup.before[1]);
        EXPECT_EQ(setup.window.PollCount(), 3);
    }
}

// The last-row copy sends nothing, so an abort cannot reach it.
TEST(Abort, LastRowCopyHasNoPoll) {
    RenderSetup setup(kCopyLine, kOddLines, 3, 4);
    ASSERT_EQ(setup.Render(), 1);
    EXPECT_EQ(setup.window.Positions(), (std::vector<long long>{2}));
    EXPECT_EQ(RowsCalled(setup.frame, RowOp::WritePixels), (std::vector<int>{1, 3}));
}

TEST(NullWindow, RenderRunsToTheEnd) {
    for (int32_t mode : {0, 1, 2}) {
        RenderSetup setup(mode, kEvenLines, 6, 7);
        setup.AddMask(6, 7, 0);
        EXPECT_EQ(setup.filter->Render(nullptr), 1);
        EXPECT_EQ(RowsCalled(setup.frame, RowOp::WritePixels),
                  (std::vector<int>{0, 2, 4, 6, 0, 1, 2, 3, 4, 5, 6}));
    }
}

}  // namespace
