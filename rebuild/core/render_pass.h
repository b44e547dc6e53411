#pragma once

#include <cstddef>
#include <cstdint>

#include "host/color.h"
#include "rebuild/core/field_rebuild.h"
#include "rebuild/core/row_buffer.h"

// One render of a frame, as the plug-in makes it: the field rebuild, then, with a mask, the
// mask pass that hands every in-band pixel to the host's blend helper. Where the rows and mask
// values live and which blend helper answers are the caller's: the plug-in's pass asks the
// host's bitmaps and its Lerp, braidel-run's own renderer its frames in memory and the same
// blend. No platform header comes in here.

// Mask values of the frame's rows, as the host's 16-bit grey row read gives them.
class MaskRows {
  public:
    virtual int Width() const = 0;
    // The first `count` values of mask row y (count <= Width()); false when the row cannot be
    // read (a mask with fewer rows than the frame).
    virtual bool ReadRow(int y, int count, uint16_t* values) = 0;

  protected:
    ~MaskRows() = default;
};

// The host's blend of `from` and `to` by the 16-bit `weight`.
class BlendHelper {
  public:
    virtual int Lerp(int from, int to, int weight) = 0;

  protected:
    ~BlendHelper() = default;
};

struct MaskInput {
    MaskRows& rows;
    BlendHelper& blend;
};

// The buffers of one render, each one frame row wide: the rebuild's rows (the kept row below
// also carries each frame row through the mask pass), then the mask values.
struct RenderBuffers {
    RebuildBuffers rows;
    RowBuffer<uint16_t> maskValues;

    // Obtains the rows `kernel` uses, then, when `masked`, the mask values. False when the heap
    // refuses a row; mask values it refuses only skip the mask pass: the pass refines a
    // complete rebuild, and failing would throw away a finished frame.
    bool Obtain(Kernel kernel, std::size_t width, bool masked);
};

// Rebuilds the frame's field, then runs the mask pass when there is a mask and its values were
// obtained. The pacer is asked before every rebuilt row and every mask-pass row. False when it
// stops the render or a row call fails; rows already written stay written.
bool RunRenderPass(const FieldFrame& frame, const RebuildMethod& method, RenderBuffers& buffers,
                   RowStore& store, RowPacer& pacer, const MaskInput* mask);

// The mask pass alone: every frame row is read with its mask row, each channel of each in-band
// pixel goes through the blend helper, and the row is written back. Mask values past the mask's
// width are 0 (out of the band). `frameRow` and `values` are frame width long.
bool RunMaskPass(const FieldFrame& frame, const MaskInput& mask, BMM_Color_64* frameRow,
                 uint16_t* values, RowStore& store, RowPacer& pacer);
