// The rebuild core on its own: which rows a field rebuilds, that the rules write exactly those,
// a 16-bit frame in memory rebuilt in place at every processor level, and the mask pass. Pure code:
// this program builds for Windows (run under Wine) and natively under the sanitizers alike.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "rebuild/core/field_rebuild.h"
#include "rebuild/core/mask_band.h"
#include "rebuild/core/render_pass.h"
#include "rebuild/core/two_point_kernel.h"
#include "tests/support/pixels.h"

namespace {

struct RowsCase {
    int height;
    int32_t field;
    std::set<int> loopRows;
    bool lastRowCopied;
};

// The plug-in's rows for both fields at both parities of height, the short frames, and fields
// that only a loaded block can hold.
const RowsCase kRowsCases[] = {
    {6, 0, {0, 2, 4}, false}, {6, 1, {1, 3}, true},   {5, 0, {0, 2}, true},
    {5, 1, {1, 3}, false},    {3, 0, {0}, true},      {3, 1, {1}, false},
    {2, 0, {0}, false},       {2, 1, {}, true},       {1, 0, {}, false},
    {1, 1, {}, false},        {0, 0, {}, false},      {0, 1, {}, false},
    {5, 2, {0, 2}, false},    {4, -1, {0, 2}, false}, {7, 7, {0, 2, 4}, false},
};

class RowsRebuiltTable : public testing::TestWithParam<RowsCase> {};

TEST_P(RowsRebuiltTable, NamesTheLoopRowsAndTheLastRow) {
    const RowsCase& c = GetParam();
    const RebuiltRows rows = RowsRebuilt(c.height, static_cast<Field>(c.field));
    std::set<int> loop;
    for (int y = rows.first; y < rows.loopEnd; y += 2) loop.insert(y);
    EXPECT_EQ(loop, c.loopRows);
    EXPECT_EQ(rows.LoopRowCount(), static_cast<int>(c.loopRows.size()));
    EXPECT_EQ(rows.lastRowCopied, c.lastRowCopied);
    for (int y = -1; y <= c.height; ++y) {
        const bool rebuilt = c.loopRows.count(y) == 1 || (c.lastRowCopied && y == c.height - 1);
        EXPECT_EQ(rows.Contains(y), rebuilt) << "row " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, RowsRebuiltTable, testing::ValuesIn(kRowsCases));

// Records which rows a rebuild reads and writes, over a frame of zero pixels a row.
class RecordingRows final : public RowStore {
  public:
    bool ReadRow(int y, BMM_Color_64*) override {
        reads.insert(y);
        return true;
    }
    bool WriteRow(int y, const BMM_Color_64*) override {
        writes.insert(y);
        return true;
    }
    std::set<int> reads, writes;
};

class CountingPacer final : public RowPacer {
  public:
    bool Continue(int, int) override { return ++count > 0; }
    int count = 0;
};

// What the rules do and what RowsRebuilt says agree, for every kernel, field and short height:
// they write exactly the rebuilt rows, read none of them, and pace once per loop row.
TEST(RowsRebuilt, IsWhatTheRulesWriteAndPace) {
    for (Kernel kernel : {kCopyLine, kTwoPointLinear, kSixPointWeighted}) {
        for (int32_t field : {0, 1, 2, -1}) {
            for (int height = 0; height <= 9; ++height) {
                RebuildBuffers buffers;
                ASSERT_TRUE(buffers.Obtain(kernel, 0));
                RecordingRows store;
                CountingPacer pacer;
                const FieldFrame frame{0, height, static_cast<Field>(field)};
                ASSERT_TRUE(
                    RebuildField(frame, {kernel, ProcessorKernels()}, buffers, store, pacer));
                const RebuiltRows rows = RowsRebuilt(height, frame.field);
                for (int y = 0; y < height; ++y) {
                    EXPECT_EQ(store.writes.count(y) == 1, rows.Contains(y))
                        << "height " << height << ", field " << field << ", row " << y;
                    EXPECT_FALSE(rows.Contains(y) && store.reads.count(y) == 1);
                }
                EXPECT_EQ(pacer.count, rows.LoopRowCount());
            }
        }
    }
}

PixelRow RandomPixels(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    PixelRow pixels(count);
    for (auto& p : pixels) {
        p = {static_cast<uint16_t>(random()), static_cast<uint16_t>(random()),
             static_cast<uint16_t>(random()), static_cast<uint16_t>(random())};
    }
    return pixels;
}

// A whole frame in memory, rebuilt in place: the two-point rows by hand, kept rows untouched.
TEST(FrameRows, RebuildsAFrameInPlace) {
    const int width = 5, height = 5;
    const PixelRow original = RandomPixels(width * height, 3);
    PixelRow frame = original;
    auto row = [&](const PixelRow& from, int y) {
        return PixelRow(from.begin() + y * width, from.begin() + (y + 1) * width);
    };
    RebuildBuffers buffers;
    ASSERT_TRUE(buffers.Obtain(kTwoPointLinear, width));
    FrameRows store(frame.data(), width);
    NoPacing pacer;
    ASSERT_TRUE(RebuildField({width, height, kEvenLines}, {kTwoPointLinear, ProcessorKernels()},
                             buffers, store, pacer));
    PixelRow mean = row(original, 3);
    TwoPointMeanRow(row(original, 1).data(), mean.data(), width);
    EXPECT_EQ(FirstDifference(row(original, 1), row(frame, 0)), "");
    EXPECT_EQ(FirstDifference(mean, row(frame, 2)), "");
    EXPECT_EQ(FirstDifference(row(original, 3), row(frame, 4)), "");
    for (int y : {1, 3}) EXPECT_EQ(FirstDifference(row(original, y), row(frame, y)), "");
}

// The level is the caller's: every level this processor runs rebuilds the same frame.
TEST(FrameRows, EveryForcedLevelRebuildsTheSameFrame) {
    const int width = 37, height = 12;
    const PixelRow original = RandomPixels(width * height, 5);
    for (Kernel kernel : {kTwoPointLinear, kSixPointWeighted}) {
        PixelRow reference;
        for (CpuLevel level : AvailableCpuLevels()) {
            PixelRow frame = original;
            const RowKernels kernels = RowKernelsFor(level);
            RebuildBuffers buffers;
            ASSERT_TRUE(buffers.Obtain(kernel, width));
            FrameRows store(frame.data(), width);
            NoPacing pacer;
            ASSERT_TRUE(
                RebuildField({width, height, kOddLines}, {kernel, kernels}, buffers, store, pacer));
            if (reference.empty()) reference = frame;
            EXPECT_EQ(FirstDifference(reference, frame), "") << CpuLevelName(level);
        }
    }
}

// Mask values in memory: runs of values outside the band (0 and 65530 to 65535, mostly long
// enough to be passed over eight at a time) between runs inside it (1 to 65529, its edges too).
class RunsOfMaskValues final : public MaskRows {
  public:
    RunsOfMaskValues(int width, int height, unsigned seed)
        : width_(width), height_(height), values_(static_cast<std::size_t>(width) * height) {
        std::mt19937 random(seed);
        const uint16_t outside[] = {0, 65530, 65535};
        const uint16_t inside[] = {1, 65529, 2, 32768};
        for (std::size_t k = 0; k < values_.size();) {
            const bool in = random() % 3 == 0;
            const std::size_t run = std::min<std::size_t>(1 + random() % 19, values_.size() - k);
            for (std::size_t i = 0; i < run; ++i, ++k) {
                values_[k] = in ? inside[random() % 4] : outside[random() % 3];
            }
        }
    }

    int Width() const override { return width_; }
    bool ReadRow(int y, int count, uint16_t* values) override {
        if (y >= height_) return false;
        std::copy_n(values_.begin() + static_cast<std::ptrdiff_t>(y) * width_, count, values);
        return true;
    }
    uint16_t At(int x, int y) const { return values_[static_cast<std::size_t>(y) * width_ + x]; }

  private:
    int width_;
    int height_;
    std::vector<uint16_t> values_;
};

// Returns the low 16 bits of from + weight, so that every blended channel changes, and checks
// that both endpoints are the channel.
class ShiftingBlend final : public BlendHelper {
  public:
    int Lerp(int from, int to, int weight) override {
        ++calls;
        EXPECT_EQ(from, to);
        return (from + weight) & 0xFFFF;
    }
    int calls = 0;
};

struct MaskPassCase {
    int width;
    int height;
    int maskWidth;
    int maskHeight;
};

// Frames as wide as their mask, narrower (the mask's extra columns are never read) and wider
// (the columns past the mask are out of the band, whatever the value row held), and masks with
// fewer rows than the frame, which end the pass at the first row they lack.
const MaskPassCase kMaskPassCases[] = {
    {40, 6, 40, 6}, {7, 3, 7, 3}, {33, 5, 50, 9}, {50, 4, 13, 4},
    {64, 3, 64, 1}, {9, 4, 3, 0}, {0, 3, 5, 3},   {17, 1, 17, 1},
};

class MaskPassTable : public testing::TestWithParam<MaskPassCase> {};

TEST_P(MaskPassTable, BlendsExactlyTheInBandPixelsTheMaskCovers) {
    const MaskPassCase& c = GetParam();
    RunsOfMaskValues maskRows(c.maskWidth, c.maskHeight, 7 + c.width);
    ShiftingBlend blend;
    const PixelRow original = RandomPixels(static_cast<std::size_t>(c.width) * c.height, 11);
    PixelRow frame = original;
    FrameRows store(frame.data(), c.width);
    CountingPacer pacer;
    PixelRow frameRow(static_cast<std::size_t>(c.width) + 1);
    std::vector<uint16_t> values(static_cast<std::size_t>(c.width) + 1, 1);  // in the band
    const bool done = RunMaskPass({c.width, c.height, kEvenLines}, {maskRows, blend},
                                  frameRow.data(), values.data(), store, pacer);
    const int rows = std::min(c.height, c.maskHeight);
    EXPECT_EQ(done, c.maskHeight >= c.height);
    EXPECT_EQ(pacer.count, std::min(c.height, rows + 1));
    int calls = 0;
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
            const BMM_Color_64& before = original[static_cast<std::size_t>(y) * c.width + x];
            BMM_Color_64 want = before;
            const uint16_t m = x < c.maskWidth && y < rows ? maskRows.At(x, y) : 0;
            if (InMaskBand(m)) {
                want = {static_cast<uint16_t>(before.r + m), static_cast<uint16_t>(before.g + m),
                        static_cast<uint16_t>(before.b + m), static_cast<uint16_t>(before.a + m)};
                calls += 4;
            }
            EXPECT_EQ(frame[static_cast<std::size_t>(y) * c.width + x], want)
                << "pixel " << x << ", row " << y;
        }
    }
    EXPECT_EQ(blend.calls, calls);
}

INSTANTIATE_TEST_SUITE_P(Masks, MaskPassTable, testing::ValuesIn(kMaskPassCases));

}  // namespace
