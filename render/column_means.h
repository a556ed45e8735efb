// The column pass of the reduction for one run of rows, in row order: output byte x is the
// truncated mean of byte x of the run's rows (their row-pass results). The output row may start
// inside the run's first row or before it, as it does in place: a byte is stored only after every
// row's byte under it has been read.
#pragma once
#include <cstddef>
#include <cstdint>

#include "render/reduction_plan.h"

struct RowRun {
    const unsigned char* FirstRow;
    size_t Stride;
    uint32_t RowCount;
};

// Bytes begin to end − 1.
void ColumnMeansPortable(const RowRun& run, size_t begin, size_t end, unsigned char* out);

// For runs of at most LargestSmallDivisor rows: SSE2 where the compiler targets it, AVX2 in x86-64
// builds on processors that have it.
bool HaveSse2ColumnMeans();
void ColumnMeansSse2(const RowRun& run, size_t byteCount, SmallDivisor divisor, unsigned char* out);
bool HaveAvx2ColumnMeans();
void ColumnMeansAvx2(const RowRun& run, size_t byteCount, SmallDivisor divisor, unsigned char* out);

// Bytes 0 to byteCount − 1 by the fastest kernel that takes the run.
void ColumnMeans(const RowRun& run, size_t byteCount, unsigned char* out);
