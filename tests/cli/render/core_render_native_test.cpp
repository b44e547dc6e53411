// braidel-run's own renderer natively, under the sanitizers: every row it touches stays inside
// the frame and the mask, and the outcomes that are the host's to decide come out as the
// Windows program gives them (checked byte for byte against the plug-in by core_render_tests).

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "cli/render/core_render.h"
#include "tests/support/pixels.h"

namespace {

std::vector<BMM_Color_64> RandomPixels(std::size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<BMM_Color_64> pixels(count);
    for (BMM_Color_64& p : pixels) {
        p = {static_cast<uint16_t>(random()), static_cast<uint16_t>(random()),
             static_cast<uint16_t>(random()), static_cast<uint16_t>(random())};
    }
    return pixels;
}

struct Case {
    const char* what;
    int32_t mode;
    uint16_t maskWidth;  // 0: no mask
    uint16_t maskHeight;
    int abortAtPoll;  // 0: never
    CoreRenderResult result;
    bool untouched;  // the frame is as it was
};

constexpr uint16_t kWidth = 13;
constexpr uint16_t kHeight = 9;

const Case kCases[] = {
    {"copy", 0, 0, 0, 0, CoreRenderResult::Rendered, false},
    {"mode three names no kernel", 3, 0, 0, 0, CoreRenderResult::Failed, true},
    {"negative mode", -1, 0, 0, 0, CoreRenderResult::Failed, true},
    {"abort at the first poll", 2, 0, 0, 1, CoreRenderResult::Aborted, true},
    {"abort in the mask pass", 1, kWidth, kHeight, 7, CoreRenderResult::Aborted, false},
    {"mask one row short", 2, kWidth, kHeight - 1, 0, CoreRenderResult::Failed, false},
    {"narrow, tall mask", 2, 3, 40, 0, CoreRenderResult::Rendered, false},
    {"wide mask", 1, 200, kHeight, 0, CoreRenderResult::Rendered, false},
};

class CoreRenderOutcome : public ::testing::TestWithParam<Case> {};

TEST_P(CoreRenderOutcome, ResultAndFrame) {
    const Case& c = GetParam();
    const std::vector<BMM_Color_64> before = RandomPixels(kWidth * kHeight, 3);
    std::vector<BMM_Color_64> frame = before;
    // Exactly as large as the mask claims, so that any read past it is caught.
    const std::vector<BMM_Color_64> maskPixels = RandomPixels(c.maskWidth * c.maskHeight, 5);
    const MaskView mask{maskPixels.data(), c.maskWidth, c.maskHeight};
    int polls = 0;
    const RenderPolls renderPolls{[&] { return ++polls == c.abortAtPoll; }, {}};
    const CoreRenderResult result =
        RenderWithCore({static_cast<Kernel>(c.mode), kEvenLines}, {frame.data(), kWidth, kHeight},
                       c.maskWidth > 0 ? &mask : nullptr, renderPolls);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(frame == before, c.untouched);
}

INSTANTIATE_TEST_SUITE_P(Cases, CoreRenderOutcome, ::testing::ValuesIn(kCases));

// The stand-in SDK's blend with equal endpoints returns the value, so a mask changes nothing.
TEST(CoreRender, MaskLeavesTheRebuiltFrame) {
    const std::vector<BMM_Color_64> before = RandomPixels(kWidth * kHeight, 9);
    std::vector<BMM_Color_64> plain = before;
    std::vector<BMM_Color_64> masked = before;
    const std::vector<BMM_Color_64> maskPixels = RandomPixels(kWidth * kHeight, 11);
    const MaskView mask{maskPixels.data(), kWidth, kHeight};
    const FilterConfig config{kSixPointWeighted, kOddLines};
    ASSERT_EQ(RenderWithCore(config, {plain.data(), kWidth, kHeight}, nullptr, {}),
              CoreRenderResult::Rendered);
    ASSERT_EQ(RenderWithCore(config, {masked.data(), kWidth, kHeight}, &mask, {}),
              CoreRenderResult::Rendered);
    EXPECT_EQ(masked, plain);
    EXPECT_NE(plain, before);
}

// A render step keeps its row buffers from frame to frame: whatever the frames before left in
// them, every render gives the bytes of a render with buffers of its own.
TEST(CoreRender, KeptBuffersGiveTheBytesOfFreshOnes) {
    struct Render {
        FilterConfig config;
        uint16_t width;
        uint16_t maskWidth;  // 0: no mask
    };
    const Render renders[] = {
        {{kSixPointWeighted, kEvenLines}, 13, 13}, {{kSixPointWeighted, kOddLines}, 13, 4},
        {{kTwoPointLinear, kEvenLines}, 13, 0},    {{kCopyLine, kOddLines}, 13, 200},
        {{kSixPointWeighted, kEvenLines}, 7, 3},   {{kSixPointWeighted, kEvenLines}, 21, 21},
    };
    CoreRenderBuffers kept;
    uint32_t seed = 20;
    for (const Render& r : renders) {
        const std::vector<BMM_Color_64> before = RandomPixels(r.width * kHeight, ++seed);
        const std::vector<BMM_Color_64> maskPixels = RandomPixels(r.maskWidth * kHeight, ++seed);
        const MaskView mask{maskPixels.data(), r.maskWidth, kHeight};
        const MaskView* maybeMask = r.maskWidth > 0 ? &mask : nullptr;
        std::vector<BMM_Color_64> fresh = before;
        std::vector<BMM_Color_64> reused = before;
        ASSERT_EQ(RenderWithCore(r.config, {fresh.data(), r.width, kHeight}, maybeMask, {}),
                  CoreRenderResult::Rendered);
        ASSERT_EQ(RenderWithCore(r.config, {reused.data(), r.width, kHeight}, maybeMask, {}, kept),
                  CoreRenderResult::Rendered);
        EXPECT_EQ(reused, fresh) << r.width << " " << r.maskWidth;
    }
}

}  // namespace
