// The six-point pass through render: kernel rows from the kept rows y - 1 and y + 1, the
// first-row copy, untouched kept rows.

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/render_fixture.h"

namespace {

struct SixPointPassCase {
    int32_t field;
    uint16_t height;
    int rebuiltRow;
    std::vector<uint16_t> above;
    std::vector<uint16_t> below;
    std::vector<uint16_t> expected;
};

void SetGreyRow(hostsdk::InstrumentedBitmap& frame, int y, const std::vector<uint16_t>& values) {
    for (int x = 0; x < static_cast<int>(values.size()); ++x) {
        frame.Pixel(x, y) = {values[x], values[x], values[x], values[x]};
    }
}

class SixPointPass : public ::testing::TestWithParam<SixPointPassCase> {};

TEST_P(SixPointPass, RebuildsFromKeptNeighbours) {
    const SixPointPassCase& c = GetParam();
    const auto width = static_cast<uint16_t>(c.above.size());
    RenderSetup setup(kSixPointWeighted, c.field, width, c.height);
    SetGreyRow(setup.frame, c.rebuiltRow - 1, c.above);
    SetGreyRow(setup.frame, c.rebuiltRow + 1, c.below);
    const FrameRows before = Snapshot(setup.frame);
    ASSERT_EQ(setup.Render(), 1);

    PixelRow expected;
    for (uint16_t v : c.expected) expected.push_back({v, v, v, v});
    EXPECT_EQ(RowOf(setup.frame, c.rebuiltRow), expected);
    for (int y = 1 - c.field; y < c.height; y += 2) {
        EXPECT_EQ(RowOf(setup.frame, y), before[y]) << "kept row " << y;
    }
    if (c.field == kEvenLines) {
        EXPECT_EQ(RowOf(setup.frame, 0), before[1]) << "first row copies the row below";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, SixPointPass,
    ::testing::Values(
        SixPointPassCase{kEvenLines, 4, 2, {100, 200, 300}, {400, 500, 600}, {308, 350, 391}},
        SixPointPassCase{kOddLines, 3, 1, {10, 20}, {30, 40}, {25, 24}}));

}  // namespace
