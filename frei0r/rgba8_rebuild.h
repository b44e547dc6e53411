#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "rebuild/field_rules.h"

// Rebuilds 8-bit RGBA frames held in memory (four bytes a pixel, R, G, B, A, rows packed) with
// the plug-in's rules and kernels. Each channel is widened exactly to 16 bits (v x 257) as a row
// is read and narrowed to the nearest 8-bit value as a rebuilt row is written, so a frame comes
// out as the plug-in makes the widened frame, rounded to 8 bits. Everything a frame needs is
// obtained when the object is made; a frame allocates nothing.
class Rgba8Rebuild {
  public:
    // Null when the memory for a frame of this size cannot be had.
    static std::unique_ptr<Rgba8Rebuild> Create(unsigned width, unsigned height);

    // The rebuilt frame of `in` into `out`; both hold width x height pixels. They may be the same
    // frame, but must not otherwise overlap.
    void Run(RebuildKernel kernel, int32_t field, const uint8_t* in, uint8_t* out);

    unsigned Width() const { return width_; }
    unsigned Height() const { return height_; }

  private:
    Rgba8Rebuild(unsigned width, unsigned height, RebuildRows rows);

    unsigned width_;
    unsigned height_;
    RebuildRows rows_;
    std::vector<uint8_t> rowWritten_;  // one flag a row: did the rebuild write it
};

// The nearest 8-bit value of a 16-bit channel value: (v x 255 + 32767) / 65535.
inline uint8_t NarrowChannel(uint16_t v) {
    return static_cast<uint8_t>((v * 255u + 32767u) / 65535u);
}
