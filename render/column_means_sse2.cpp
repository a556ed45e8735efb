// The column-pass kernel with SSE2: 16 bytes of the output row at a time, summed down the run in
// 16-bit lanes and divided by multiplication.
#include "render/column_means.h"

#ifdef __SSE2__

#include <emmintrin.h>

bool HaveSse2ColumnMeans() { return true; }

void ColumnMeansSse2(const RowRun& run, size_t byteCount, SmallDivisor divisor, unsigned char* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i multiplier = _mm_set1_epi16(static_cast<short>(divisor.Multiplier));
    const __m128i shift = _mm_cvtsi32_si128(divisor.Shift);
    size_t x = 0;
    for (; x + 16 <= byteCount; x += 16) {
        __m128i low = zero, high = zero;
        const unsigned char* p = run.FirstRow + x;
        for (uint32_t r = 0; r < run.RowCount; ++r, p += run.Stride) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            low = _mm_add_epi16(low, _mm_unpacklo_epi8(v, zero));
            high = _mm_add_epi16(high, _mm_unpackhi_epi8(v, zero));
        }
        low = _mm_srl_epi16(_mm_mulhi_epu16(_mm_add_epi16(low, low), multiplier), shift);
        high = _mm_srl_epi16(_mm_mulhi_epu16(_mm_add_epi16(high, high), multiplier), shift);
        // Under these 16 bytes only bytes up to x + 15 of the first row lie, all read.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(low, high));
    }
    ColumnMeansPortable(run, x, byteCount, out);
}

#else

bool HaveSse2ColumnMeans() { return false; }

void ColumnMeansSse2(const RowRun& run, size_t byteCount, SmallDivisor, unsigned char* out) {
    ColumnMeansPortable(run, 0, byteCount, out);
}

#endif
