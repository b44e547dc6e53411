#pragma once

#include <cstdint>
#include <memory>

#include "filter/filter_config.h"
#include "hostsdk/instrumented_bitmap.h"
#include "tests/support/frames.h"
#include "tests/support/plugin.h"
#include "tests/support/progress_window.h"

// A filter from the loaded plug-in with a filled frame set as its source, ready to render.
struct RenderSetup {
    RenderSetup(int32_t mode, int32_t field, uint16_t width, uint16_t height, uint32_t seed = 1)
        : filter(Plugin().CreateFilter()), frame(width, height) {
        FilterConfig config{static_cast<Kernel>(mode), static_cast<Field>(field)};
        filter->LoadConfig(&config);
        FillFrame(frame, seed);
        before = Snapshot(frame);
        filter->SetSource(&frame);
    }

    // Gives the filter a mask of the given size, all values `value`.
    hostsdk::InstrumentedBitmap& AddMask(uint16_t width, uint16_t height, uint16_t value) {
        mask = std::make_unique<hostsdk::InstrumentedBitmap>(width, height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) mask->SetGray(x, y, value);
        }
        filter->SetMask(mask.get());
        return *mask;
    }

    int Render() { return filter->Render(window.Handle()); }

    FilterPtr filter;
    hostsdk::InstrumentedBitmap frame;
    std::unique_ptr<hostsdk::InstrumentedBitmap> mask;
    FrameRows before;
    ProgressWindow window;
};
