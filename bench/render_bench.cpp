// Renders full 3840 x 2160 frames of random 16-bit data through the loaded plug-in, the way a
// host does (memory bitmaps of the stand-in host, a real progress window, the real Render
// call), and sets each case's median time per frame against the median time of one memcpy of
// the frame's bytes, measured in the same process right before the case.
//   render_bench [--json] [--repetitions N]

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host/image_filter.h"
#include "standin/sdk/memory_bitmap.h"
#include "tests/support/plugin_library.h"

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

void FillRandom(standin::MemoryBitmap& bitmap, uint32_t seed) {
    std::mt19937 random(seed);
    for (int y = 0; y < bitmap.Height(); ++y) {
        BMM_Color_64* row = &bitmap.Pixel(0, y);
        for (int x = 0; x < bitmap.Width(); ++x) {
            const uint32_t a = random();
            const uint32_t b = random();
            row[x] = {static_cast<uint16_t>(a), static_cast<uint16_t>(a >> 16),
                      static_cast<uint16_t>(b), static_cast<uint16_t>(b >> 16)};
        }
    }
}

// A host's render window: message-only, answering the progress message and the abort poll
// without ever asking for an abort.
class HostWindow {
  public:
    HostWindow() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"BraidelBenchWindow";
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, windowClass.hInstance, nullptr);
    }
    ~HostWindow() { DestroyWindow(window_); }
    HWND Handle() const { return window_; }

  private:
    HWND window_ = nullptr;
};

struct Case {
    const char* mode;
    int32_t modeValue;
    const char* field;
    int32_t fieldValue;
    bool mask;
    double msPerFrame = 0;
    double memcpyMs = 0;
};

// One memcpy of the frame's bytes, in ms.
double TimeMemcpy(std::vector<unsigned char>& from, std::vector<unsigned char>& to) {
    const double start = Now();
    std::memcpy(to.data(), from.data(), kFrameBytes);
    const double elapsed = Now() - start;
    from[static_cast<std::size_t>(elapsed) % kFrameBytes] ^= to[kFrameBytes - 1];
    return elapsed;
}

// Where a pass's time goes: the same host row calls as the pass makes (even field, no mask),
// without any kernel, and the same number of progress and poll messages.
struct Breakdown {
    double rowCallsMs[3];
    double messagesMs;
};

// Each run follows a memcpy of the frame's bytes, as each render does.
Breakdown MeasureBreakdown(standin::MemoryBitmap& frame, HWND window, int repetitions,
                           std::vector<unsigned char>& copyFrom,
                           std::vector<unsigned char>& copyTo) {
    Breakdown breakdown{};
    std::vector<BMM_Color_64> lower(kWidth), upper(kWidth), output(kWidth);
    for (int mode = 0; mode < 3; ++mode) {
        std::vector<double> times;
        for (int i = 0; i < repetitions; ++i) {
            frame.ClearCalls();
            TimeMemcpy(copyFrom, copyTo);
            const double start = Now();
            for (int y = 0; y + 1 < kHeight; y += 2) {
                frame.GetPixels(0, y + 1, kWidth, lower.data());
                if (y > 0 && mode > 0) frame.GetPixels(0, y - 1, kWidth, upper.data());
                frame.PutPixels(0, y, kWidth, mode == 2 && y > 0 ? output.data() : lower.data());
            }
            times.push_back(Now() - start);
        }
        breakdown.rowCallsMs[mode] = Median(times);
    }
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        int32_t flag = 0;
        TimeMemcpy(copyFrom, copyTo);
        const double start = Now();
        for (int y = 0; y + 1 < kHeight; y += 2) {
            SendMessageW(window, kProgressMessage, static_cast<WPARAM>(y + 1), kHeight - 1);
            SendMessageW(window, kAbortPollMessage, 0, reinterpret_cast<LPARAM>(&flag));
        }
        times.push_back(Now() - start);
    }
    breakdown.messagesMs = Median(times);
    return breakdown;
}

}  // namespace

int main(int argc, char** argv) {
    bool json = false;
    int repetitions = 15;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) json = true;
        if (std::strcmp(argv[i], "--repetitions") == 0 && i + 1 < argc)
            repetitions = std::max(3, std::atoi(argv[++i]));
    }

    standin::MemoryBitmap frame(kWidth, kHeight);
    standin::MemoryBitmap mask(kWidth, kHeight);
    FillRandom(frame, 1);
    FillRandom(mask, 2);
    std::vector<unsigned char> copyFrom(kFrameBytes, 1);
    std::vector<unsigned char> copyTo(kFrameBytes, 2);
    HostWindow window;

    std::vector<Case> cases;
    for (bool withMask : {false, true}) {
        for (auto [mode, modeValue] : {std::pair{"copy", 0}, {"linear", 1}, {"weighted", 2}}) {
            for (auto [field, fieldValue] : {std::pair{"even", 0}, {"odd", 1}})
                cases.push_back({mode, modeValue, field, fieldValue, withMask});
        }
    }

    FilterPtr filter = Plugin().CreateFilter();
    filter->SetSource(&frame);
    for (Case& c : cases) {
        const int32_t block[2] = {c.modeValue, c.fieldValue};
        filter->LoadConfig(const_cast<int32_t*>(block));
        filter->SetMask(c.mask ? &mask : nullptr);
        // The masked cases call Lerp four times per pixel and take far longer; fewer runs of
        // them are as stable.
        const int runs = c.mask ? std::max(3, repetitions / 3) : repetitions;
        // Each render is paired with a memcpy right before it, so that both medians see the
        // same conditions on a shared machine.
        std::vector<double> times;
        std::vector<double> copies;
        for (int i = -1; i < runs; ++i) {  // the first run warms up and is not counted
            const double copy = TimeMemcpy(copyFrom, copyTo);
            frame.ClearCalls();
            mask.ClearCalls();
            const double start = Now();
            const int result = filter->Render(window.Handle());
            const double elapsed = Now() - start;
            if (result != 1) {
                std::fprintf(stderr, "render_bench: %s %s render returned %d\n", c.mode, c.field,
                             result);
                return 1;
            }
            if (i >= 0) {
                times.push_back(elapsed);
                copies.push_back(copy);
            }
        }
        c.msPerFrame = Median(times);
        c.memcpyMs = Median(copies);
    }
    filter->SetMask(nullptr);
    filter->SetSource(nullptr);
    const Breakdown breakdown =
        MeasureBreakdown(frame, window.Handle(), repetitions, copyFrom, copyTo);

    if (json) {
        std::printf("{\"width\": %d, \"height\": %d, \"frame_bytes\": %zu, \"cases\": [", kWidth,
                    kHeight, kFrameBytes);
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            std::printf(
                "%s\n  {\"mode\": \"%s\", \"field\": \"%s\", \"mask\": %s, \"ms_per_frame\": "
                "%.3f, \"memcpy_ms\": %.3f, \"ratio\": %.3f}",
                i == 0 ? "" : ",", c.mode, c.field, c.mask ? "true" : "false", c.msPerFrame,
                c.memcpyMs, c.msPerFrame / c.memcpyMs);
        }
        std::printf(
            "\n], \"breakdown\": {\"row_calls_ms\": {\"copy\": %.3f, \"linear\": %.3f, "
            "\"weighted\": %.3f}, \"messages_ms\": %.3f}}\n",
            breakdown.rowCallsMs[0], breakdown.rowCallsMs[1], breakdown.rowCallsMs[2],
            breakdown.messagesMs);
    } else {
        std::printf("%ux%u frame, %zu bytes; median of %d renders per case (masked: %d)\n", kWidth,
                    kHeight, kFrameBytes, repetitions, std::max(3, repetitions / 3));
        std::printf("%-9s %-5s %-5s %12s %10s %7s\n", "mode", "field", "mask", "ms/frame",
                    "memcpy ms", "ratio");
        for (const Case& c : cases) {
            std::printf("%-9s %-5s %-5s %12.2f %10.2f %7.3f\n", c.mode, c.field,
                        c.mask ? "yes" : "no", c.msPerFrame, c.memcpyMs, c.msPerFrame / c.memcpyMs);
        }
        std::printf("\nwhere the time goes (even field, no mask), ms per frame:\n");
        std::printf("  the pass's host row calls alone: copy %.2f, linear %.2f, weighted %.2f\n",
                    breakdown.rowCallsMs[0], breakdown.rowCallsMs[1], breakdown.rowCallsMs[2]);
        std::printf("  its progress and poll messages alone: %.2f\n", breakdown.messagesMs);
    }
    return 0;
}
