#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "filter/filter_config.h"
#include "hostsdk/instrumented_bitmap.h"
#include "tests/support/frames.h"
#include "tests/support/plugin.h"
#include "tests/support/progress_window.h"

namespace {

using Block = std::array<uint8_t, 8>;

Block SavedBlock(ImageFilter& filter) {
    Block block;
    block.fill(0xAA);
    EXPECT_EQ(filter.SaveConfig(block.data()), 1);
    return block;
}

TEST(FilterConfig, FreshFilterSavesZeroBlockOfEightBytes) {
    FilterPtr filter = Plugin().CreateFilter();
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter->ConfigSize(), 8u);
    EXPECT_EQ(SavedBlock(*filter), Block{});
}

// Any 32-bit values survive a load and a save unchanged, little-endian, mode first.
class ConfigRoundTrip : public ::testing::TestWithParam<std::array<int32_t, 2>> {};

TEST_P(ConfigRoundTrip, LoadedBlockSavesBackByteForByte) {
    FilterPtr filter = Plugin().CreateFilter();
    const auto [mode, field] = GetParam();
    Block block{};
    std::memcpy(block.data(), &mode, 4);
    std::memcpy(block.data() + 4, &field, 4);
    EXPECT_EQ(filter->LoadConfig(block.data()), 1);
    EXPECT_EQ(SavedBlock(*filter), block);
}

INSTANTIATE_TEST_SUITE_P(Values, ConfigRoundTrip,
                         ::testing::Values(std::array<int32_t, 2>{2, 1},
                                           std::array<int32_t, 2>{1, 0},
                                           std::array<int32_t, 2>{3, 2},
                                           std::array<int32_t, 2>{-1, -1},
                                           std::array<int32_t, 2>{INT32_MIN, INT32_MAX}));

TEST(FilterConfig, BlockLayoutIsModeThenFieldLittleEndian) {
    FilterPtr filter = Plugin().CreateFilter();
    Block block{2, 0, 0, 0, 1, 0, 0, 0};
    ASSERT_EQ(filter->LoadConfig(block.data()), 1);
    // Mode 2, field 1: the six-point kernel over the odd rows. Row 1 of a 3-row frame is then
    // rebuilt (not copied), and rows 0 and 2 keep their content.
    hostsdk::InstrumentedBitmap frame(4, 3);
    FillFrame(frame, 7);
    const FrameRows before = Snapshot(frame);
    filter->SetSource(&frame);
    ASSERT_EQ(filter->Render(nullptr), 1);
    EXPECT_EQ(RowsCalled(frame, hostsdk::RowOp::ReadPixels), (std::vector<int>{2, 0}));
    EXPECT_EQ(RowsCalled(frame, hostsdk::RowOp::WritePixels), (std::vector<int>{1}));
    EXPECT_EQ(RowOf(frame, 0), before[0]);
    EXPECT_EQ(RowOf(frame, 2), before[2]);
}

TEST(FilterConfig, NullAddressesAreRefusedAndChangeNothing) {
    FilterPtr filter = Plugin().CreateFilter();
    Block block{1, 0, 0, 0, 1, 0, 0, 0};
    ASSERT_EQ(filter->LoadConfig(block.data()), 1);
    EXPECT_EQ(filter->SaveConfig(nullptr), 0);
    EXPECT_EQ(filter->LoadConfig(nullptr), 0);
    EXPECT_EQ(SavedBlock(*filter), block);
}

// A mode outside 0..2 renders nothing: result 0, frame untouched, no message, no row call.
TEST(FilterConfig, UnknownModeRendersNothing) {
    for (int32_t mode : {3, -1, 100}) {
        FilterPtr filter = Plugin().CreateFilter();
        FilterConfig config{static_cast<Kernel>(mode), kEvenLines};
        filter->LoadConfig(&config);
        hostsdk::InstrumentedBitmap frame(5, 5);
        FillFrame(frame, 3);
        const FrameRows before = Snapshot(frame);
        filter->SetSource(&frame);
        ProgressWindow window;
        EXPECT_EQ(filter->Render(window.Handle()), 0) << "mode " << mode;
        EXPECT_EQ(frame.CallCount(), 0);
        EXPECT_TRUE(window.Messages().empty());
        EXPECT_EQ(Snapshot(frame), before);
    }
}

TEST(FilterObject, DescriptiveAnswers) {
    FilterPtr filter = Plugin().CreateFilter();
    EXPECT_STREQ(filter->Description(), L"Stereo Braidel Filter");
    EXPECT_STREQ(filter->AuthorName(), L"Orvath");
    EXPECT_STREQ(filter->CopyrightText(), L"");
    EXPECT_EQ(filter->Version(), 400u);
    EXPECT_EQ(filter->Capabilities(), 6u);
}

TEST(FilterObject, RenderWithoutFrameFailsWithoutMessages) {
    FilterPtr filter = Plugin().CreateFilter();
    ProgressWindow window;
    EXPECT_EQ(filter->Render(window.Handle()), 0);
    EXPECT_TRUE(window.Messages().empty());
}

}  // namespace
