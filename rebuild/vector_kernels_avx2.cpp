// AVX2 versions of the vector kernels. This file alone is compiled for AVX2 (and nothing that
// could fuse a multiply and an add); its functions run only where the processor has AVX2.

#include <immintrin.h>

#include <bit>
#include <cstdint>

#include "rebuild/vector_kernels.h"

namespace {

inline __m256i LoadFour(const BMM_Color_64* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
inline void StoreFour(BMM_Color_64* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// (a + b) >> 1 per 16-bit lane: the rounding-up average less the bit lost by the shift.
inline __m256i FloorMean(__m256i a, __m256i b) {
    const __m256i one = _mm256_set1_epi16(1);
    return _mm256_sub_epi16(_mm256_avg_epu16(a, b), _mm256_and_si256(_mm256_xor_si256(a, b), one));
}

// Two pixels' channels widened to eight 32-bit lanes.
inline __m256i Widen(const BMM_Color_64* p) {
    return _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}
inline __m256 Float(__m256i v) {
    return _mm256_cvtepi32_ps(v);
}

// The standard evaluation of interior pixels x and x + 1, on eight 32-bit lanes.
inline __m256i InteriorPair(const BMM_Color_64* up, const BMM_Color_64* down, std::size_t x) {
    const __m256 diagonalFactor = _mm256_set1_ps(std::bit_cast<float>(0x3FB504F3u));
    const __m256 normaliser = _mm256_set1_ps(std::bit_cast<float>(0x3E05BC84u));
    const __m256i sum =
        _mm256_add_epi32(_mm256_add_epi32(Widen(up + x - 1), Widen(up + x + 1)),
                         _mm256_add_epi32(Widen(down + x - 1), Widen(down + x + 1)));
    __m256 t = _mm256_mul_ps(Float(sum), diagonalFactor);
    t = _mm256_add_ps(t, Float(Widen(down + x)));
    t = _mm256_add_ps(t, Float(Widen(up + x)));
    t = _mm256_mul_ps(t, normaliser);
    return _mm256_cvttps_epi32(t);
}

}  // namespace

void TwoPointMeanRowAvx2(const BMM_Color_64* upper, BMM_Color_64* lower, std::size_t width) {
    std::size_t x = 0;
    for (; x + 4 <= width; x += 4)
        StoreFour(lower + x, FloorMean(LoadFour(lower + x), LoadFour(upper + x)));
    if (x < width) TwoPointMeanRowSse2(upper + x, lower + x, width - x);
}

void SixPointWeightedRowAvx2(const BMM_Color_64* upper, const BMM_Color_64* lower,
                             BMM_Color_64* output, std::size_t width) {
    if (width < 2) {
        SixPointWeightedRowSse2(upper, lower, output, width);
        return;
    }
    // Interior pixels 1 .. width - 2 in blocks of four; each block reads pixels x - 1 .. x + 4.
    std::size_t x = 1;
    for (; x + 4 < width; x += 4) {
        const __m256i low = InteriorPair(upper, lower, x);
        const __m256i high = InteriorPair(upper, lower, x + 2);
        // The in-lane pack interleaves the halves of both pairs; the permute puts the four
        // pixels back in order.
        StoreFour(output + x, _mm256_permute4x64_epi64(_mm256_packus_epi32(low, high), 0xD8));
    }
    // The row ends and the interior pixels left over after the last block.
    SixPointWeightedRowSse2From(upper, lower, output, width, x);
}
