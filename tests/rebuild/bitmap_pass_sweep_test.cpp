// Sweeps through the loaded plug-in: frame and mask geometries, injected faults (row calls,
// buffer allocations, aborts) and arbitrary configuration blocks. Each render is compared with
// a model of the pass written here from the pass's rules, call by call: which rows are read
// and written, in what order, with what counts, and what the frame holds afterwards.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "hostsdk/instrumentation.h"
#include "hostsdk/instrumented_bitmap.h"
#include "rebuild/core/six_point_constants.h"
#include "tests/support/frames.h"
#include "tests/support/plugin.h"
#include "tests/support/progress_window.h"
#include "tests/support/standard_heap_probe.h"

namespace {

using hostsdk::InstrumentedBitmap;
using hostsdk::RowOp;

uint16_t Channel(const BMM_Color_64& p, int c) {
    return c == 0 ? p.r : c == 1 ? p.g : c == 2 ? p.b : p.a;
}
void SetChannel(BMM_Color_64& p, int c, uint16_t v) {
    (c == 0 ? p.r : c == 1 ? p.g : c == 2 ? p.b : p.a) = v;
}

// The six-point weighted mean of one output channel, straight from its definition.
uint16_t SixPoint(const PixelRow& up, const PixelRow& down, std::size_t x, int c) {
    const float diagonal = kDiagonalFactor;
    const float edge = kEdgeNormaliser;
    const float edgeDiagonal = kEdgeDiagonalWeight;
    const float interior = kInteriorNormaliser;
    const std::size_t w = up.size();
    auto u = [&](std::size_t i) { return static_cast<uint32_t>(Channel(up[i], c)); };
    auto d = [&](std::size_t i) { return static_cast<uint32_t>(Channel(down[i], c)); };
    if (w == 1) return static_cast<uint16_t>((u(0) + d(0)) >> 1);
    if (x == 0 && c == 0) {
        const float vertical = static_cast<float>(d(0) + u(0)) * edge;
        const float sides = static_cast<float>(u(1) + d(1)) * edgeDiagonal;
        return static_cast<uint16_t>(vertical + sides);
    }
    uint32_t sum = 0;
    if (x > 0) sum += u(x - 1) + d(x - 1);
    if (x + 1 < w) sum += u(x + 1) + d(x + 1);
    float t = static_cast<float>(sum) * diagonal;
    t = t + static_cast<float>(d(x));
    t = t + static_cast<float>(u(x));
    t = t * (x == 0 || x + 1 == w ? edge : interior);
    return static_cast<uint16_t>(t);
}

struct Call {
    RowOp op;
    int y;
    int count;
    bool operator==(const Call&) const = default;
};

struct Faults {
    int frameCall = 0;   // the nth frame row call fails
    int maskCall = 0;    // the nth mask row call fails
    int poll = 0;        // the nth abort poll finds the flag set
    int allocation = 0;  // the nth standard-heap allocation is refused
};

struct Outcome {
    int result = 1;
    FrameRows frame;
    std::vector<Call> frameCalls;
    std::vector<Call> maskCalls;
    int polls = 0;
    int lerpCalls = 0;
};

struct MaskModel {
    int width;
    int height;
    std::vector<std::vector<uint16_t>> gray;
};

// What a render should do, call by call.
Outcome Expect(int32_t mode, int32_t field, const FrameRows& original, int width,
               const MaskModel* mask, const Faults& faults) {
    Outcome out;
    out.frame = original;
    const int height = static_cast<int>(original.size());
    if (mode < 0 || mode > 2) {
        out.result = 0;
        return out;
    }
    const int rowBuffers = mode + 1;
    if (faults.allocation >= 1 && faults.allocation <= rowBuffers) {
        out.result = 0;
        return out;
    }
    if (faults.allocation == rowBuffers + 1) mask = nullptr;  // runs as without a mask

    auto frameCall = [&](RowOp op, int y) {
        out.frameCalls.push_back({op, y, width});
        return static_cast<int>(out.frameCalls.size()) != faults.frameCall;
    };
    auto poll = [&] { return ++out.polls != faults.poll; };
    auto fail = [&] {
        out.result = 0;
        return out;
    };

    FrameRows& rows = out.frame;
    for (int y = field == 1 ? 1 : 0; y + 1 < height; y += 2) {
        if (!poll() || !frameCall(RowOp::ReadPixels, y + 1)) return fail();
        PixelRow result = rows[y + 1];
        if (y > 0 && mode > 0) {
            if (!frameCall(RowOp::ReadPixels, y - 1)) return fail();
            const PixelRow& up = rows[y - 1];
            const PixelRow& down = rows[y + 1];
            for (int x = 0; x < width; ++x) {
                for (int c = 0; c < 4; ++c) {
                    const uint16_t v =
                        mode == 1
                            ? static_cast<uint16_t>((Channel(up[x], c) + Channel(down[x], c)) / 2)
                            : SixPoint(up, down, static_cast<std::size_t>(x), c);
                    SetChannel(result[x], c, v);
                }
            }
        }
        if (!frameCall(RowOp::WritePixels, y)) return fail();
        rows[y] = result;
    }
    const bool lastRebuilt = (field == 0 && height % 2 == 1) || (field == 1 && height % 2 == 0);
    if (lastRebuilt && height >= 2) {
        if (!frameCall(RowOp::ReadPixels, height - 2)) return fail();
        if (!frameCall(RowOp::WritePixels, height - 1)) return fail();
        rows[height - 1] = rows[height - 2];
    }
    if (mask == nullptr) return out;
    const int maskWidth = std::min(mask->width, width);
    for (int j = 0; j < height; ++j) {
        if (!poll() || !frameCall(RowOp::ReadPixels, j)) return fail();
        out.maskCalls.push_back({RowOp::ReadGray, j, maskWidth});
        if (static_cast<int>(out.maskCalls.size()) == faults.maskCall || j >= mask->height)
            return fail();
        for (int k = 0; k < maskWidth; ++k) {
            const uint16_t m = mask->gray[j][k];
            if (m >= 1 && m <= 65529) out.lerpCalls += 4;  // Lerp(v, v, m) gives v back
        }
        if (!frameCall(RowOp::WritePixels, j)) return fail();
    }
    return out;
}

std::vector<Call> CallsOf(const InstrumentedBitmap& bitmap) {
    std::vector<Call> calls;
    for (int i = 0; i < bitmap.CallCount(); ++i) {
        const hostsdk::RowCall call = bitmap.Call(i);
        EXPECT_EQ(call.x, 0);
        calls.push_back({call.op, call.y, call.count});
    }
    return calls;
}

std::string Describe(int32_t mode, int32_t field, int w, int h, const char* mask, const Faults& f) {
    return "mode " + std::to_string(mode) + " field " + std::to_string(field) + " W " +
           std::to_string(w) + " H " + std::to_string(h) + " mask " + mask + " faults " +
           std::to_string(f.frameCall) + "/" + std::to_string(f.maskCall) + "/" +
           std::to_string(f.poll) + "/" + std::to_string(f.allocation);
}

// Mask values that exercise the band's edges, and random ones; a sparse mask is mostly outside
// the band, in runs long enough to be passed over in blocks, with single in-band pixels
// anywhere among them.
uint16_t MaskValue(std::mt19937& random, bool sparse) {
    static const uint16_t edges[] = {0, 1, 2, 65528, 65529, 65530, 65535};
    static const uint16_t outside[] = {0, 0, 0, 65530, 65531, 65535};
    if (sparse) return random() % 16 != 0 ? outside[random() % 6] : edges[1 + random() % 4];
    return random() % 3 == 0 ? edges[random() % 7] : static_cast<uint16_t>(random());
}

enum class MaskKind { None, Narrower, Equal, Wider, Shorter, Sparse };
const char* Name(MaskKind kind) {
    static const char* names[] = {"none", "narrower", "equal", "wider", "shorter", "sparse"};
    return names[static_cast<int>(kind)];
}

// One render through the plug-in, checked against the model; false after the first mismatch.
bool RenderAndCompare(int32_t mode, int32_t field, int width, int height, MaskKind kind,
                      const Faults& faults, uint32_t seed, const void* block = nullptr) {
    InstrumentedBitmap frame(static_cast<uint16_t>(width), static_cast<uint16_t>(height));
    FillFrame(frame, seed);
    const FrameRows original = Snapshot(frame);

    std::optional<InstrumentedBitmap> maskBitmap;
    MaskModel mask{};
    if (kind != MaskKind::None) {
        mask.width = kind == MaskKind::Narrower ? std::max(width - 2, 0)
                     : kind == MaskKind::Wider  ? width + 3
                                                : width;
        mask.height = kind == MaskKind::Shorter ? std::max(height - 1, 0) : height + 1;
        maskBitmap.emplace(static_cast<uint16_t>(mask.width), static_cast<uint16_t>(mask.height));
        std::mt19937 random(seed * 31u + 7u);
        mask.gray.assign(mask.height, std::vector<uint16_t>(mask.width));
        for (int y = 0; y < mask.height; ++y) {
            for (int x = 0; x < mask.width; ++x) {
                mask.gray[y][x] = MaskValue(random, kind == MaskKind::Sparse);
                maskBitmap->SetGray(x, y, mask.gray[y][x]);
            }
        }
        maskBitmap->ClearCalls();
    }
    if (faults.frameCall > 0) frame.Fail({RowOp::Any, -1, faults.frameCall, 0});
    if (faults.maskCall > 0) maskBitmap->Fail({RowOp::Any, -1, faults.maskCall, 0});

    const std::string what = Describe(mode, field, width, height, Name(kind), faults);
    FilterPtr filter = Plugin().CreateFilter();
    const int32_t config[2] = {mode, field};
    filter->LoadConfig(const_cast<void*>(block != nullptr ? block : config));
    filter->SetSource(&frame);
    filter->SetMask(maskBitmap ? &*maskBitmap : nullptr);
    ProgressWindow window;
    window.AbortAtPoll(faults.poll);
    hostsdk::ResetRecords();
    hostsdk::RecordLerpCalls(true);
    int result;
    {
        StandardHeapProbe heap(Plugin().Handle());
        heap.FailAllocation(faults.allocation);
        result = filter->Render(window.Handle());
        EXPECT_EQ(heap.Outstanding(), 0) << what;
    }
    hostsdk::RecordLerpCalls(false);
    filter->SetMask(nullptr);
    filter->SetSource(nullptr);

    const Outcome expected =
        Expect(mode, field, original, width, maskBitmap ? &mask : nullptr, faults);
    EXPECT_EQ(result, expected.result) << what;
    EXPECT_TRUE(AllCallsInside(frame)) << what;
    EXPECT_TRUE(CallsOf(frame) == expected.frameCalls) << what;
    if (maskBitmap) {
        EXPECT_TRUE(CallsOf(*maskBitmap) == expected.maskCalls) << what;
    }
    EXPECT_EQ(window.PollCount(), expected.polls) << what;
    EXPECT_EQ(hostsdk::LerpCallCount(), expected.lerpCalls) << what;
    EXPECT_TRUE(Snapshot(frame) == expected.frame) << what;
    return !testing::Test::HasFailure();
}

TEST(GeometrySweep, EveryShapeModeFieldAndMask) {
    const int widths[] = {0, 1, 2, 3, 4, 5, 67, 1031};
    const MaskKind masks[] = {MaskKind::None,  MaskKind::Narrower, MaskKind::Equal,
                              MaskKind::Wider, MaskKind::Shorter,  MaskKind::Sparse};
    uint32_t seed = 1;
    for (int width : widths) {
        for (int height = 0; height <= 9; ++height) {
            for (int32_t mode = 0; mode <= 3; ++mode) {
                for (int32_t field = -1; field <= 2; ++field) {
                    for (MaskKind mask : masks) {
                        if (!RenderAndCompare(mode, field, width, height, mask, {}, seed++)) return;
                    }
                }
            }
        }
    }
}

// For each k: the kth frame row call fails, the kth mask row call fails, the kth poll aborts,
// the kth buffer allocation is refused. The model stops at the same point, so the frame must
// hold exactly what was written before it, and every buffer must be released.
TEST(FaultSweep, EveryFailurePointOfEveryPass) {
    uint32_t seed = 100;
    for (int32_t mode = 0; mode <= 2; ++mode) {
        for (int32_t field = 0; field <= 1; ++field) {
            for (int height : {8, 9}) {
                for (MaskKind mask : {MaskKind::None, MaskKind::Equal, MaskKind::Sparse}) {
                    const int width = 6;
                    InstrumentedBitmap probe(width, static_cast<uint16_t>(height));
                    const MaskModel model{width, height + 1,
                                          std::vector<std::vector<uint16_t>>(
                                              height + 1, std::vector<uint16_t>(width, 5))};
                    const Outcome clean = Expect(mode, field, Snapshot(probe), width,
                                                 mask == MaskKind::None ? nullptr : &model, {});
                    const int frameCalls = static_cast<int>(clean.frameCalls.size());
                    const int maskCalls = static_cast<int>(clean.maskCalls.size());
                    for (int k = 1; k <= frameCalls; ++k) {
                        Faults f;
                        f.frameCall = k;
                        if (!RenderAndCompare(mode, field, width, height, mask, f, seed++)) return;
                    }
                    for (int k = 1; k <= maskCalls; ++k) {
                        Faults f;
                        f.maskCall = k;
                        if (!RenderAndCompare(mode, field, width, height, mask, f, seed++)) return;
                    }
                    for (int k = 1; k <= clean.polls; ++k) {
                        Faults f;
                        f.poll = k;
                        if (!RenderAndCompare(mode, field, width, height, mask, f, seed++)) return;
                    }
                    for (int k = 1; k <= mode + 2; ++k) {
                        Faults f;
                        f.allocation = k;
                        if (!RenderAndCompare(mode, field, width, height, mask, f, seed++)) return;
                    }
                }
            }
        }
    }
}

// Configuration blocks are taken as they come: extreme, random and raw 8-byte blocks load,
// save back unchanged and render as their values say (no pass for a mode outside 0 to 2, even
// rows without a last-line step for a field other than 0 and 1).
TEST(ConfigurationBlocks, ArbitraryBlocksRenderAsTheirValuesSay) {
    const int32_t extremes[] = {INT32_MIN, -2, -1, 0, 1, 2, 3, 256, 65536, INT32_MAX};
    std::vector<std::pair<int32_t, int32_t>> blocks;
    for (int32_t mode : extremes) {
        for (int32_t field : extremes) blocks.emplace_back(mode, field);
    }
    std::mt19937 random(77);
    for (int i = 0; i < 200; ++i) {
        const int32_t mode = static_cast<int32_t>(random() % 2 == 0 ? random() : random() % 4);
        const int32_t field = static_cast<int32_t>(random() % 2 == 0 ? random() : random() % 3);
        blocks.emplace_back(mode, field);
    }
    uint32_t seed = 500;
    for (auto [mode, field] : blocks) {
        unsigned char block[8];
        std::memcpy(block, &mode, 4);
        std::memcpy(block + 4, &field, 4);
        const MaskKind mask = seed % 2 == 0 ? MaskKind::None : MaskKind::Equal;
        if (!RenderAndCompare(mode, field, 5, 7, mask, {}, seed++, block)) return;

        FilterPtr filter = Plugin().CreateFilter();
        ASSERT_EQ(filter->LoadConfig(block), 1);
        unsigned char saved[8] = {};
        ASSERT_EQ(filter->SaveConfig(saved), 1);
        ASSERT_EQ(std::memcmp(saved, block, 8), 0) << mode << " " << field;
    }
}

}  // namespace
