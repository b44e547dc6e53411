// Built with AVX2 enabled; reached only through RowKernelsFor on processors that have it.
#include <immintrin.h>

#include "rebuild/core/channel_rows.h"

namespace {

constexpr std::size_t kAvx2Step = 32;

// As NarrowEightSse2, sixteen channels at once.
__m256i NarrowSixteen(__m256i v) {
    const __m256i t = _mm256_adds_epu16(v, _mm256_set1_epi16(128));
    return _mm256_srli_epi16(_mm256_sub_epi16(t, _mm256_srli_epi16(t, 8)), 8);
}

}  // namespace

void WidenRowAvx2(const uint8_t* from, uint16_t* into, std::size_t count) {
    std::size_t i = 0;
    for (; i + kAvx2Step <= count; i += kAvx2Step) {
        for (std::size_t half = 0; half < kAvx2Step; half += 16) {
            const __m256i v = _mm256_cvtepu8_epi16(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + half)));
            // v x 257 is v with a copy of itself in the high byte.
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(into + i + half),
                                _mm256_or_si256(v, _mm256_slli_epi16(v, 8)));
        }
    }
    WidenRowSse2(from + i, into + i, count - i);
}

void NarrowRowAvx2(const uint16_t* from, uint8_t* into, std::size_t count) {
    std::size_t i = 0;
    for (; i + kAvx2Step <= count; i += kAvx2Step) {
        const __m256i low =
            NarrowSixteen(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i)));
        const __m256i high =
            NarrowSixteen(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i + 16)));
        // The pack works within 128-bit lanes; the permute puts the four quarters in order.
        const __m256i packed = _mm256_packus_epi16(low, high);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(into + i),
                            _mm256_permute4x64_epi64(packed, 0xD8));
    }
    NarrowRowSse2(from + i, into + i, count - i);
}
