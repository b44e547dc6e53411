#include "rebuild/core/channel_rows.h"

#include <emmintrin.h>

#include "rebuild/core/channel_depth.h"

void WidenRow(const uint8_t* from, uint16_t* into, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) into[i] = To16Bit(from[i]);
}

void NarrowRow(const uint16_t* from, uint8_t* into, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) into[i] = To8Bit(from[i]);
}

namespace {

constexpr std::size_t kSse2Step = 16;

}  // namespace

void WidenRowSse2(const uint8_t* from, uint16_t* into, std::size_t count) {
    std::size_t i = 0;
    for (; i + kSse2Step <= count; i += kSse2Step) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        // A byte paired with itself is the byte times 257.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(into + i), _mm_unpacklo_epi8(bytes, bytes));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(into + i + 8), _mm_unpackhi_epi8(bytes, bytes));
    }
    WidenRow(from + i, into + i, count - i);
}

// Eight channels at once, without a division: with t = min(v + 128, 65535),
// (t - t / 256) / 256 equals (v x 255 + 32767) / 65535 for every 16-bit v.
static __m128i NarrowEightSse2(__m128i v) {
    const __m128i t = _mm_adds_epu16(v, _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_sub_epi16(t, _mm_srli_epi16(t, 8)), 8);
}

void NarrowRowSse2(const uint16_t* from, uint8_t* into, std::size_t count) {
    std::size_t i = 0;
    for (; i + kSse2Step <= count; i += kSse2Step) {
        const __m128i low =
            NarrowEightSse2(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
        const __m128i high =
            NarrowEightSse2(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + 8)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(into + i), _mm_packus_epi16(low, high));
    }
    NarrowRow(from + i, into + i, count - i);
}
