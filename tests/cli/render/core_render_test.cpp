// braidel-run's own renderer against the loaded plug-in: for every configuration, frame size,
// mask and abort, the rebuild core in memory must leave the same bytes, report the same result
// and make as many progress calls as the plug-in sends progress messages.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "cli/render/core_render.h"
#include "tests/support/render_fixture.h"

namespace {

struct Size {
    uint16_t width;
    uint16_t height;
};

const Size kSizes[] = {{1, 1}, {1, 2}, {2, 1}, {2, 2}, {3, 3},  {1, 7},   {7, 1},
                       {4, 5}, {5, 4}, {9, 6}, {6, 9}, {16, 9}, {33, 17}, {64, 33}};
const int32_t kModes[] = {0, 1, 2, 3, -1};
const int32_t kFields[] = {0, 1, 2, -1};

enum class MaskKind { None, Same, Narrower, Wider, Shorter, Taller };
const MaskKind kMasks[] = {MaskKind::None,  MaskKind::Same,    MaskKind::Narrower,
                           MaskKind::Wider, MaskKind::Shorter, MaskKind::Taller};

struct Case {
    int32_t mode;
    int32_t field;
    Size size;
    MaskKind mask;
    int abortAtPoll;  // 0: never
};

std::string NameOf(const ::testing::TestParamInfo<Case>& info) {
    const Case& c = info.param;
    const char* masks[] = {"nomask", "mask", "narrowmask", "widemask", "shortmask", "tallmask"};
    auto number = [](int32_t v) {
        return v < 0 ? "minus" + std::to_string(-v) : std::to_string(v);
    };
    return "mode" + number(c.mode) + "_field" + number(c.field) + "_" +
           std::to_string(c.size.width) + "x" + std::to_string(c.size.height) + "_" +
           masks[static_cast<int>(c.mask)] +
           (c.abortAtPoll > 0 ? "_abort" + std::to_string(c.abortAtPoll) : "");
}

std::vector<Case> AllCases() {
    std::vector<Case> cases;
    for (int32_t mode : kModes) {
        for (int32_t field : kFields) {
            for (Size size : kSizes) {
                for (MaskKind mask : kMasks) cases.push_back({mode, field, size, mask, 0});
            }
        }
    }
    for (int poll : {1, 2, 5}) {
        cases.push_back({2, 0, {16, 9}, MaskKind::None, poll});
        cases.push_back({1, 1, {16, 9}, MaskKind::Same, poll});
        cases.push_back({0, 0, {5, 4}, MaskKind::Same, poll + 3});
    }
    return cases;
}

Size MaskSize(MaskKind kind, Size frame) {
    auto grown = [](uint16_t v) { return static_cast<uint16_t>(v + 3); };
    auto shrunk = [](uint16_t v) { return static_cast<uint16_t>(v > 1 ? v - 1 : 0); };
    switch (kind) {
        case MaskKind::Narrower:  // never 0 wide: a codec makes no such image
            return {std::max<uint16_t>(shrunk(frame.width), 1), frame.height};
        case MaskKind::Wider:
            return {grown(frame.width), frame.height};
        case MaskKind::Shorter:
            return {frame.width, shrunk(frame.height)};
        case MaskKind::Taller:
            return {frame.width, grown(frame.height)};
        default:
            return frame;
    }
}

// Mask values round the band's edges and anywhere inside it.
uint16_t MaskValue(std::mt19937& random) {
    const uint16_t edges[] = {0, 1, 2, 65528, 65529, 65530, 65534, 65535};
    if (random() % 2 == 0) return edges[random() % std::size(edges)];
    return static_cast<uint16_t>(random());
}

std::vector<BMM_Color_64> PixelsOf(const hostsdk::InstrumentedBitmap& bitmap) {
    std::vector<BMM_Color_64> pixels;
    for (int y = 0; y < bitmap.Height(); ++y) {
        for (int x = 0; x < bitmap.Width(); ++x) pixels.push_back(bitmap.Pixel(x, y));
    }
    return pixels;
}

class CoreRenderMatchesPlugin : public ::testing::TestWithParam<Case> {};

TEST_P(CoreRenderMatchesPlugin, SameBytesResultAndProgress) {
    const Case& c = GetParam();
    RenderSetup plugin(c.mode, c.field, c.size.width, c.size.height, 7);
    std::vector<BMM_Color_64> core = PixelsOf(plugin.frame);
    std::vector<BMM_Color_64> maskPixels;
    MaskView mask{};
    if (c.mask != MaskKind::None) {
        const Size size = MaskSize(c.mask, c.size);
        std::mt19937 random(size.width * 100 + size.height);
        hostsdk::InstrumentedBitmap& bitmap = plugin.AddMask(size.width, size.height, 0);
        for (int y = 0; y < size.height; ++y) {
            for (int x = 0; x < size.width; ++x) bitmap.SetGray(x, y, MaskValue(random));
        }
        maskPixels = PixelsOf(bitmap);
        mask = {maskPixels.data(), size.width, size.height};
    }
    plugin.window.AbortAtPoll(c.abortAtPoll);
    const int pluginResult = plugin.Render();

    int polls = 0;
    int progressCalls = 0;
    const RenderPolls polls_{[&] { return ++polls == c.abortAtPoll; }, [&] { ++progressCalls; }};
    const FilterConfig config{static_cast<Kernel>(c.mode), static_cast<Field>(c.field)};
    const CoreRenderResult result =
        RenderWithCore(config, {core.data(), c.size.width, c.size.height},
                       c.mask == MaskKind::None ? nullptr : &mask, polls_);

    const bool pluginAborted = c.abortAtPoll > 0 && plugin.window.PollCount() >= c.abortAtPoll;
    const CoreRenderResult expected = pluginResult == 1 ? CoreRenderResult::Rendered
                                      : pluginAborted   ? CoreRenderResult::Aborted
                                                        : CoreRenderResult::Failed;
    EXPECT_EQ(result, expected);
    EXPECT_EQ(polls, plugin.window.PollCount());
    EXPECT_EQ(progressCalls, static_cast<int>(plugin.window.Positions().size()));
    const std::vector<BMM_Color_64> rendered = PixelsOf(plugin.frame);
    ASSERT_EQ(core.size(), rendered.size());
    for (std::size_t i = 0; i < core.size(); ++i) {
        ASSERT_EQ(core[i], rendered[i])
            << "pixel " << i % c.size.width << ", row " << i / c.size.width;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CoreRenderMatchesPlugin, ::testing::ValuesIn(AllCases()), NameOf);

}  // namespace
