#include "rebuild/mask_pass.h"

#include <algorithm>

#include "rebuild/channels.h"

namespace {

void BlendRow(ImageFilter& filter, BMM_Color_64* pixels, const uint16_t* mask, int width) {
    for (int k = 0; k < width; ++k) {
        const uint16_t m = mask[k];
        if (!InMaskBand(m)) continue;
        for (auto c : kChannels) {
            const int value = pixels[k].*c;
            pixels[k].*c = static_cast<uint16_t>(filter.Lerp(value, value, static_cast<int>(m)));
        }
    }
}

}  // namespace

bool RunMaskPass(const MaskPassRows& rows, ProgressChannel& progress, int total) {
    const int width = rows.frame.Width();
    const int height = rows.frame.Height();
    const int maskWidth = std::min<int>(rows.mask.Width(), width);
    for (int j = 0; j < height; ++j) {
        if (!progress.Step(j, total)) return false;
        if (rows.frame.GetPixels(0, j, width, rows.frameRow) != 1) return false;
        if (rows.mask.Get16Gray(0, j, maskWidth, rows.maskRow) != 1) return false;
        BlendRow(rows.filter, rows.frameRow, rows.maskRow, width);
        if (rows.frame.PutPixels(0, j, width, rows.frameRow) != 1) return false;
    }
    return true;
}
