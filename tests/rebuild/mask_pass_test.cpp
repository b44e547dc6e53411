// The mask pass that ends every render with a mask: band test, Lerp calls, rows visited.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "hostsdk/instrumentation.h"
#include "tests/support/import_patch.h"
#include "tests/support/render_fixture.h"

namespace {

using hostsdk::RowOp;

// Records Lerp calls while alive.
struct LerpRecording {
    LerpRecording() {
        hostsdk::ResetRecords();
        hostsdk::RecordLerpCalls(true);
    }
    ~LerpRecording() { hostsdk::ResetRecords(); }
    std::vector<hostsdk::LerpCall> Calls() const {
        std::vector<hostsdk::LerpCall> calls;
        for (int i = 0; i < hostsdk::LerpCallCount(); ++i) calls.push_back(hostsdk::LerpCallAt(i));
        return calls;
    }
};

// A host whose Lerp returns a + l + 0x10000: only the low 16 bits may land in the channel.
int ShiftingLerp(void*, int a, int, int l) {
    return a + l + 0x10000;
}

struct ShiftingHost {
    ImportPatch patch{Plugin().Handle(), "hostsdk.dll", "_ZN11ImageFilter4LerpEiii",
                      reinterpret_cast<void*>(&ShiftingLerp)};
};

uint16_t Shifted(uint16_t value, uint16_t m) {
    return static_cast<uint16_t>(value + m);
}

class MaskBand : public ::testing::TestWithParam<uint16_t> {};

TEST_P(MaskBand, ValuesOutsideOneTo65529CallNoLerp) {
    RenderSetup setup(kCopyLine, kEvenLines, 3, 2);
    setup.AddMask(3, 2, GetParam());
    LerpRecording lerp;
    ASSERT_EQ(setup.Render(), 1);
    EXPECT_EQ(hostsdk::LerpCallCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Outside, MaskBand,
                         ::testing::Values(0, 65530, 65531, 65532, 65533, 65534, 65535));

class MaskBandInside : public ::testing::TestWithParam<uint16_t> {};

// Four calls per pixel, red, green, blue, alpha, each with a = b = the channel, l = the mask.
TEST_P(MaskBandInside, ValuesInsideCallLerpPerChannel) {
    const uint16_t m = GetParam();
    RenderSetup setup(kCopyLine, kOddLines, 1, 1);
    setup.frame.Pixel(0, 0) = {11, 22, 33, 44};
    setup.AddMask(1, 1, m);
    LerpRecording lerp;
    ASSERT_EQ(setup.Render(), 1);
    const auto calls = lerp.Calls();
    ASSERT_EQ(calls.size(), 4u);
    const int channels[] = {11, 22, 33, 44};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(calls[i].a, channels[i]);
        EXPECT_EQ(calls[i].b, channels[i]);
        EXPECT_EQ(calls[i].l, m);
    }
}

INSTANTIATE_TEST_SUITE_P(Inside, MaskBandInside, ::testing::Values(1, 2, 32768, 65528, 65529));

TEST(MaskPass, StoresLowSixteenBitsOfEachResult) {
    RenderSetup setup(kCopyLine, kOddLines, 2, 1);
    setup.frame.Pixel(0, 0) = {65535, 0, 100, 65000};
    setup.frame.Pixel(1, 0) = {1, 2, 3, 4};
    hostsdk::InstrumentedBitmap& mask = setup.AddMask(2, 1, 0);
    mask.SetGray(0, 0, 1000);
    ShiftingHost host;
    ASSERT_EQ(setup.Render(), 1);
    EXPECT_EQ(setup.frame.Pixel(0, 0),
              (BMM_Color_64{Shifted(65535, 1000), 1000, 1100, Shifted(65000, 1000)}));
    EXPECT_EQ(setup.frame.Pixel(1, 0), (BMM_Color_64{1, 2, 3, 4}));
}

struct MaskGeometry {
    const char* name;
    uint16_t maskWidth;
    uint16_t maskHeight;
};

void PrintTo(const MaskGeometry& c, std::ostream* out) {
    *out << c.name;
}

class MaskGeometries : public ::testing::TestWithParam<MaskGeometry> {};

// Only the first min(mask width, W) values of mask rows 0 to H - 1 are read; pixels past the
// mask's width are left alone. Every frame row is read and written back, both parities.
TEST_P(MaskGeometries, ReadsOnlyWhatOverlapsTheFrame) {
    const MaskGeometry& c = GetParam();
    const int width = 6;
    const int height = 5;
    for (int32_t mode : {0, 1, 2}) {
        RenderSetup setup(mode, kEvenLines, width, height);
        hostsdk::InstrumentedBitmap& mask = setup.AddMask(c.maskWidth, c.maskHeight, 500);
        ShiftingHost host;
        ASSERT_EQ(setup.Render(), 1);

        const int maskCount = std::min<int>(c.maskWidth, width);
        EXPECT_EQ(RowsCalled(mask, RowOp::ReadGray), (std::vector<int>{0, 1, 2, 3, 4}));
        for (int i = 0; i < mask.CallCount(); ++i) EXPECT_EQ(mask.Call(i).count, maskCount);
        EXPECT_TRUE(AllCallsInside(mask));

        std::vector<int> writes = RowsCalled(setup.frame, RowOp::WritePixels);
        writes.erase(writes.begin(), writes.begin() + 3);  // the rebuild's rows 0, 2, 4
        EXPECT_EQ(writes, (std::vector<int>{0, 1, 2, 3, 4}));

        // Row 1 is kept, so the mask pass alone decides its pixels.
        for (int x = 0; x < width; ++x) {
            const BMM_Color_64 before = setup.before[1][x];
            const BMM_Color_64 expected =
                x < maskCount ? BMM_Color_64{Shifted(before.r, 500), Shifted(before.g, 500),
                                             Shifted(before.b, 500), Shifted(before.a, 500)}
                              : before;
            EXPECT_EQ(setup.frame.Pixel(x, 1), expected) << "pixel " << x;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, MaskGeometries,
                         ::testing::Values(MaskGeometry{"equal", 6, 5},
                                           MaskGeometry{"narrower", 3, 5},
                                           MaskGeometry{"wider", 10, 5},
                                           MaskGeometry{"taller", 6, 9},
                                           MaskGeometry{"wider and taller", 9, 8}));

// A mask the host cannot read for every row fails the render after the rebuild completed.
TEST(MaskPass, ShortOrEmptyMaskFailsAfterRebuild) {
    for (bool empty : {false, true}) {
        RenderSetup setup(kTwoPointLinear, kEvenLines, 4, 6);
        std::unique_ptr<hostsdk::InstrumentedBitmap> mask(
            empty ? hostsdk::InstrumentedBitmap::WithoutStorage()
                  : new hostsdk::InstrumentedBitmap(4, 3));
        setup.filter->SetMask(mask.get());
        EXPECT_EQ(setup.Render(), 0);
        std::vector<int> writes = RowsCalled(setup.frame, RowOp::WritePixels);
        const std::vector<int> expected =
            empty ? std::vector<int>{0, 2, 4} : std::vector<int>{0, 2, 4, 0, 1, 2};
        EXPECT_EQ(writes, expected);
        EXPECT_EQ(RowsCalled(*mask, RowOp::ReadGray).back(), empty ? 0 : 3);
    }
}

TEST(MaskPass, AbortAtPollOfRowThreeKeepsRowsZeroToTwo) {
    RenderSetup setup(kCopyLine, kOddLines, 3, 8);
    setup.AddMask(3, 8, 7);
    ShiftingHost host;
    setup.window.AbortAtPoll(3 + 4);  // rebuild polls rows 1, 3, 5; then mask rows 0 to 3
    EXPECT_EQ(setup.Render(), 0);
    const FrameRows after = Snapshot(setup.frame);
    // Row 2 is kept by the rebuild, row 4 too: only the mask pass can have changed them.
    EXPECT_EQ(after[2][0].r, Shifted(setup.before[2][0].r, 7));
    EXPECT_EQ(after[4], setup.before[4]);
    EXPECT_EQ(RowsCalled(setup.frame, RowOp::WritePixels), (std::vector<int>{1, 3, 5, 7, 0, 1, 2}));
}

}  // namespace
