// The row-pass kernel with SSE2, eight rows at once. The rows are transposed byte by byte so that
// each 16-bit lane holds one row: a vector is one channel value of one pixel in all eight rows.
// Running sums along the rows then give every run's sums as the difference of two prefix sums
// (exact modulo 2^16, as no run sums to more), with no loop over a run's pixels; the means are
// transposed back and stored 24 bytes (eight outputs) a row at a time.
#include "render/row_means.h"

#ifdef __SSE2__

#include <emmintrin.h>

#include <cstring>

namespace {

struct Scratch {
    // Sums[3 × i + c]: channel c summed over the segment's pixels before pixel i, in each row.
    __m128i Sums[3 + 3 * VectorSegmentPixels];
    __m128i Means[3 * VectorTileOutputs];
};

__m128i Load16(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// The bytes before `readable`; the rest zero.
__m128i LoadPartial(const unsigned char* p, size_t readable) {
    alignas(16) unsigned char bytes[16] = {};
    memcpy(bytes, p, readable < 16 ? readable : 16);
    return _mm_load_si128(reinterpret_cast<const __m128i*>(bytes));
}

// Byte t of rows 0..7 (in) lands in lane t of out[t / 2] for even t, lane t of the high half for
// odd t: out[i] holds bytes 2i and 2i + 1 of all eight rows, row 0 first.
void TransposeBytes(const __m128i in[8], __m128i out[8]) {
    const __m128i a0 = _mm_unpacklo_epi8(in[0], in[1]), a1 = _mm_unpackhi_epi8(in[0], in[1]);
    const __m128i a2 = _mm_unpacklo_epi8(in[2], in[3]), a3 = _mm_unpackhi_epi8(in[2], in[3]);
    const __m128i a4 = _mm_unpacklo_epi8(in[4], in[5]), a5 = _mm_unpackhi_epi8(in[4], in[5]);
    const __m128i a6 = _mm_unpacklo_epi8(in[6], in[7]), a7 = _mm_unpackhi_epi8(in[6], in[7]);
    const __m128i b0 = _mm_unpacklo_epi16(a0, a2), b1 = _mm_unpackhi_epi16(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi16(a1, a3), b3 = _mm_unpackhi_epi16(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi16(a4, a6), b5 = _mm_unpackhi_epi16(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi16(a5, a7), b7 = _mm_unpackhi_epi16(a5, a7);
    out[0] = _mm_unpacklo_epi32(b0, b4);
    out[1] = _mm_unpackhi_epi32(b0, b4);
    out[2] = _mm_unpacklo_epi32(b1, b5);
    out[3] = _mm_unpackhi_epi32(b1, b5);
    out[4] = _mm_unpacklo_epi32(b2, b6);
    out[5] = _mm_unpackhi_epi32(b2, b6);
    out[6] = _mm_unpacklo_epi32(b3, b7);
    out[7] = _mm_unpackhi_epi32(b3, b7);
}

// Adds the widened bytes of one position to its channel's running sum and keeps the result.
void AddPosition(__m128i& sum, __m128i bytes, __m128i* out) {
    sum = _mm_add_epi16(sum, bytes);
    *out = sum;
}

// Fills the prefix sums of pixels first to end − 1 of the eight rows (16-byte groups, so up to 15
// bytes past the segment are summed too, and never used).
void SumSegment(const unsigned char* const rows[8], const size_t readable[8], uint32_t first, uint32_t end,
                Scratch& scratch) {
    const __m128i zero = _mm_setzero_si128();
    // The running sums of the channels at a group's positions 0, 1 and 2 (mod 3).
    __m128i s0 = zero, s1 = zero, s2 = zero;
    scratch.Sums[0] = scratch.Sums[1] = scratch.Sums[2] = zero;
    __m128i* sums = scratch.Sums + 3;
    const size_t base = 3 * static_cast<size_t>(first);
    const uint32_t byteCount = 3 * (end - first);
    for (uint32_t at = 0; at < byteCount; at += 16, sums += 16) {
        __m128i in[8], b[8];
        const size_t offset = base + at;
        const uint32_t quarter = static_cast<uint32_t>(offset >> 4) & 3;
        for (uint32_t r = 2 * quarter; r < 2 * quarter + 2; ++r)
            _mm_prefetch(reinterpret_cast<const char*>(rows[r] + offset + VectorPrefetchBytes), _MM_HINT_T0);
        if (offset + 16 <= readable[7]) {  // the last row has the fewest bytes after it
            in[0] = Load16(rows[0] + offset);
            in[1] = Load16(rows[1] + offset);
            in[2] = Load16(rows[2] + offset);
            in[3] = Load16(rows[3] + offset);
            in[4] = Load16(rows[4] + offset);
            in[5] = Load16(rows[5] + offset);
            in[6] = Load16(rows[6] + offset);
            in[7] = Load16(rows[7] + offset);
        } else {
            for (int r = 0; r < 8; ++r)
                in[r] = LoadPartial(rows[r] + offset, offset < readable[r] ? readable[r] - offset : 0);
        }
        TransposeBytes(in, b);
        AddPosition(s0, _mm_unpacklo_epi8(b[0], zero), sums + 0);
        AddPosition(s1, _mm_unpackhi_epi8(b[0], zero), sums + 1);
        AddPosition(s2, _mm_unpacklo_epi8(b[1], zero), sums + 2);
        AddPosition(s0, _mm_unpackhi_epi8(b[1], zero), sums + 3);
        AddPosition(s1, _mm_unpacklo_epi8(b[2], zero), sums + 4);
        AddPosition(s2, _mm_unpackhi_epi8(b[2], zero), sums + 5);
        AddPosition(s0, _mm_unpacklo_epi8(b[3], zero), sums + 6);
        AddPosition(s1, _mm_unpackhi_epi8(b[3], zero), sums + 7);
        AddPosition(s2, _mm_unpacklo_epi8(b[4], zero), sums + 8);
        AddPosition(s0, _mm_unpackhi_epi8(b[4], zero), sums + 9);
        AddPosition(s1, _mm_unpacklo_epi8(b[5], zero), sums + 10);
        AddPosition(s2, _mm_unpackhi_epi8(b[5], zero), sums + 11);
        AddPosition(s0, _mm_unpacklo_epi8(b[6], zero), sums + 12);
        AddPosition(s1, _mm_unpackhi_epi8(b[6], zero), sums + 13);
        AddPosition(s2, _mm_unpacklo_epi8(b[7], zero), sums + 14);
        AddPosition(s0, _mm_unpackhi_epi8(b[7], zero), sums + 15);
        // The next group starts at position 16, which is 1 mod 3.
        const __m128i t = s0;
        s0 = s1;
        s1 = s2;
        s2 = t;
    }
}

// Division by each run length up to the longest, as vectors.
struct Divisors {
    __m128i Multiplier[LargestSmallDivisor + 1];
    __m128i Shift[LargestSmallDivisor + 1];
};

void FillDivisors(const RowPass& pass, Divisors& divisors) {
    for (uint32_t length = 1; length <= pass.Runs.Longest; ++length) {
        const SmallDivisor d = pass.Divisors[length];
        divisors.Multiplier[length] = _mm_set1_epi16(static_cast<short>(d.Multiplier));
        divisors.Shift[length] = _mm_cvtsi32_si128(d.Shift);
    }
}

// Means[3k + c]: the mean of channel c of output j + k in each row (zero past the tile's count).
void TileMeans(const RowPass& pass, const Divisors& divisors, uint32_t j, uint32_t count, uint32_t first,
               Scratch& scratch) {
    uint32_t start = (j ? pass.Ends[j - 1] : 0) - first;
    const __m128i* startSums = scratch.Sums + 3 * start;
    __m128i* means = scratch.Means;
    for (uint32_t k = 0; k < count; ++k, means += 3) {
        const uint32_t end = pass.Ends[j + k] - first;
        const __m128i* endSums = scratch.Sums + 3 * end;
        const __m128i multiplier = divisors.Multiplier[end - start];
        const __m128i shift = divisors.Shift[end - start];
        const __m128i blue = _mm_sub_epi16(endSums[0], startSums[0]);
        const __m128i green = _mm_sub_epi16(endSums[1], startSums[1]);
        const __m128i red = _mm_sub_epi16(endSums[2], startSums[2]);
        means[0] = _mm_srl_epi16(_mm_mulhi_epu16(_mm_add_epi16(blue, blue), multiplier), shift);
        means[1] = _mm_srl_epi16(_mm_mulhi_epu16(_mm_add_epi16(green, green), multiplier), shift);
        means[2] = _mm_srl_epi16(_mm_mulhi_epu16(_mm_add_epi16(red, red), multiplier), shift);
        start = end;
        startSums = endSums;
    }
    for (uint32_t k = count; k < VectorTileOutputs; ++k, means += 3)
        means[0] = means[1] = means[2] = _mm_setzero_si128();
}

// Eight 16-bit means of positions p0..p7 in eight rows, as bytes: out[i] holds row 2i's eight
// bytes in its low half and row 2i + 1's in its high half.
void TransposeMeans(const __m128i* p, __m128i out[4]) {
    const __m128i x0 = _mm_packus_epi16(p[0], p[4]), x1 = _mm_packus_epi16(p[1], p[5]);
    const __m128i x2 = _mm_packus_epi16(p[2], p[6]), x3 = _mm_packus_epi16(p[3], p[7]);
    const __m128i a = _mm_unpacklo_epi8(x0, x1), b = _mm_unpackhi_epi8(x0, x1);
    const __m128i c = _mm_unpacklo_epi8(x2, x3), d = _mm_unpackhi_epi8(x2, x3);
    const __m128i e = _mm_unpacklo_epi16(a, c), f = _mm_unpackhi_epi16(a, c);
    const __m128i g = _mm_unpacklo_epi16(b, d), h = _mm_unpackhi_epi16(b, d);
    out[0] = _mm_unpacklo_epi32(e, g);
    out[1] = _mm_unpackhi_epi32(e, g);
    out[2] = _mm_unpacklo_epi32(f, h);
    out[3] = _mm_unpackhi_epi32(f, h);
}

void StoreLow(unsigned char* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }

void StoreHigh(unsigned char* p, __m128i v) { _mm_storeh_pi(reinterpret_cast<__m64*>(p), _mm_castsi128_ps(v)); }

// The tile's 24 bytes in each row. Everything they cover has been read: the tile's outputs lie at
// or before their runs' pixels, the next segment's runs start past them.
void StoreTile(unsigned char* const rows[8], uint32_t rowCount, uint32_t j, uint32_t count, const Scratch& scratch) {
    __m128i bytes[3][4];
    for (int octet = 0; octet < 3; ++octet) TransposeMeans(scratch.Means + 8 * octet, bytes[octet]);
    const size_t at = 3 * static_cast<size_t>(j);
    if (count == VectorTileOutputs && rowCount == 8) {
        for (int octet = 0; octet < 3; ++octet) {
            for (int i = 0; i < 4; ++i) {
                StoreLow(rows[2 * i] + at + 8 * octet, bytes[octet][i]);
                StoreHigh(rows[2 * i + 1] + at + 8 * octet, bytes[octet][i]);
            }
        }
        return;
    }
    // Fewer outputs: the bytes past them may still be unread pixels.
    alignas(16) unsigned char tile[8][24];
    for (int octet = 0; octet < 3; ++octet) {
        for (int i = 0; i < 4; ++i) {
            StoreLow(tile[2 * i] + 8 * octet, bytes[octet][i]);
            StoreHigh(tile[2 * i + 1] + 8 * octet, bytes[octet][i]);
        }
    }
    for (uint32_t r = 0; r < rowCount; ++r) memcpy(rows[r] + at, tile[r], 3 * count);
}

}  // namespace

bool HaveSse2RowMeans() { return true; }

void RowMeansSse2(const RowBlock& block, const RowPass& pass) {
    Scratch scratch;
    Divisors divisors;
    FillDivisors(pass, divisors);
    unsigned char* rows[8];
    size_t readable[8];
    VectorRows(block, 8, rows, readable);
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

bool HaveSse2RowMeans() { return false; }

void RowMeansSse2(const RowBlock& block, const RowPass& pass) {
    for (uint32_t row = 0; row < block.RowCount; ++row) RowMeansPortable(block.FirstRow + row * block.Stride, pass);
}

#endif
