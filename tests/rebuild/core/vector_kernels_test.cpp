// The vector kernels against the plain reference kernels, bit for bit. Pure code: this program
// builds for Windows (run under Wine) and natively under the sanitizers alike.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "rebuild/core/row_kernels.h"
#include "rebuild/core/six_point_kernel.h"
#include "rebuild/core/two_point_kernel.h"
#include "tests/support/pixels.h"

namespace {

using Row = PixelRow;

// The kernels of every level this processor runs, the plain reference among them.
const std::vector<CpuLevel> kLevels = AvailableCpuLevels();

// Runs every kernel pair on one input and requires equal output, and inputs left alone by
// the six-point kernel. Rows are allocated at their exact size, so the native sanitizer build
// sees any access past either end.
void CheckRows(const Row& upper, const Row& lower, const std::string& what) {
    const std::size_t width = upper.size();
    Row referenceSix(width, BMM_Color_64{1, 2, 3, 4});
    SixPointWeightedRow(upper.data(), lower.data(), referenceSix.data(), width);
    Row referenceTwo = lower;
    TwoPointMeanRow(upper.data(), referenceTwo.data(), width);
    for (CpuLevel level : kLevels) {
        const RowKernels kernels = RowKernelsFor(level);
        const char* name = CpuLevelName(level);
        const Row upperCopy = upper;
        const Row lowerCopy = lower;
        Row six(width, BMM_Color_64{4, 3, 2, 1});
        kernels.sixPointWeighted(upperCopy.data(), lowerCopy.data(), six.data(), width);
        ASSERT_EQ(FirstDifference(referenceSix, six), "")
            << name << " six-point, width " << width << ", " << what;
        ASSERT_TRUE(SameRow(upperCopy, upper) && SameRow(lowerCopy, lower))
            << name << " six-point changed its input, width " << width << ", " << what;
        Row two = lower;
        kernels.twoPointMean(upperCopy.data(), two.data(), width);
        ASSERT_EQ(FirstDifference(referenceTwo, two), "")
            << name << " two-point, width " << width << ", " << what;
    }
}

using ChannelSource = std::function<uint16_t(std::mt19937&)>;

Row RandomRow(std::size_t width, std::mt19937& random, const ChannelSource& next) {
    Row row(width);
    for (auto& pixel : row) pixel = {next(random), next(random), next(random), next(random)};
    return row;
}

// Channel value distributions: the full range, the extremes only, and small and large values
// where truncation and the edge constants matter most.
struct Distribution {
    const char* name;
    ChannelSource next;
};

const Distribution kDistributions[] = {
    {"full range", [](std::mt19937& r) { return static_cast<uint16_t>(r() & 0xFFFF); }},
    {"edge values",
     [](std::mt19937& r) {
         static const uint16_t values[] = {0, 1, 65534, 65535};
         return values[r() % 4];
     }},
    {"small values", [](std::mt19937& r) { return static_cast<uint16_t>(r() % 20); }},
    {"large values", [](std::mt19937& r) { return static_cast<uint16_t>(65535 - r() % 20); }},
};

class EveryNarrowWidth : public testing::TestWithParam<int> {};

TEST_P(EveryNarrowWidth, RandomRowsMatchTheReference) {
    const auto width = static_cast<std::size_t>(GetParam());
    std::mt19937 random(static_cast<uint32_t>(width) * 7919u + 1u);
    for (const Distribution& distribution : kDistributions) {
        for (int i = 0; i < 150; ++i) {
            const Row upper = RandomRow(width, random, distribution.next);
            const Row lower = RandomRow(width, random, distribution.next);
            CheckRows(upper, lower, std::string(distribution.name) + " #" + std::to_string(i));
            if (HasFatalFailure()) return;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Widths0To70, EveryNarrowWidth, testing::Range(0, 71));

class LargeWidth : public testing::TestWithParam<int> {};

TEST_P(LargeWidth, RandomRowsMatchTheReference) {
    const auto width = static_cast<std::size_t>(GetParam());
    std::mt19937 random(static_cast<uint32_t>(width));
    for (const Distribution& distribution : kDistributions) {
        for (int i = 0; i < 4; ++i) {
            CheckRows(RandomRow(width, random, distribution.next),
                      RandomRow(width, random, distribution.next), distribution.name);
            if (HasFatalFailure()) return;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, LargeWidth,
                         testing::Values(127, 128, 129, 1023, 1920, 3839, 3840, 4097, 65535));

// Every uniform value, in rows where the upper and the lower row agree and where they differ,
// so that each of the four evaluations (first red, first, interior, last) meets every value.
TEST(UniformSweep, EveryValueMatchesTheReference) {
    for (uint32_t v = 0; v <= 65535; ++v) {
        const auto value = static_cast<uint16_t>(v);
        const auto other = static_cast<uint16_t>(65535 - v);
        const Row same(5, BMM_Color_64{value, value, value, value});
        const Row mixed(5, BMM_Color_64{value, other, value, other});
        CheckRows(same, same, "uniform " + std::to_string(v));
        CheckRows(same, mixed, "uniform over mixed " + std::to_string(v));
        if (HasFatalFailure()) return;
    }
}

// One channel varies while the other three stay constant, so a lane mix-up between channels
// shows as a difference in the constant ones.
TEST(SingleChannel, EachChannelStaysInItsLane) {
    std::mt19937 random(42);
    for (int channel = 0; channel < 4; ++channel) {
        for (std::size_t width : {2u, 3u, 4u, 5u, 17u, 64u}) {
            Row upper(width, BMM_Color_64{7, 7, 7, 7});
            Row lower(width, BMM_Color_64{9, 9, 9, 9});
            for (std::size_t x = 0; x < width; ++x) {
                uint16_t* up[] = {&upper[x].r, &upper[x].g, &upper[x].b, &upper[x].a};
                uint16_t* down[] = {&lower[x].r, &lower[x].g, &lower[x].b, &lower[x].a};
                *up[channel] = static_cast<uint16_t>(random() & 0xFFFF);
                *down[channel] = static_cast<uint16_t>(random() & 0xFFFF);
            }
            CheckRows(upper, lower, "channel " + std::to_string(channel));
            if (HasFatalFailure()) return;
        }
    }
}

// Inputs on which one rounding step decides the result, with the exact outputs the six-point
// kernel must give: swapping the two vertical additions (the sum crosses a power of two and
// rounds twice), or changing the last bit of one of the constants, changes each of them by one.
// Each case is placed at every position of its kind in rows of several widths, in all four
// channels, so that every vector kernel meets it in its main loop and in its tails.
enum class Where { FirstRed, FirstOthers, Interior, Last };

struct PinnedCase {
    const char* why;
    Where where;
    // The kept pixels above (left, centre, right) and below; the missing side of an edge pixel
    // is ignored.
    uint16_t upLeft, up, upRight, downLeft, down, downRight;
    uint16_t expected;
};

const PinnedCase kPinnedCases[] = {
    {"vertical additions in order", Where::Interior, 945, 59171, 0, 0, 19522, 0, 10451},
    {"vertical additions in order", Where::Interior, 1859, 9696, 1933, 1730, 56215, 3151, 10210},
    {"vertical additions in order, edge", Where::FirstOthers, 0, 34499, 1349, 0, 23802, 527, 12623},
    {"vertical additions in order, edge", Where::Last, 1349, 34499, 0, 527, 23802, 0, 12623},
    {"sqrt(2) to the last bit", Where::Interior, 15793, 35348, 28042, 13265, 51397, 23030, 26129},
    {"interior normaliser to the last bit", Where::Interior, 47892, 11626, 22882, 56656, 48339,
     23786, 35760},
    {"edge normaliser to the last bit", Where::Last, 25220, 41719, 0, 18753, 64321, 0, 34840},
    {"edge normaliser to the last bit, first red", Where::FirstRed, 0, 41768, 38064, 0, 10876,
     10401, 25097},
    {"edge diagonal weight to the last bit", Where::FirstRed, 0, 37017, 50842, 0, 44291, 39401,
     43271},
};

void PrintTo(const PinnedCase& pinned, std::ostream* out) {
    *out << pinned.why << " (" << pinned.expected << ")";
}

uint16_t& Channel(BMM_Color_64& pixel, int c) {
    uint16_t* channels[] = {&pixel.r, &pixel.g, &pixel.b, &pixel.a};
    return *channels[c];
}

// Rows of `width` zeros with the case's neighbourhood around pixel x in every channel.
void PlaceCase(const PinnedCase& pinned, std::size_t width, std::size_t x, Row& upper, Row& lower) {
    upper.assign(width, BMM_Color_64{});
    lower.assign(width, BMM_Color_64{});
    for (int c = 0; c < 4; ++c) {
        if (x > 0)
            Channel(upper[x - 1], c) = pinned.upLeft, Channel(lower[x - 1], c) = pinned.downLeft;
        Channel(upper[x], c) = pinned.up;
        Channel(lower[x], c) = pinned.down;
        if (x + 1 < width) {
            Channel(upper[x + 1], c) = pinned.upRight;
            Channel(lower[x + 1], c) = pinned.downRight;
        }
    }
}

// The positions of the case's kind in a row of `width`, and the channels that evaluate it.
std::vector<std::size_t> Positions(Where where, std::size_t width) {
    std::vector<std::size_t> positions;
    if (where == Where::Interior) {
        for (std::size_t x = 1; x + 1 < width; ++x) positions.push_back(x);
    } else {
        positions.push_back(where == Where::Last ? width - 1 : 0);
    }
    return positions;
}

class PinnedSixPoint : public testing::TestWithParam<PinnedCase> {};

TEST_P(PinnedSixPoint, EveryKernelGivesTheExactResult) {
    const PinnedCase pinned = GetParam();
    const int firstChannel = pinned.where == Where::FirstOthers ? 1 : 0;
    const int endChannel = pinned.where == Where::FirstRed ? 1 : 4;
    for (std::size_t width : {2u, 3u, 4u, 5u, 8u, 9u, 13u}) {
        if (pinned.where == Where::Interior && width < 3) continue;
        for (std::size_t x : Positions(pinned.where, width)) {
            Row upper, lower;
            PlaceCase(pinned, width, x, upper, lower);
            Row output(width);
            SixPointWeightedRow(upper.data(), lower.data(), output.data(), width);
            for (int c = firstChannel; c < endChannel; ++c) {
                ASSERT_EQ(Channel(output[x], c), pinned.expected)
                    << "reference kernel, width " << width << ", pixel " << x << ", channel " << c;
            }
            CheckRows(upper, lower, std::string(pinned.why) + ", pixel " + std::to_string(x));
            if (HasFatalFailure()) return;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, PinnedSixPoint, testing::ValuesIn(kPinnedCases));

}  // namespace
