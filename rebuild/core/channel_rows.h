#pragma once

#include <cstddef>
#include <cstdint>

// Whole rows of channels between 8 and 16 bits, each equal for every value to To16Bit and To8Bit
// (channel_depth.h). Reached through RowKernelsFor, which picks them by processor level; the
// vector ones leave the tail of a row to the plain ones.
void WidenRow(const uint8_t* from, uint16_t* into, std::size_t count);
void NarrowRow(const uint16_t* from, uint8_t* into, std::size_t count);
void WidenRowSse2(const uint8_t* from, uint16_t* into, std::size_t count);
void NarrowRowSse2(const uint16_t* from, uint8_t* into, std::size_t count);
// AVX2: call only where the processor has it.
void WidenRowAvx2(const uint8_t* from, uint16_t* into, std::size_t count);
void NarrowRowAvx2(const uint16_t* from, uint8_t* into, std::size_t count);
