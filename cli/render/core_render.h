#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "filter/filter_config.h"
#include "host/color.h"

// One frame through the shared rebuild core in braidel-run's own memory, braidel-run being the
// host: what the plug-in makes of the frame, without loading it. The core's render pass, the
// plug-in's own, reads and writes the rows here, asks for an abort before the same rows, and
// hands each in-band pixel to braidel-run's blend helper as the plug-in hands it to the SDK's,
// so both renderers give the same bytes. No platform
// header comes in here.

// Pixels in memory, row after row, `width` to a row.
struct FrameView {
    BMM_Color_64* pixels;
    uint16_t width;
    uint16_t height;
};

// A mask as braidel-run holds it: pixels whose host grey (integer luma) is the mask value.
struct MaskView {
    const BMM_Color_64* pixels;
    uint16_t width;
    uint16_t height;
};

// What the render step asks of a render while it runs: whether to stop (asked before each row,
// where the plug-in polls its window), and a call per progress message the plug-in would send.
struct RenderPolls {
    std::function<bool()> abortWanted;
    std::function<void()> progress;
};

enum class CoreRenderResult {
    Rendered,
    Aborted,
    // Where the plug-in's render returns 0 on its own: a mode that names no kernel (the frame is
    // untouched), or a mask with fewer rows than the frame (the rebuild stays written).
    Failed,
};

// The row buffers of renders, kept by a render step from frame to frame: frames of one width
// and kernel (a stream's) take them from the heap once, where the plug-in takes them per render.
// Every row is written whole before it is read, so what a buffer held before never shows.
struct RenderBuffers;

class CoreRenderBuffers {
  public:
    CoreRenderBuffers();
    ~CoreRenderBuffers();
    CoreRenderBuffers(const CoreRenderBuffers&) = delete;
    CoreRenderBuffers& operator=(const CoreRenderBuffers&) = delete;

    // The buffers of a render with `kernel` at `width`, with mask values when `masked`; false
    // when the heap refuses the rebuild's rows.
    bool For(Kernel kernel, std::size_t width, bool masked);
    RenderBuffers& Buffers() { return *buffers_; }

  private:
    std::unique_ptr<RenderBuffers> buffers_;
    bool ready_ = false;
    Kernel kernel_ = kCopyLine;
    std::size_t width_ = 0;
    bool masked_ = false;
};

// Renders `frame` in place with the configuration's kernel and field; `mask` may be null. The
// first form takes its row buffers for this render alone, the second keeps them in `buffers`.
CoreRenderResult RenderWithCore(const FilterConfig& config, FrameView frame, const MaskView* mask,
                                const RenderPolls& polls);
CoreRenderResult RenderWithCore(const FilterConfig& config, FrameView frame, const MaskView* mask,
                                const RenderPolls& polls, CoreRenderBuffers& buffers);
