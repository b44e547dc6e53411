// AVX2 versions of the vector kernels. This file alone is compiled for AVX2 (and nothing that
// could fuse a multiply and an add); its functions run only where the processor has AVX2.

#include <immintrin.h>

#include <cstdint>

#include "rebuild/core/vector_kernels.h"

#include "rebuild/core/six_point_constants.h"

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

inline __m256 Float(__m256i v) {
    return _mm256_cvtepi32_ps(v);
}

// The 16-bit lanes of the low (Low) or high (High) pixel of each 128-bit half, widened to
// 32 bits: of the four pixels loaded from x, Low holds pixels x and x + 2, High x + 1 and x + 3.
inline __m256i Low(__m256i v) {
    return _mm256_unpacklo_epi16(v, _mm256_setzero_si256());
}
inline __m256i High(__m256i v) {
    return _mm256_unpackhi_epi16(v, _mm256_setzero_si256());
}

// The standard evaluation of interior pixels on eight 32-bit lanes: diagonal sum times
// sqrt(2), plus the pixel below, plus the pixel above, times the normaliser, truncated.
inline __m256i Interior(__m256i upLeft, __m256i upRight, __m256i downLeft, __m256i downRight,
                        __m256i below, __m256i above) {
    const __m256 diagonalFactor = _mm256_set1_ps(kDiagonalFactor);
    const __m256 normaliser = _mm256_set1_ps(kInteriorNormaliser);
    const __m256i sum =
        _mm256_add_epi32(_mm256_add_epi32(upLeft, upRight), _mm256_add_epi32(downLeft, downRight));
    __m256 t = _mm256_mul_ps(Float(sum), diagonalFactor);
    t = _mm256_add_ps(t, Float(below));
    t = _mm256_add_ps(t, Float(above));
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
    // Interior pixels 1 .. width - 2 in blocks of four, x .. x + 3, from two loads per row:
    // the pixels from x - 1 and from x + 1. Their low and high halves give every neighbour:
    // Low(from x - 1) = x - 1, x + 1; High(from x - 1) = x, x + 2; Low(from x + 1) = x + 1,
    // x + 3; High(from x + 1) = x + 2, x + 4. The in-lane pack of the results for x, x + 2
    // and for x + 1, x + 3 puts the four pixels back in order.
    std::size_t x = 1;
    for (; x + 4 < width; x += 4) {
        const __m256i upFromLeft = LoadFour(upper + x - 1), upFromRight = LoadFour(upper + x + 1);
        const __m256i downFromLeft = LoadFour(lower + x - 1),
                      downFromRight = LoadFour(lower + x + 1);
        const __m256i u0 = Low(upFromLeft), u1 = High(upFromLeft), u2 = Low(upFromRight),
                      u3 = High(upFromRight);
        const __m256i d0 = Low(downFromLeft), d1 = High(downFromLeft), d2 = Low(downFromRight),
                      d3 = High(downFromRight);
        const __m256i even = Interior(u0, u2, d0, d2, d1, u1);  // pixels x, x + 2
        const __m256i odd = Interior(u1, u3, d1, d3, d2, u2);   // pixels x + 1, x + 3
        StoreFour(output + x, _mm256_packus_epi32(even, odd));
    }
    // The row ends and the interior pixels left over after the last block.
    SixPointWeightedRowSse2From(upper, lower, output, width, x);
}
