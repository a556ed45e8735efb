// The row pass of the reduction, in place: for each closed run j of a row, the truncated means of
// its pixels' blue, green and red go to bytes 3j to 3j + 2 from the row's start, as the row kernels
// leave them; the rest of the row keeps its bytes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "render/reduction_plan.h"

struct RowPass {
    const uint32_t* Ends;  // from FillRunEnds over the row's weights
    LineRuns Runs;
    const SmallDivisor* Divisors;  // by run length, up to Runs.Longest or LargestSmallDivisor
};

// Consecutive rows of the block, and how many bytes from the first may be read at all: the
// faster kernel reads whole 16-byte groups and must not pass the end of the pixel block.
struct RowBlock {
    unsigned char* FirstRow;
    size_t Stride;
    uint32_t RowCount;
    size_t Readable;
};

void RowMeansPortable(unsigned char* row, const RowPass& pass);

// For runs of at most LargestSmallDivisor pixels: up to 8 rows at once with SSE2 (present where
// the compiler targets it), up to 16 with AVX2 (x86-64 builds, on processors that have it).
enum : uint32_t { Sse2Rows = 8, Avx2Rows = 16 };
bool HaveSse2RowMeans();
void RowMeansSse2(const RowBlock& block, const RowPass& pass);
bool HaveAvx2RowMeans();
void RowMeansAvx2(const RowBlock& block, const RowPass& pass);

// What the vector kernels share. They work on segments of outputs whose runs together span at
// most VectorSegmentPixels source pixels (so that 16-bit prefix sums over the segment hold), in
// tiles of VectorTileOutputs outputs.
enum : uint32_t { VectorSegmentPixels = 256, VectorTileOutputs = 8 };
// The end of the segment that starts at output j: whole tiles where any fit.
uint32_t VectorSegmentEnd(const RowPass& pass, uint32_t j);
// The first rowCount rows of the block and how many bytes each may read; rows past the block
// repeat its last row, whose means are never stored.
void VectorRows(const RowBlock& block, uint32_t rowCount, unsigned char** rows, size_t* readable);

// How far ahead of the 16-byte group being read the vector kernels ask for a row's lines. They ask
// for one line of a quarter of the rows at each group, so that each row's lines are asked for one
// by one as the kernel moves along: the rows lie far apart and are read once, and a burst of
// requests for all rows at once would overrun the processor's queue of outstanding misses.
enum : uint32_t { VectorPrefetchBytes = 1536 };

// The row pass over every row of a block of any size, by the fastest kernel that takes it.
void RowMeans(const RowBlock& block, const RowPass& pass);
