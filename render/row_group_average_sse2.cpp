// The row-group kernel with SSE2. Four source rows at a time are interleaved byte by byte, so that
// one 16-byte load holds a pixel's three channels in all four rows; seen as 16-bit lanes, a mask
// gives rows 0 and 2 and a shift rows 1 and 3 of every channel. Run sums, divisions by
// multiplication and sums down the rows then work on all rows and channels at once.
#include "render/row_group_average.h"

#ifdef __SSE2__

#include <emmintrin.h>

#include <cstring>

namespace {

const uint32_t ChunkBytes =
    3 * ChunkPixels + 32;  // a chunk's bytes of one row, rounded up, and slack

struct Scratch {
    alignas(16) unsigned char Interleaved[4 * ChunkBytes];
    alignas(16) unsigned char ZeroRow[ChunkBytes];
    alignas(16) int32_t Sums[ChunkPixels][4];  // blue, green, red, unused: per output of the chunk
};

// Byte t of rows 0..3 lands at 4t, 4t + 1, 4t + 2, 4t + 3: four 16-byte groups in, 64 bytes out.
void InterleaveGroup(__m128i row0, __m128i row1, __m128i row2, __m128i row3, unsigned char* out) {
    const __m128i low01 = _mm_unpacklo_epi8(row0, row1), high01 = _mm_unpackhi_epi8(row0, row1);
    const __m128i low23 = _mm_unpacklo_epi8(row2, row3), high23 = _mm_unpackhi_epi8(row2, row3);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(low01, low23));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi16(low01, low23));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), _mm_unpacklo_epi16(high01, high23));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 48), _mm_unpackhi_epi16(high01, high23));
}

__m128i LoadGroup(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The bytes of a group that lie before `readable`; the rest zero.
__m128i LoadPartialGroup(const unsigned char* p, size_t readable) {
    alignas(16) unsigned char group[16] = {};
    memcpy(group, p, readable < 16 ? readable : 16);
    return _mm_load_si128(reinterpret_cast<const __m128i*>(group));
}

// Interleaves byteCount bytes (a multiple of 16) of four rows. Only the first `readable` bytes of
// each row may be read; the rest counts as zero.
void InterleaveFourRows(const unsigned char* const rows[4], size_t readable, uint32_t byteCount,
                        unsigned char* out) {
    // The rows are read once, far apart: ask for the next chunk's lines while this one is worked
    // on.
    for (int r = 0; r < 4; ++r) {
        for (uint32_t t = 0; t < byteCount; t += 64) {
            _mm_prefetch(reinterpret_cast<const char*>(rows[r] + byteCount + t), _MM_HINT_T0);
        }
    }
    uint32_t t = 0;
    for (; t < byteCount && t + 16 <= readable; t += 16, out += 64) {
        InterleaveGroup(LoadGroup(rows[0] + t), LoadGroup(rows[1] + t), LoadGroup(rows[2] + t),
                        LoadGroup(rows[3] + t), out);
    }
    for (; t < byteCount; t += 16, out += 64) {
        const size_t left = t < readable ? readable - t : 0;
        InterleaveGroup(LoadPartialGroup(rows[0] + t, left), LoadPartialGroup(rows[1] + t, left),
                        LoadPartialGroup(rows[2] + t, left), LoadPartialGroup(rows[3] + t, left),
                        out);
    }
}

// ((v × Multiplier) >> 16 >> Shift) | (v & Keep) in every 16-bit lane.
__m128i DivideLanes(__m128i v, const SmallDivisor& d) {
    const __m128i product = _mm_mulhi_epu16(v, _mm_set1_epi16(static_cast<short>(d.Multiplier)));
    const __m128i quotient = _mm_srl_epi16(product, _mm_cvtsi32_si128(d.Shift));
    return _mm_or_si128(quotient, _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(d.Keep))));
}

// One run in four interleaved rows: each row's truncated mean over the run, summed down the rows,
// as 32-bit blue, green, red and an unused lane.
__m128i SumRunDownFourRows(const unsigned char* pixel, const PixelRun& run) {
    const __m128i lowBytes = _mm_set1_epi16(0x00FF);
    // As 16-bit lanes a pixel is blue of rows 0+1, 2+3, green 0+1, 2+3, red 0+1, 2+3, and the next
    // pixel's blue (unused): the low bytes are rows 0 and 2, the high bytes rows 1 and 3.
    __m128i even = _mm_setzero_si128(), odd = _mm_setzero_si128();
    uint32_t x = 0;
    for (; x + 2 <= run.Length; x += 2, pixel += 24) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixel));
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixel + 12));
        even = _mm_add_epi16(even,
                             _mm_add_epi16(_mm_and_si128(v, lowBytes), _mm_and_si128(w, lowBytes)));
        odd = _mm_add_epi16(odd, _mm_add_epi16(_mm_srli_epi16(v, 8), _mm_srli_epi16(w, 8)));
    }
    if (x < run.Length) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixel));
        even = _mm_add_epi16(even, _mm_and_si128(v, lowBytes));
        odd = _mm_add_epi16(odd, _mm_srli_epi16(v, 8));
    }
    const __m128i means =
        _mm_add_epi16(DivideLanes(even, run.Divisor), DivideLanes(odd, run.Divisor));
    return _mm_madd_epi16(means, _mm_set1_epi16(1));
}

// Two outputs' sums divided by the row count, as bytes blue, green, red, unused, blue, ... .
uint64_t DividePair(__m128i first, __m128i second, const SmallDivisor& rowDivisor) {
    const __m128i means = DivideLanes(_mm_packs_epi32(first, second), rowDivisor);
    uint64_t bytes;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&bytes), _mm_packus_epi16(means, means));
    return bytes;
}

// Stores output j and, when the chunk has it, j + 1. Once a chunk is in the scratch its outputs
// may overwrite what it read; each goes out as four bytes, the fourth being the next output's
// first, except the chunk's last, whose next byte may still be unread.
void StoreOutputs(unsigned char* out, uint32_t j, uint32_t chunkEnd, uint64_t bytes) {
    const uint32_t low = static_cast<uint32_t>(bytes), high = static_cast<uint32_t>(bytes >> 32);
    unsigned char* at = out + 3 * static_cast<size_t>(j);
    if (j + 1 == chunkEnd) {
        memcpy(at, &low, 3);
        return;
    }
    memcpy(at, &low, 4);
    if (j + 2 == chunkEnd) {
        memcpy(at + 3, &high, 3);
    } else {
        memcpy(at + 3, &high, 4);
    }
}

struct FourRows {
    const unsigned char* Rows[4];
};

// Rows row .. row + 3 of the group from pixel `first` on; past the group's last row, the zero row,
// whose means add nothing and which has every byte a chunk reads.
FourRows BlockRows(const RowGroup& group, uint32_t row, uint32_t first,
                   const unsigned char* zeroRow) {
    FourRows block;
    for (uint32_t r = 0; r < 4; ++r) {
        block.Rows[r] = row + r < group.RowCount ? group.FirstRow + (row + r) * group.Stride +
                                                       3 * static_cast<size_t>(first)
                                                 : zeroRow;
    }
    return block;
}

}  // namespace

bool HaveSse2RowGroupAverage() { return true; }

void AverageRowGroupSse2(const RowGroup& group, const PixelRunTable& runs, unsigned char* out) {
    Scratch scratch;
    memset(scratch.ZeroRow, 0, sizeof scratch.ZeroRow);
    const SmallDivisor rowDivisor = MakeSmallDivisor(group.RowCount);

    uint32_t j0 = 0;
    for (uint32_t chunk = 0; chunk < runs.ChunkCount; ++chunk) {
        const uint32_t j1 = runs.Chunks[chunk].OutputEnd;
        const uint32_t first = runs.Chunks[chunk].FirstPixel, end = runs.Chunks[chunk].EndPixel;
        // A pixel's 16-byte load reaches 4 bytes past its own 12.
        const uint32_t byteCount = (3 * (end - first) + 1 + 15) & ~15u;
        const size_t readable = group.Stride - 3 * static_cast<size_t>(first);

        for (uint32_t row = 0; row < group.RowCount; row += 4) {
            InterleaveFourRows(BlockRows(group, row, first, scratch.ZeroRow).Rows, readable,
                               byteCount, scratch.Interleaved);
            for (uint32_t j = j0; j < j1; ++j) {
                const PixelRun& run = runs.Runs[j];
                __m128i sums =
                    SumRunDownFourRows(scratch.Interleaved + 12 * (run.First - first), run);
                __m128i* total = reinterpret_cast<__m128i*>(scratch.Sums[j - j0]);
                if (row > 0) sums = _mm_add_epi32(sums, _mm_load_si128(total));
                _mm_store_si128(total, sums);
            }
        }
        for (uint32_t j = j0; j < j1; j += 2) {
            const __m128i a =
                _mm_load_si128(reinterpret_cast<const __m128i*>(scratch.Sums[j - j0]));
            const __m128i b =
                j + 1 < j1
                    ? _mm_load_si128(reinterpret_cast<const __m128i*>(scratch.Sums[j + 1 - j0]))
                    : a;
            StoreOutputs(out, j, j1, DividePair(a, b, rowDivisor));
        }
        j0 = j1;
    }
}

#else

bool HaveSse2RowGroupAverage() { return false; }

void AverageRowGroupSse2(const RowGroup& group, const PixelRunTable& runs, unsigned char* out) {
    AverageRowGroupPortable(group, runs, 0, runs.Lengths.Closed, out);
}

#endif
