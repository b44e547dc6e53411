// The vector kernels against the plain reference kernels, bit for bit. Pure code: this program
// builds for Windows (run under Wine) and natively under the sanitizers alike.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "rebuild/six_point_kernel.h"
#include "rebuild/two_point_kernel.h"
#include "rebuild/vector_kernels.h"

namespace {

using Row = std::vector<BMM_Color_64>;

struct Kernels {
    const char* name;
    void (*twoPoint)(const BMM_Color_64*, BMM_Color_64*, std::size_t);
    void (*sixPoint)(const BMM_Color_64*, const BMM_Color_64*, BMM_Color_64*, std::size_t);
};

bool HasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

// Every vector kernel this processor can run, and the dispatching pair the passes use.
const std::vector<Kernels> kVectorKernels = [] {
    std::vector<Kernels> kernels{{"sse2", TwoPointMeanRowSse2, SixPointWeightedRowSse2},
                                 {"dispatched", TwoPointMeanRowFast, SixPointWeightedRowFast}};
    if (HasAvx2()) kernels.push_back({"avx2", TwoPointMeanRowAvx2, SixPointWeightedRowAvx2});
    return kernels;
}();

// The first pixel and channel in which two rows differ, or an empty string.
std::string FirstDifference(const Row& expected, const Row& actual) {
    if (expected.size() != actual.size()) return "sizes differ";
    const char* names = "rgba";
    for (std::size_t x = 0; x < expected.size(); ++x) {
        const uint16_t e[] = {expected[x].r, expected[x].g, expected[x].b, expected[x].a};
        const uint16_t a[] = {actual[x].r, actual[x].g, actual[x].b, actual[x].a};
        for (int c = 0; c < 4; ++c) {
            if (e[c] != a[c]) {
                return "pixel " + std::to_string(x) + " channel " + names[c] + ": expected " +
                       std::to_string(e[c]) + ", got " + std::to_string(a[c]);
            }
        }
    }
    return {};
}

bool SameRow(const Row& a, const Row& b) {
    return FirstDifference(a, b).empty();
}

// Runs every kernel pair on one input and requires equal output, and inputs left alone by
// the six-point kernel. Rows are allocated at their exact size, so the native sanitizer build
// sees any access past either end.
void CheckRows(const Row& upper, const Row& lower, const std::string& what) {
    const std::size_t width = upper.size();
    Row referenceSix(width, BMM_Color_64{1, 2, 3, 4});
    SixPointWeightedRow(upper.data(), lower.data(), referenceSix.data(), width);
    Row referenceTwo = lower;
    TwoPointMeanRow(upper.data(), referenceTwo.data(), width);
    for (const Kernels& kernels : kVectorKernels) {
        const Row upperCopy = upper;
        const Row lowerCopy = lower;
        Row six(width, BMM_Color_64{4, 3, 2, 1});
        kernels.sixPoint(upperCopy.data(), lowerCopy.data(), six.data(), width);
        ASSERT_EQ(FirstDifference(referenceSix, six), "")
            << kernels.name << " six-point, width " << width << ", " << what;
        ASSERT_TRUE(SameRow(upperCopy, upper) && SameRow(lowerCopy, lower))
            << kernels.name << " six-point changed its input, width " << width << ", " << what;
        Row two = lower;
        kernels.twoPoint(upperCopy.data(), two.data(), width);
        ASSERT_EQ(FirstDifference(referenceTwo, two), "")
            << kernels.name << " two-point, width " << width << ", " << what;
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

}  // namespace
