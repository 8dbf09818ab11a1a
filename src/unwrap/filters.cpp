#include "unwrap/filters.h"

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace hv {

namespace {

inline uint32_t GrayPixel(uint32_t p) {
    const uint32_t g = ((p & 255) + ((p >> 8) & 255) + ((p >> 16) & 255) + 127) >> 2;
    return g * 0x01010101u;
}

inline uint32_t SoftenPixel(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    uint32_t r = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t sum = ((a >> shift) & 255) + ((b >> shift) & 255) + ((c >> shift) & 255) +
                             ((d >> shift) & 255);
        r |= (sum >> 2) << shift;
    }
    return r;
}

}  // namespace

void ApplyGrayscaleScalar(int32_t pixelCount, uint32_t* pixels) {
    for (int32_t n = 0; n < pixelCount; ++n) pixels[n] = GrayPixel(pixels[n]);
}

void ApplySoftenScalar(int32_t Wout, int32_t Hout, uint32_t* p) {
    const size_t W = static_cast<size_t>(Wout);
    const size_t count = W * static_cast<size_t>(Hout);
    for (size_t n = 0; n < count; ++n) p[n] = SoftenPixel(p[n], p[n + 1], p[n + W], p[n + W + 1]);
}

#if defined(__SSE2__)

void ApplyGrayscale(int32_t pixelCount, uint32_t* pixels) {
    const __m128i byteMask = _mm_set1_epi32(255);
    const __m128i round = _mm_set1_epi32(127);
    int32_t n = 0;
    for (; n + 4 <= pixelCount; n += 4) {
        auto* at = reinterpret_cast<__m128i*>(pixels + n);
        const __m128i p = _mm_loadu_si128(at);
        __m128i g = _mm_add_epi32(_mm_and_si128(p, byteMask),
                                  _mm_and_si128(_mm_srli_epi32(p, 8), byteMask));
        g = _mm_add_epi32(g, _mm_and_si128(_mm_srli_epi32(p, 16), byteMask));
        g = _mm_srli_epi32(_mm_add_epi32(g, round), 2);
        g = _mm_or_si128(g, _mm_slli_epi32(g, 8));
        g = _mm_or_si128(g, _mm_slli_epi32(g, 16));
        _mm_storeu_si128(at, g);
    }
    for (; n < pixelCount; ++n) pixels[n] = GrayPixel(pixels[n]);
}

void ApplySoften(int32_t Wout, int32_t Hout, uint32_t* p) {
    const size_t W = static_cast<size_t>(Wout);
    const size_t count = W * static_cast<size_t>(Hout);
    const __m128i zero = _mm_setzero_si128();
    size_t n = 0;
    // Every output reads only pixels at or after its own index, and each
    // block loads all its inputs before it stores, so the in-place pass sees
    // the unfiltered neighbours exactly as the pixel-by-pixel order does.
    for (; n + 4 <= count; n += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n + 1));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n + W));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n + W + 1));
        __m128i lo = _mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
        lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(c, zero));
        lo = _mm_srli_epi16(_mm_add_epi16(lo, _mm_unpacklo_epi8(d, zero)), 2);
        __m128i hi = _mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
        hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(c, zero));
        hi = _mm_srli_epi16(_mm_add_epi16(hi, _mm_unpackhi_epi8(d, zero)), 2);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + n), _mm_packus_epi16(lo, hi));
    }
    for (; n < count; ++n) p[n] = SoftenPixel(p[n], p[n + 1], p[n + W], p[n + W + 1]);
}

#else

void ApplyGrayscale(int32_t pixelCount, uint32_t* pixels) {
    ApplyGrayscaleScalar(pixelCount, pixels);
}
void ApplySoften(int32_t Wout, int32_t Hout, uint32_t* p) {
    ApplySoftenScalar(Wout, Hout, p);
}

#endif

}  // namespace hv
