// The portable column-pass kernel, and the choice between it and the vector ones.
#include "render/column_means.h"

void ColumnMeansPortable(const RowRun& run, size_t begin, size_t end, unsigned char* out) {
    const bool small = run.RowCount <= LargestSmallDivisor;
    const SmallDivisor d = MakeSmallDivisor(small ? run.RowCount : 1);
    for (size_t x = begin; x < end; ++x) {
        // 32-bit sums, which wrap for the same runs as the column kernels' own.
        uint32_t sum = 0;
        const unsigned char* p = run.FirstRow + x;
        for (uint32_t r = 0; r < run.RowCount; ++r, p += run.Stride) sum += *p;
        out[x] = static_cast<unsigned char>(small ? DivideSmall(sum, d) : sum / run.RowCount);
    }
}

void ColumnMeans(const RowRun& run, size_t byteCount, unsigned char* out) {
    if (HaveAvx2ColumnMeans() && run.RowCount <= LargestSmallDivisor) {
        ColumnMeansAvx2(run, byteCount, MakeSmallDivisor(run.RowCount), out);
        return;
    }
    if (HaveSse2ColumnMeans() && run.RowCount <= LargestSmallDivisor) {
        ColumnMeansSse2(run, byteCount, MakeSmallDivisor(run.RowCount), out);
        return;
    }
    ColumnMeansPortable(run, 0, byteCount, out);
}
