#include "rebuild/core/vector_kernels.h"

#include <emmintrin.h>

#include <cstdint>

#include "rebuild/core/channels.h"
#include "rebuild/core/six_point_constants.h"

// Pixels are four 16-bit lanes, so one 128-bit register holds two pixels and one 64-bit half
// holds one. Neighbouring pixels of the same channel lie four lanes apart, which makes every
// channel's arithmetic the same lane-wise operation on shifted loads.

namespace {

inline __m128i LoadTwo(const BMM_Color_64* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline __m128i LoadOne(const BMM_Color_64* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}
inline void StoreTwo(BMM_Color_64* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
inline void StoreOne(BMM_Color_64* p, __m128i v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
}

// (a + b) >> 1 per 16-bit lane: the rounding-up average less the bit lost by the shift.
inline __m128i FloorMean(__m128i a, __m128i b) {
    const __m128i one = _mm_set1_epi16(1);
    return _mm_sub_epi16(_mm_avg_epu16(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
}

}  // namespace

void TwoPointMeanRowSse2(const BMM_Color_64* upper, BMM_Color_64* lower, std::size_t width) {
    std::size_t x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m128i a = FloorMean(LoadTwo(lower + x), LoadTwo(upper + x));
        const __m128i b = FloorMean(LoadTwo(lower + x + 2), LoadTwo(upper + x + 2));
        StoreTwo(lower + x, a);
        StoreTwo(lower + x + 2, b);
    }
    for (; x + 2 <= width; x += 2)
        StoreTwo(lower + x, FloorMean(LoadTwo(lower + x), LoadTwo(upper + x)));
    if (x < width) StoreOne(lower + x, FloorMean(LoadOne(lower + x), LoadOne(upper + x)));
}

namespace {

const __m128 kDiagonal = _mm_set1_ps(kDiagonalFactor);
const __m128 kEdge = _mm_set1_ps(kEdgeNormaliser);
const __m128 kEdgeDiagonal = _mm_set1_ps(kEdgeDiagonalWeight);
const __m128 kInterior = _mm_set1_ps(kInteriorNormaliser);

inline __m128i Low32(__m128i v) {
    return _mm_unpacklo_epi16(v, _mm_setzero_si128());
}
inline __m128i High32(__m128i v) {
    return _mm_unpackhi_epi16(v, _mm_setzero_si128());
}
inline __m128 Float(__m128i v) {
    return _mm_cvtepi32_ps(v);
}

// The standard evaluation on four 32-bit lanes: diagonal sum times sqrt(2), plus the pixel
// below, plus the pixel above, times the normaliser, each step rounded to single precision,
// then truncated toward zero.
inline __m128i Standard(__m128i diagonalSum, __m128i below, __m128i above, __m128 normaliser) {
    __m128 t = _mm_mul_ps(Float(diagonalSum), kDiagonal);
    t = _mm_add_ps(t, Float(below));
    t = _mm_add_ps(t, Float(above));
    t = _mm_mul_ps(t, normaliser);
    return _mm_cvttps_epi32(t);
}

// Eight 32-bit lanes holding 0..65535 narrowed to 16 bits. SSE2 packs with signed saturation
// only, so the values are moved into the signed range and back.
inline __m128i Narrow(__m128i low, __m128i high) {
    const __m128i bias32 = _mm_set1_epi32(0x8000);
    const __m128i bias16 = _mm_set1_epi16(static_cast<short>(0x8000));
    return _mm_xor_si128(_mm_packs_epi32(_mm_sub_epi32(low, bias32), _mm_sub_epi32(high, bias32)),
                         bias16);
}

// A first or last pixel: the pixel above and below it, and their neighbours on the one side.
inline __m128i EdgePixel(const BMM_Color_64* up, const BMM_Color_64* down,
                         const BMM_Color_64* upSide, const BMM_Color_64* downSide) {
    const __m128i u = Low32(LoadOne(up));
    const __m128i d = Low32(LoadOne(down));
    const __m128i us = Low32(LoadOne(upSide));
    const __m128i ds = Low32(LoadOne(downSide));
    return Standard(_mm_add_epi32(us, ds), d, u, kEdge);
}

// The first pixel, whose red channel weighs the vertical and the diagonal pair separately.
inline __m128i FirstPixel(const BMM_Color_64* upper, const BMM_Color_64* lower) {
    const __m128i standard = EdgePixel(upper, lower, upper + 1, lower + 1);
    const __m128i u = Low32(LoadOne(upper));
    const __m128i d = Low32(LoadOne(lower));
    const __m128i u1 = Low32(LoadOne(upper + 1));
    const __m128i d1 = Low32(LoadOne(lower + 1));
    const __m128 vertical = _mm_mul_ps(Float(_mm_add_epi32(d, u)), kEdge);
    const __m128 diagonal = _mm_mul_ps(Float(_mm_add_epi32(u1, d1)), kEdgeDiagonal);
    const __m128i split = _mm_cvttps_epi32(_mm_add_ps(vertical, diagonal));
    const __m128i redLane = _mm_set_epi32(0, 0, 0, -1);
    return _mm_or_si128(_mm_and_si128(redLane, split), _mm_andnot_si128(redLane, standard));
}

// Interior pixels x and x + 1 (both at most width - 2), from two loads per row: the pixels
// from x - 1 (low half x - 1, high half x) and from x + 1 (low x + 1, high x + 2).
inline __m128i InteriorPair(const BMM_Color_64* up, const BMM_Color_64* down, std::size_t x) {
    const __m128i upFromLeft = LoadTwo(up + x - 1), upFromRight = LoadTwo(up + x + 1);
    const __m128i downFromLeft = LoadTwo(down + x - 1), downFromRight = LoadTwo(down + x + 1);
    const __m128i u0 = Low32(upFromLeft), u1 = High32(upFromLeft), u2 = Low32(upFromRight),
                  u3 = High32(upFromRight);
    const __m128i d0 = Low32(downFromLeft), d1 = High32(downFromLeft), d2 = Low32(downFromRight),
                  d3 = High32(downFromRight);
    const __m128i sumX = _mm_add_epi32(_mm_add_epi32(u0, u2), _mm_add_epi32(d0, d2));
    const __m128i sumNext = _mm_add_epi32(_mm_add_epi32(u1, u3), _mm_add_epi32(d1, d3));
    return Narrow(Standard(sumX, d1, u1, kInterior), Standard(sumNext, d2, u2, kInterior));
}

// Interior pixel x alone.
inline __m128i InteriorOne(const BMM_Color_64* up, const BMM_Color_64* down, std::size_t x) {
    const __m128i sum =
        _mm_add_epi32(_mm_add_epi32(Low32(LoadOne(up + x - 1)), Low32(LoadOne(up + x + 1))),
                      _mm_add_epi32(Low32(LoadOne(down + x - 1)), Low32(LoadOne(down + x + 1))));
    const __m128i result =
        Standard(sum, Low32(LoadOne(down + x)), Low32(LoadOne(up + x)), kInterior);
    return Narrow(result, result);
}

}  // namespace

void SixPointWeightedRowSse2(const BMM_Color_64* upper, const BMM_Color_64* lower,
                             BMM_Color_64* output, std::size_t width) {
    if (width == 0) return;
    if (width == 1) {
        for (auto c : kChannels) output[0].*c = ChannelMean(upper[0].*c, lower[0].*c);
        return;
    }
    SixPointWeightedRowSse2From(upper, lower, output, width, 1);
}

void SixPointWeightedRowSse2From(const BMM_Color_64* upper, const BMM_Color_64* lower,
                                 BMM_Color_64* output, std::size_t width, std::size_t x) {
    const __m128i first = FirstPixel(upper, lower);
    StoreOne(output, Narrow(first, first));
    for (; x + 2 < width; x += 2) StoreTwo(output + x, InteriorPair(upper, lower, x));
    if (x + 1 < width) StoreOne(output + x, InteriorOne(upper, lower, x));
    const std::size_t last = width - 1;
    const __m128i end = EdgePixel(upper + last, lower + last, upper + last - 1, lower + last - 1);
    StoreOne(output + last, Narrow(end, end));
}
