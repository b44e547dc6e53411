// The six-point kernel on its own, against values worked out by hand in single precision.

#include <gtest/gtest.h>

#include <vector>

#include "rebuild/core/six_point_kernel.h"
#include "tests/support/frames.h"

namespace {

PixelRow Uniform(std::size_t width, uint16_t value) {
    return PixelRow(width, BMM_Color_64{value, value, value, value});
}

PixelRow Grey(std::initializer_list<uint16_t> values) {
    PixelRow row;
    for (uint16_t v : values) row.push_back({v, v, v, v});
    return row;
}

PixelRow Kernel(const PixelRow& upper, const PixelRow& lower) {
    PixelRow output(upper.size(), BMM_Color_64{0xDEAD, 0xDEAD, 0xDEAD, 0xDEAD});
    SixPointWeightedRow(upper.data(), lower.data(), output.data(), upper.size());
    return output;
}

struct KnownRow {
    const char* name;
    PixelRow upper;
    PixelRow lower;
    PixelRow expected;
};

void PrintTo(const KnownRow& c, std::ostream* out) {
    *out << c.name;
}

class KnownRows : public ::testing::TestWithParam<KnownRow> {};

TEST_P(KnownRows, MatchBitForBit) {
    const KnownRow& c = GetParam();
    EXPECT_EQ(Kernel(c.upper, c.lower), c.expected);
}

const BMM_Color_64 kRedDiffers1{0, 1, 1, 1};
const BMM_Color_64 kRedDiffers3{3, 2, 2, 2};

INSTANTIATE_TEST_SUITE_P(
    Cases, KnownRows,
    ::testing::Values(
        KnownRow{"three pixels", Grey({100, 200, 300}), Grey({400, 500, 600}),
                 Grey({308, 350, 391})},
        KnownRow{"two pixels", Grey({10, 20}), Grey({30, 40}), Grey({25, 24})},
        KnownRow{"all 65535", Uniform(5, 65535), Uniform(5, 65535),
                 Grey({65534, 65535, 65535, 65535, 65534})},
        KnownRow{"0 above, 65535 below", Uniform(6, 0), Uniform(6, 65535), Uniform(6, 32767)},
        KnownRow{"uniform 1", Uniform(4, 1), Uniform(4, 1),
                 PixelRow{kRedDiffers1, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}}},
        KnownRow{"uniform 3", Uniform(4, 3), Uniform(4, 3),
                 PixelRow{kRedDiffers3, {3, 3, 3, 3}, {3, 3, 3, 3}, {2, 2, 2, 2}}},
        // Rows of one pixel have no diagonals: the pixel is the mean of above and below.
        KnownRow{"one pixel", Grey({65535}), Grey({0}), Grey({32767})},
        KnownRow{"one pixel odd sum", Grey({2}), Grey({5}), Grey({3})}));

// Each channel is computed from its own channel only, alpha like the colours.
TEST(SixPointKernel, ChannelsStayApart) {
    const PixelRow upper{{100, 0, 65535, 8}, {200, 0, 65535, 8}, {300, 0, 65535, 8}};
    const PixelRow lower{{400, 65535, 65535, 8}, {500, 65535, 65535, 8}, {600, 65535, 65535, 8}};
    const PixelRow out = Kernel(upper, lower);
    EXPECT_EQ(out[0], (BMM_Color_64{308, 32767, 65534, 8}));
    EXPECT_EQ(out[1], (BMM_Color_64{350, 32767, 65535, 8}));
    EXPECT_EQ(out[2], (BMM_Color_64{391, 32767, 65534, 8}));
}

// 631 is the smallest uniform value that the interior evaluation brings down by one.
TEST(SixPointKernel, Uniform631LosesOneInTheInterior) {
    const PixelRow out = Kernel(Uniform(5, 631), Uniform(5, 631));
    for (int x = 1; x < 4; ++x) EXPECT_EQ(out[x], (BMM_Color_64{630, 630, 630, 630}));
}

TEST(SixPointKernel, EmptyRowWritesNothing) {
    const PixelRow canary = Uniform(1, 0xDEAD);
    PixelRow output = canary;
    SixPointWeightedRow(nullptr, nullptr, output.data(), 0);
    EXPECT_EQ(output, canary);
}

// Over every uniform value the three evaluations lose one unit for exactly these many inputs
// (the interior one first at 631), and never more than one.
TEST(SixPointKernel, UniformSweepCounts) {
    int interiorLow = 0;
    int edgeLow = 0;
    int splitLow = 0;
    int smallestInteriorLow = -1;
    for (int v = 0; v <= 65535; ++v) {
        const auto value = static_cast<uint16_t>(v);
        const PixelRow out = Kernel(Uniform(3, value), Uniform(3, value));
        for (uint16_t got : {out[1].r, out[2].g, out[0].g, out[0].r}) {
            ASSERT_TRUE(got == v || got == v - 1) << "value " << v;
        }
        ASSERT_EQ(out[0].g, out[2].g) << "both row ends evaluate alike";
        if (out[1].r != v) {
            ++interiorLow;
            if (smallestInteriorLow < 0) smallestInteriorLow = v;
        }
        edgeLow += out[2].g != v;
        splitLow += out[0].r != v;
    }
    EXPECT_EQ(interiorLow, 214);
    EXPECT_EQ(smallestInteriorLow, 631);
    EXPECT_EQ(edgeLow, 52455);
    EXPECT_EQ(splitLow, 32762);
}

}  // namespace
