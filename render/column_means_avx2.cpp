// The column-pass kernel with AVX2 (x86-64 builds, chosen at run time): 32 bytes of the output row
// at a time. Unpacking and packing both work on each 128-bit half alone, so the bytes come back in
// their order.
#include "render/column_means.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

bool HaveAvx2ColumnMeans() { return __builtin_cpu_supports("avx2"); }

__attribute__((target("avx2"))) void ColumnMeansAvx2(const RowRun& run, size_t byteCount, SmallDivisor divisor,
                                                     unsigned char* out) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i multiplier = _mm256_set1_epi16(static_cast<short>(divisor.Multiplier));
    const __m128i shift = _mm_cvtsi32_si128(divisor.Shift);
    size_t x = 0;
    for (; x + 32 <= byteCount; x += 32) {
        __m256i low = zero, high = zero;
        const unsigned char* p = run.FirstRow + x;
        for (uint32_t r = 0; r < run.RowCount; ++r, p += run.Stride) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            low = _mm256_add_epi16(low, _mm256_unpacklo_epi8(v, zero));
            high = _mm256_add_epi16(high, _mm256_unpackhi_epi8(v, zero));
        }
        low = _mm256_srl_epi16(_mm256_mulhi_epu16(_mm256_add_epi16(low, low), multiplier), shift);
        high = _mm256_srl_epi16(_mm256_mulhi_epu16(_mm256_add_epi16(high, high), multiplier), shift);
        // Under these 32 bytes only bytes up to x + 31 of the first row lie, all read.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_packus_epi16(low, high));
    }
    ColumnMeansSse2({run.FirstRow + x, run.Stride, run.RowCount}, byteCount - x, divisor, out + x);
}

#else

bool HaveAvx2ColumnMeans() { return false; }

void ColumnMeansAvx2(const RowRun& run, size_t byteCount, SmallDivisor divisor, unsigned char* out) {
    ColumnMeansSse2(run, byteCount, divisor, out);
}

#endif
