// The row-pass kernel with AVX2, sixteen rows at once, for x86-64 processors that have it (chosen
// at run time). The same steps as the SSE2 kernel: 256-bit unpacks work on each 128-bit half
// alone, so rows 0 to 7 go through the low halves and rows 8 to 15 through the high halves, and a
// vector is one channel value of one pixel in all sixteen rows.
#include "render/row_means.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

#include <cstring>

namespace {

const uint32_t Rows = 16;

struct Scratch {
    // Sums[3 × i + c]: channel c summed over the segment's pixels before pixel i, in each row.
    __m256i Sums[3 + 3 * VectorSegmentPixels];
    __m256i Means[3 * VectorTileOutputs];
};

struct Divisors {
    __m256i Multiplier[LargestSmallDivisor + 1];
    __m128i Shift[LargestSmallDivisor + 1];
};

// Row r's 16 bytes from offset in the low half, row r + 8's in the high half; bytes at or past
// `readable` (counted from each row's start) read as zero.
__attribute__((target("avx2"))) __m256i LoadRowPair(const unsigned char* low, const unsigned char* high, size_t offset,
                                                    size_t lowReadable, size_t highReadable, bool whole) {
    if (whole) {
        return _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low + offset))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(high + offset)), 1);
    }
    alignas(32) unsigned char bytes[32] = {};
    if (offset < lowReadable) memcpy(bytes, low + offset, lowReadable - offset < 16 ? lowReadable - offset : 16);
    if (offset < highReadable)
        memcpy(bytes + 16, high + offset, highReadable - offset < 16 ? highReadable - offset : 16);
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(bytes));
}

__attribute__((target("avx2"))) void TransposeBytes(const __m256i in[8], __m256i out[8]) {
    const __m256i a0 = _mm256_unpacklo_epi8(in[0], in[1]), a1 = _mm256_unpackhi_epi8(in[0], in[1]);
    const __m256i a2 = _mm256_unpacklo_epi8(in[2], in[3]), a3 = _mm256_unpackhi_epi8(in[2], in[3]);
    const __m256i a4 = _mm256_unpacklo_epi8(in[4], in[5]), a5 = _mm256_unpackhi_epi8(in[4], in[5]);
    const __m256i a6 = _mm256_unpacklo_epi8(in[6], in[7]), a7 = _mm256_unpackhi_epi8(in[6], in[7]);
    const __m256i b0 = _mm256_unpacklo_epi16(a0, a2), b1 = _mm256_unpackhi_epi16(a0, a2);
    const __m256i b2 = _mm256_unpacklo_epi16(a1, a3), b3 = _mm256_unpackhi_epi16(a1, a3);
    const __m256i b4 = _mm256_unpacklo_epi16(a4, a6), b5 = _mm256_unpackhi_epi16(a4, a6);
    const __m256i b6 = _mm256_unpacklo_epi16(a5, a7), b7 = _mm256_unpackhi_epi16(a5, a7);
    out[0] = _mm256_unpacklo_epi32(b0, b4);
    out[1] = _mm256_unpackhi_epi32(b0, b4);
    out[2] = _mm256_unpacklo_epi32(b1, b5);
    out[3] = _mm256_unpackhi_epi32(b1, b5);
    out[4] = _mm256_unpacklo_epi32(b2, b6);
    out[5] = _mm256_unpackhi_epi32(b2, b6);
    out[6] = _mm256_unpacklo_epi32(b3, b7);
    out[7] = _mm256_unpackhi_epi32(b3, b7);
}

__attribute__((target("avx2"))) void AddPosition(__m256i& sum, __m256i bytes, __m256i* out) {
    sum = _mm256_add_epi16(sum, bytes);
    *out = sum;
}

// The prefix sums of pixels first to end − 1 of the sixteen rows (see the SSE2 kernel).
__attribute__((target("avx2"))) void SumSegment(const unsigned char* const rows[Rows], const size_t readable[Rows],
                                                uint32_t first, uint32_t end, Scratch& scratch) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i s0 = zero, s1 = zero, s2 = zero;
    scratch.Sums[0] = scratch.Sums[1] = scratch.Sums[2] = zero;
    __m256i* sums = scratch.Sums + 3;
    const size_t base = 3 * static_cast<size_t>(first);
    const uint32_t byteCount = 3 * (end - first);
    for (uint32_t at = 0; at < byteCount; at += 16, sums += 16) {
        __m256i in[8], b[8];
        const size_t offset = base + at;
        const uint32_t quarter = static_cast<uint32_t>(offset >> 4) & 3;
        for (uint32_t r = 4 * quarter; r < 4 * quarter + 4; ++r)
            _mm_prefetch(reinterpret_cast<const char*>(rows[r] + offset + VectorPrefetchBytes), _MM_HINT_T0);
        const bool whole = offset + 16 <= readable[Rows - 1];  // the last row has the fewest
        for (uint32_t r = 0; r < 8; ++r)
            in[r] = LoadRowPair(rows[r], rows[r + 8], offset, readable[r], readable[r + 8], whole);
        TransposeBytes(in, b);
        AddPosition(s0, _mm256_unpacklo_epi8(b[0], zero), sums + 0);
        AddPosition(s1, _mm256_unpackhi_epi8(b[0], zero), sums + 1);
        AddPosition(s2, _mm256_unpacklo_epi8(b[1], zero), sums + 2);
        AddPosition(s0, _mm256_unpackhi_epi8(b[1], zero), sums + 3);
        AddPosition(s1, _mm256_unpacklo_epi8(b[2], zero), sums + 4);
        AddPosition(s2, _mm256_unpackhi_epi8(b[2], zero), sums + 5);
        AddPosition(s0, _mm256_unpacklo_epi8(b[3], zero), sums + 6);
        AddPosition(s1, _mm256_unpackhi_epi8(b[3], zero), sums + 7);
        AddPosition(s2, _mm256_unpacklo_epi8(b[4], zero), sums + 8);
        AddPosition(s0, _mm256_unpackhi_epi8(b[4], zero), sums + 9);
        AddPosition(s1, _mm256_unpacklo_epi8(b[5], zero), sums + 10);
        AddPosition(s2, _mm256_unpackhi_epi8(b[5], zero), sums + 11);
        AddPosition(s0, _mm256_unpacklo_epi8(b[6], zero), sums + 12);
        AddPosition(s1, _mm256_unpackhi_epi8(b[6], zero), sums + 13);
        AddPosition(s2, _mm256_unpacklo_epi8(b[7], zero), sums + 14);
        AddPosition(s0, _mm256_unpackhi_epi8(b[7], zero), sums + 15);
        // The next group starts at position 16, which is 1 mod 3.
        const __m256i t = s0;
        s0 = s1;
        s1 = s2;
        s2 = t;
    }
}

__attribute__((target("avx2"))) void FillDivisors(const RowPass& pass, Divisors& divisors) {
    for (uint32_t length = 1; length <= pass.Runs.Longest; ++length) {
        const SmallDivisor d = pass.Divisors[length];
        divisors.Multiplier[length] = _mm256_set1_epi16(static_cast<short>(d.Multiplier));
        divisors.Shift[length] = _mm_cvtsi32_si128(d.Shift);
    }
}

__attribute__((target("avx2"))) __m256i Divide(__m256i sum, __m256i multiplier, __m128i shift) {
    return _mm256_srl_epi16(_mm256_mulhi_epu16(_mm256_add_epi16(sum, sum), multiplier), shift);
}

// Means[3k + c]: the mean of channel c of output j + k in each row (zero past the tile's count).
__attribute__((target("avx2"))) void TileMeans(const RowPass& pass, const Divisors& divisors, uint32_t j,
                                               uint32_t count, uint32_t first, Scratch& scratch) {
    uint32_t start = (j ? pass.Ends[j - 1] : 0) - first;
    const __m256i* startSums = scratch.Sums + 3 * start;
    __m256i* means = scratch.Means;
    for (uint32_t k = 0; k < count; ++k, means += 3) {
        const uint32_t end = pass.Ends[j + k] - first;
        const __m256i* endSums = scratch.Sums + 3 * end;
        const __m256i multiplier = divisors.Multiplier[end - start];
        const __m128i shift = divisors.Shift[end - start];
        means[0] = Divide(_mm256_sub_epi16(endSums[0], startSums[0]), multiplier, shift);
        means[1] = Divide(_mm256_sub_epi16(endSums[1], startSums[1]), multiplier, shift);
        means[2] = Divide(_mm256_sub_epi16(endSums[2], startSums[2]), multiplier, shift);
        start = end;
        startSums = endSums;
    }
    for (uint32_t k = count; k < VectorTileOutputs; ++k, means += 3)
        means[0] = means[1] = means[2] = _mm256_setzero_si256();
}

// As the SSE2 kernel's, in each half: out[i] holds rows 2i and 2i + 1 in its low half and rows
// 8 + 2i and 9 + 2i in its high half.
__attribute__((target("avx2"))) void TransposeMeans(const __m256i* p, __m256i out[4]) {
    const __m256i x0 = _mm256_packus_epi16(p[0], p[4]), x1 = _mm256_packus_epi16(p[1], p[5]);
    const __m256i x2 = _mm256_packus_epi16(p[2], p[6]), x3 = _mm256_packus_epi16(p[3], p[7]);
    const __m256i a = _mm256_unpacklo_epi8(x0, x1), b = _mm256_unpackhi_epi8(x0, x1);
    const __m256i c = _mm256_unpacklo_epi8(x2, x3), d = _mm256_unpackhi_epi8(x2, x3);
    const __m256i e = _mm256_unpacklo_epi16(a, c), f = _mm256_unpackhi_epi16(a, c);
    const __m256i g = _mm256_unpacklo_epi16(b, d), h = _mm256_unpackhi_epi16(b, d);
    out[0] = _mm256_unpacklo_epi32(e, g);
    out[1] = _mm256_unpackhi_epi32(e, g);
    out[2] = _mm256_unpacklo_epi32(f, h);
    out[3] = _mm256_unpackhi_epi32(f, h);
}

// Eight bytes of each of the four rows a transposed vector holds, in row order: 2i, 2i + 1,
// 8 + 2i, 9 + 2i.
__attribute__((target("avx2"))) void StoreRows(unsigned char* const rows[Rows], uint32_t i, size_t at, __m256i v) {
    const __m128i low = _mm256_castsi256_si128(v), high = _mm256_extracti128_si256(v, 1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(rows[2 * i] + at), low);
    _mm_storeh_pi(reinterpret_cast<__m64*>(rows[2 * i + 1] + at), _mm_castsi128_ps(low));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(rows[8 + 2 * i] + at), high);
    _mm_storeh_pi(reinterpret_cast<__m64*>(rows[9 + 2 * i] + at), _mm_castsi128_ps(high));
}

// The tile's 24 bytes in each row; everything they cover has been read (see the SSE2 kernel).
__attribute__((target("avx2"))) void StoreTile(unsigned char* const rows[Rows], uint32_t rowCount, uint32_t j,
                                               uint32_t count, const Scratch& scratch) {
    __m256i bytes[3][4];
    for (int octet = 0; octet < 3; ++octet) TransposeMeans(scratch.Means + 8 * octet, bytes[octet]);
    const size_t at = 3 * static_cast<size_t>(j);
    if (count == VectorTileOutputs && rowCount == Rows) {
        for (uint32_t octet = 0; octet < 3; ++octet) {
            for (uint32_t i = 0; i < 4; ++i) StoreRows(rows, i, at + 8 * octet, bytes[octet][i]);
        }
        return;
    }
    // Fewer outputs or rows: the bytes past them may still be unread pixels.
    alignas(16) unsigned char tile[Rows][24];
    unsigned char* tileRows[Rows];
    for (uint32_t r = 0; r < Rows; ++r) tileRows[r] = tile[r];
    for (uint32_t octet = 0; octet < 3; ++octet) {
        for (uint32_t i = 0; i < 4; ++i) StoreRows(tileRows, i, 8 * octet, bytes[octet][i]);
    }
    for (uint32_t r = 0; r < rowCount; ++r) memcpy(rows[r] + at, tile[r], 3 * count);
}

}  // namespace

bool HaveAvx2RowMeans() { return __builtin_cpu_supports("avx2"); }

__attribute__((target("avx2"))) void RowMeansAvx2(const RowBlock& block, const RowPass& pass) {
    Scratch scratch;
    Divisors divisors;
    FillDivisors(pass, divisors);
    unsigned char* rows[Rows];
    size_t readable[Rows];
    VectorRows(block, Rows, rows, readable);
    for (uint32_t j0 = 0; j0 < pass.Runs.Closed;) {
        const uint32_t j1 = VectorSegmentEnd(pass, j0);
        const uint32_t first = j0 ? pass.Ends[j0 - 1] : 0;
        SumSegment(rows, readable, first, pass.Ends[j1 - 1], scratch);
        for (uint32_t j = j0; j < j1; j += VectorTileOutputs) {
            const uint32_t count = j1 - j < VectorTileOutputs ? j1 - j : VectorTileOutputs;
            TileMeans(pass, divisors, j, count, first, scratch);
            StoreTile(rows, block.RowCount, j, count, scratch);
        }
        j0 = j1;
    }
}

#else

bool HaveAvx2RowMeans() { return false; }

void RowMeansAvx2(const RowBlock& block, const RowPass& pass) { RowMeansSse2(block, pass); }

#endif
