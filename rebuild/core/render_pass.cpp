#include "rebuild/core/render_pass.h"

#include <emmintrin.h>

#include <algorithm>

#include "rebuild/core/channels.h"
#include "rebuild/core/mask_band.h"

namespace {

// True when none of the eight mask values at `mask` lies in the band: (m - 1) modulo 65536 is
// above 65528 for every one of them.
bool EightOutOfBand(const uint16_t* mask) {
    const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask));
    const __m128i shifted = _mm_sub_epi16(values, _mm_set1_epi16(1));
    const __m128i aboveBand = _mm_subs_epu16(shifted, _mm_set1_epi16(static_cast<short>(65528)));
    return _mm_movemask_epi8(_mm_cmpeq_epi16(aboveBand, _mm_setzero_si128())) == 0;
}

// Each in-band pixel's channels go through the host's blend helper with the channel value as
// both endpoints and the mask value as the weight. The frame before the rebuild is kept nowhere
// (the row was just rewritten), so there is no second picture to blend towards: the host's Lerp
// decides what a masked pixel becomes, and with a plain linear blend it stays as it is. These
// exact calls are the filter's defined behaviour, which hosts and stored work rely on.
void BlendRow(BlendHelper& blend, BMM_Color_64* pixels, const uint16_t* mask, int width) {
    for (int k = 0; k < width; ++k) {
        // Runs of pixels outside the band (unmasked areas) are passed over eight at a time.
        while (k + 8 <= width && EightOutOfBand(mask + k)) k += 8;
        if (k == width) break;
        const uint16_t m = mask[k];
        if (!InMaskBand(m)) continue;
        for (auto c : kChannels) {
            const int value = pixels[k].*c;
            pixels[k].*c = static_cast<uint16_t>(blend.Lerp(value, value, static_cast<int>(m)));
        }
    }
}

}  // namespace

bool RenderBuffers::Obtain(Kernel kernel, std::size_t width, bool masked) {
    if (!rows.Obtain(kernel, width)) return false;
    if (masked) maskValues = RowBuffer<uint16_t>::Obtain(width);
    return true;
}

bool RunMaskPass(const FieldFrame& frame, const MaskInput& mask, BMM_Color_64* frameRow,
                 uint16_t* values, RowStore& store, RowPacer& pacer) {
    const int maskWidth = std::max(0, std::min(mask.rows.Width(), frame.width));
    std::fill(values + maskWidth, values + frame.width, uint16_t{0});
    const int total = ProgressTotal(frame.height);
    for (int j = 0; j < frame.height; ++j) {
        if (!pacer.Continue(j, total)) return false;
        if (!store.ReadRow(j, frameRow)) return false;
        if (!mask.rows.ReadRow(j, maskWidth, values)) return false;
        BlendRow(mask.blend, frameRow, values, frame.width);
        if (!store.WriteRow(j, frameRow)) return false;
    }
    return true;
}

bool RunRenderPass(const FieldFrame& frame, const RebuildMethod& method, RenderBuffers& buffers,
                   RowStore& store, RowPacer& pacer, const MaskInput* mask) {
    if (!RebuildField(frame, method, buffers.rows, store, pacer)) return false;
    if (mask == nullptr || !buffers.maskValues) return true;
    return RunMaskPass(frame, *mask, buffers.rows.lower.data(), buffers.maskValues.data(), store,
                       pacer);
}
