// Which rows each pass writes, from which rows, for every frame height up to 7.

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/render_fixture.h"

namespace {

using hostsdk::RowOp;

// Row `row` is rebuilt from the kept rows `above` and `below`; -1 marks a missing neighbour,
// which makes the row a plain copy of the other one.
struct Derivation {
    int row;
    int above;
    int below;
};

struct RowTable {
    int height;
    int32_t field;
    std::vector<Derivation> writes;
};

// Field values other than 0 and 1 rebuild the even rows, without the last-row copy.
const RowTable kRowTables[] = {
    {0, 0, {}},
    {0, 1, {}},
    {1, 0, {}},
    {1, 1, {}},
    {2, 0, {{0, -1, 1}}},
    {2, 1, {{1, 0, -1}}},
    {3, 0, {{0, -1, 1}, {2, 1, -1}}},
    {3, 1, {{1, 0, 2}}},
    {4, 0, {{0, -1, 1}, {2, 1, 3}}},
    {4, 1, {{1, 0, 2}, {3, 2, -1}}},
    {5, 0, {{0, -1, 1}, {2, 1, 3}, {4, 3, -1}}},
    {5, 1, {{1, 0, 2}, {3, 2, 4}}},
    {6, 0, {{0, -1, 1}, {2, 1, 3}, {4, 3, 5}}},
    {6, 1, {{1, 0, 2}, {3, 2, 4}, {5, 4, -1}}},
    {7, 0, {{0, -1, 1}, {2, 1, 3}, {4, 3, 5}, {6, 5, -1}}},
    {7, 1, {{1, 0, 2}, {3, 2, 4}, {5, 4, 6}}},
    {7, 2, {{0, -1, 1}, {2, 1, 3}, {4, 3, 5}}},
    {7, -1, {{0, -1, 1}, {2, 1, 3}, {4, 3, 5}}},
    {6, 2, {{0, -1, 1}, {2, 1, 3}, {4, 3, 5}}},
    {6, -1, {{0, -1, 1}, {2, 1, 3}, {4, 3, 5}}},
    {1, 2, {}},
};

struct Case {
    RowTable table;
    int32_t mode;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << "H=" << c.table.height << " field=" << c.table.field << " mode=" << c.mode;
}

std::vector<Case> AllCases() {
    std::vector<Case> cases;
    for (const RowTable& table : kRowTables) {
        for (int32_t mode : {0, 1, 2}) cases.push_back({table, mode});
    }
    return cases;
}

class RowTables : public ::testing::TestWithParam<Case> {};

TEST_P(RowTables, WritesExactlyTheTabledRowsFromTheirKeptNeighbours) {
    const auto& [table, mode] = GetParam();
    RenderSetup setup(mode, table.field, 3, static_cast<uint16_t>(table.height));
    ASSERT_EQ(setup.Render(), 1);

    std::vector<int> expectedReads;
    std::vector<int> expectedWrites;
    FrameRows expected = setup.before;
    std::vector<bool> kernelRow(table.height, false);  // values checked by the kernel tests
    for (const Derivation& d : table.writes) {
        expectedWrites.push_back(d.row);
        const bool interior = d.above >= 0 && d.below >= 0;
        if (!interior) {
            const int source = d.above >= 0 ? d.above : d.below;
            expectedReads.push_back(source);
            expected[d.row] = setup.before[source];
        } else if (mode == kCopyLine) {
            // Every rebuilt row with a row below copies the row below, never the one above.
            expectedReads.push_back(d.below);
            expected[d.row] = setup.before[d.below];
        } else {
            expectedReads.insert(expectedReads.end(), {d.below, d.above});
            if (mode == kTwoPointLinear) {
                expected[d.row] = MeanOf(setup.before[d.above], setup.before[d.below]);
            } else {
                kernelRow[d.row] = true;
            }
        }
    }
    EXPECT_EQ(RowsCalled(setup.frame, RowOp::ReadPixels), expectedReads);
    EXPECT_EQ(RowsCalled(setup.frame, RowOp::WritePixels), expectedWrites);
    EXPECT_TRUE(AllCallsInside(setup.frame));
    const FrameRows after = Snapshot(setup.frame);
    for (int y = 0; y < table.height; ++y) {
        if (!kernelRow[y]) {
            EXPECT_EQ(after[y], expected[y]) << "row " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllHeights, RowTables, ::testing::ValuesIn(AllCases()));

// Every row call covers the whole row from x = 0.
TEST(RowCalls, CoverWholeRowsFromTheLeftEdge) {
    for (int32_t mode : {0, 1, 2}) {
        RenderSetup setup(mode, 0, 11, 6);
        ASSERT_EQ(setup.Render(), 1);
        for (int i = 0; i < setup.frame.CallCount(); ++i) {
            EXPECT_EQ(setup.frame.Call(i).x, 0);
            EXPECT_EQ(setup.frame.Call(i).count, 11);
        }
    }
}

// The two-point mean, channel by channel, alpha included: rounded down, never overflowing.
TEST(TwoPointMean, PerChannelRoundsDown) {
    struct Pair {
        uint16_t above;
        uint16_t below;
        uint16_t mean;
    };
    const Pair pairs[] = {{65535, 0, 32767}, {0, 65535, 32767},     {1, 2, 1},
                          {2, 1, 1},         {65535, 65535, 65535}, {7, 7, 7},
                          {0, 0, 0},         {65534, 65535, 65534}};
    RenderSetup setup(kTwoPointLinear, kOddLines, static_cast<uint16_t>(std::size(pairs)), 3);
    for (int x = 0; x < static_cast<int>(std::size(pairs)); ++x) {
        const Pair& p = pairs[x];
        // Each channel gets the pair in its own position, so a channel mix-up shows.
        setup.frame.Pixel(x, 0) = {p.above, p.below, p.above, p.below};
        setup.frame.Pixel(x, 2) = {p.below, p.above, p.below, p.above};
    }
    ASSERT_EQ(setup.Render(), 1);
    for (int x = 0; x < static_cast<int>(std::size(pairs)); ++x) {
        const uint16_t m = pairs[x].mean;
        EXPECT_EQ(setup.frame.Pixel(x, 1), (BMM_Color_64{m, m, m, m})) << "pair " << x;
    }
}

// Zero-pixel rows are rows all the same: the pass walks them and completes.
TEST(Geometry, ZeroWidthFrameCompletes) {
    for (int32_t mode : {0, 1, 2}) {
        RenderSetup setup(mode, 0, 0, 5);
        EXPECT_EQ(setup.Render(), 1);
        EXPECT_EQ(RowsCalled(setup.frame, RowOp::WritePixels), (std::vector<int>{0, 2, 4}));
        EXPECT_TRUE(AllCallsInside(setup.frame));
    }
}

}  // namespace
