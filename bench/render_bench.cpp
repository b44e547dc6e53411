// Renders full 3840 x 2160 frames of random 16-bit data through the loaded plug-in, the way a
// host does (memory bitmaps of the stand-in host, a real progress window, the real Render
// call), and sets each case's median time per frame against the median time of one memcpy of
// the frame's bytes, measured in the same process right before the case.
// Beside each case it times the host calls that the pass makes, alone (the floor).
//   render_bench [--json] [--repetitions N]

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "filter/filter_config.h"
#include "host/image_filter.h"
#include "hostsdk/plain_bitmap.h"
#include "loader/message_window.h"
#include "loader/plugin_library.h"
#include "rebuild/core/channels.h"
#include "rebuild/core/field_rebuild.h"
#include "rebuild/core/mask_band.h"

namespace {

constexpr uint16_t kWidth = 3840;
constexpr uint16_t kHeight = 2160;
constexpr std::size_t kFrameBytes = std::size_t{kWidth} * kHeight * sizeof(BMM_Color_64);

double Now() {
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return static_cast<double>(count.QuadPart) / ticksPerMs;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

void FillRandom(hostsdk::PlainBitmap& bitmap, uint32_t seed) {
    std::mt19937 random(seed);
    for (int y = 0; y < bitmap.Height(); ++y) {
        BMM_Color_64* row = bitmap.Row(y);
        for (int x = 0; x < bitmap.Width(); ++x) {
            const uint32_t a = random();
            const uint32_t b = random();
            row[x] = {static_cast<uint16_t>(a), static_cast<uint16_t>(a >> 16),
                      static_cast<uint16_t>(b), static_cast<uint16_t>(b >> 16)};
        }
    }
}

struct Case {
    const NamedValue<Kernel>& mode;
    const NamedValue<Field>& field;
    bool mask;
    double msPerFrame = 0;
    double memcpyMs = 0;
    double hostFloorMs = 0;  // the same host calls as the pass, nothing else

    double Ratio() const { return msPerFrame / memcpyMs; }
    double FloorRatio() const { return hostFloorMs / memcpyMs; }
    double OwnMs() const { return msPerFrame - hostFloorMs; }
};

// One memcpy of the frame's bytes, in ms.
double TimeMemcpy(std::vector<unsigned char>& from, std::vector<unsigned char>& to) {
    const double start = Now();
    std::memcpy(to.data(), from.data(), kFrameBytes);
    const double elapsed = Now() - start;
    from[static_cast<std::size_t>(elapsed) % kFrameBytes] ^= to[kFrameBytes - 1];
    return elapsed;
}

// The host calls that a case's pass makes, in the pass's order, and nothing of the pass's
// own: its row reads and writes, its progress and poll messages, and with a mask the mask's
// grey rows and four Lerp calls per in-band pixel. No plug-in can take less than this; what a
// render takes beyond it is the plug-in's own work.
class HostCallFloor {
  public:
    HostCallFloor(hostsdk::PlainBitmap& frame, ImageFilter& filter, HWND window)
        : frame_(frame),
          filter_(filter),
          window_(window),
          lower_(kWidth),
          upper_(kWidth),
          output_(kWidth),
          maskRow_(kWidth) {}

    void Run(const Case& c, hostsdk::PlainBitmap* mask) {
        RebuildCalls(c.mode.value, c.field.value);
        if (mask != nullptr) MaskCalls(*mask);
    }

  private:
    static constexpr int kTotal = kHeight - 1;

    void Messages(int position) {
        SendMessageW(window_, kProgressMessage, static_cast<WPARAM>(position), kTotal);
        SendMessageW(window_, kAbortPollMessage, 0, reinterpret_cast<LPARAM>(&abortFlag_));
    }

    void RebuildCalls(Kernel kernel, Field field) {
        const RebuiltRows rows = RowsRebuilt(kHeight, field);
        for (int y = rows.first; y < rows.loopEnd; y += 2) {
            Messages(y + 1);
            frame_.GetPixels(0, y + 1, kWidth, lower_.data());
            if (y > 0 && ReadsUpperRow(kernel)) frame_.GetPixels(0, y - 1, kWidth, upper_.data());
            const bool output = y > 0 && WritesOutputRow(kernel);
            frame_.PutPixels(0, y, kWidth, output ? output_.data() : lower_.data());
        }
        if (rows.lastRowCopied) {
            frame_.GetPixels(0, kHeight - 2, kWidth, lower_.data());
            frame_.PutPixels(0, kHeight - 1, kWidth, lower_.data());
        }
    }

    void MaskCalls(hostsdk::PlainBitmap& mask) {
        for (int y = 0; y < kHeight; ++y) {
            Messages(y);
            frame_.GetPixels(0, y, kWidth, lower_.data());
            mask.Get16Gray(0, y, kWidth, maskRow_.data());
            for (int x = 0; x < kWidth; ++x) {
                const uint16_t m = maskRow_[x];
                if (!InMaskBand(m)) continue;
                for (auto c : kChannels) {
                    const int value = lower_[x].*c;
                    lower_[x].*c = static_cast<uint16_t>(filter_.Lerp(value, value, m));
                }
            }
            frame_.PutPixels(0, y, kWidth, lower_.data());
        }
    }

    hostsdk::PlainBitmap& frame_;
    ImageFilter& filter_;
    HWND window_;
    int32_t abortFlag_ = 0;
    std::vector<BMM_Color_64> lower_, upper_, output_;
    std::vector<uint16_t> maskRow_;
};

}  // namespace

int main(int argc, char** argv) {
    bool json = false;
    int repetitions = 15;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) json = true;
        if (std::strcmp(argv[i], "--repetitions") == 0 && i + 1 < argc)
            repetitions = std::max(3, std::atoi(argv[++i]));
    }

    hostsdk::PlainBitmap frame(kWidth, kHeight);
    hostsdk::PlainBitmap mask(kWidth, kHeight);
    FillRandom(frame, 1);
    FillRandom(mask, 2);
    std::vector<unsigned char> copyFrom(kFrameBytes, 1);
    std::vector<unsigned char> copyTo(kFrameBytes, 2);
    MessageWindow window;

    std::vector<Case> cases;
    for (bool withMask : {false, true}) {
        for (const auto& mode : kKernelNames) {
            for (const auto& field : kFieldNames) cases.push_back({mode, field, withMask});
        }
    }

    PluginLibrary plugin;
    if (!plugin.Loaded()) {
        std::fprintf(stderr, "render_bench: %s\n", plugin.LoadFailure().reason.c_str());
        return 1;
    }
    FilterPtr filter = plugin.CreateFilter();
    filter->SetSource(&frame);
    HostCallFloor floor(frame, *filter, window.Handle());
    for (Case& c : cases) {
        FilterConfig block{c.mode.value, c.field.value};
        filter->LoadConfig(&block);
        filter->SetMask(c.mask ? &mask : nullptr);
        // The masked cases call Lerp four times per pixel and take far longer; fewer runs of
        // them are as stable.
        const int runs = c.mask ? std::max(3, repetitions / 3) : repetitions;
        // Each render, and each run of its host-call floor, follows a memcpy timed right
        // before it, so that all medians see the same conditions on a shared machine.
        std::vector<double> times, floors, copies;
        // One timed run after its memcpy: {memcpy ms, run ms}.
        auto timed = [&](auto&& run) {
            const double copy = TimeMemcpy(copyFrom, copyTo);
            const double start = Now();
            run();
            return std::pair{copy, Now() - start};
        };
        for (int i = -1; i < runs; ++i) {  // the first run warms up and is not counted
            int result = 0;
            const auto [copy, elapsed] = timed([&] { result = filter->Render(window.Handle()); });
            if (result != 1) {
                std::fprintf(stderr, "render_bench: %s %s render returned %d\n", c.mode.name.text,
                             c.field.name.text, result);
                return 1;
            }
            const auto [floorCopy, floorElapsed] =
                timed([&] { floor.Run(c, c.mask ? &mask : nullptr); });
            if (i >= 0) {
                times.push_back(elapsed);
                floors.push_back(floorElapsed);
                copies.push_back(copy);
                copies.push_back(floorCopy);
            }
        }
        c.msPerFrame = Median(times);
        c.hostFloorMs = Median(floors);
        c.memcpyMs = Median(copies);
    }
    filter->SetMask(nullptr);
    filter->SetSource(nullptr);

    if (json) {
        std::printf("{\"width\": %d, \"height\": %d, \"frame_bytes\": %zu, \"cases\": [", kWidth,
                    kHeight, kFrameBytes);
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            std::printf(
                "%s\n  {\"mode\": \"%s\", \"field\": \"%s\", \"mask\": %s, \"ms_per_frame\": "
                "%.3f, \"memcpy_ms\": %.3f, \"ratio\": %.3f, \"host_floor_ms\": %.3f, "
                "\"floor_ratio\": %.3f, \"own_ms\": %.3f}",
                i == 0 ? "" : ",", c.mode.name.text, c.field.name.text, c.mask ? "true" : "false",
                c.msPerFrame, c.memcpyMs, c.Ratio(), c.hostFloorMs, c.FloorRatio(), c.OwnMs());
        }
        std::printf("\n]}\n");
    } else {
        std::printf("%ux%u frame, %zu bytes; median of %d renders per case (masked: %d)\n", kWidth,
                    kHeight, kFrameBytes, repetitions, std::max(3, repetitions / 3));
        std::printf("%-9s %-5s %-5s %10s %10s %7s %10s %7s %9s\n", "mode", "field", "mask",
                    "ms/frame", "memcpy ms", "ratio", "floor ms", "floor", "own ms");
        for (const Case& c : cases) {
            std::printf("%-9s %-5s %-5s %10.2f %10.2f %7.3f %10.2f %7.3f %9.2f\n", c.mode.name.text,
                        c.field.name.text, c.mask ? "yes" : "no", c.msPerFrame, c.memcpyMs,
                        c.Ratio(), c.hostFloorMs, c.FloorRatio(), c.OwnMs());
        }
        std::printf(
            "\nfloor: the same host calls as the pass (row reads and writes, progress and poll\n"
            "messages, mask rows and Lerp calls) with no work of the plug-in's own; own: the\n"
            "render's time beyond it.\n");
    }
    return 0;
}
