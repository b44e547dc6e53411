#pragma once

#include <cstddef>
#include <cstdint>

// The vector channel conversions; the tails of a row go through the plain ones.
void WidenRowSse2(const uint8_t* from, uint16_t* into, std::size_t count);
void NarrowRowSse2(const uint16_t* from, uint8_t* into, std::size_t count);
// AVX2: call only where the processor has it.
void WidenRowAvx2(const uint8_t* from, uint16_t* into, std::size_t count);
void NarrowRowAvx2(const uint16_t* from, uint8_t* into, std::size_t count);
