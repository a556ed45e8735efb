// The portable row-pass kernel, and the choice between it and the vector ones.
#include "render/row_means.h"

void RowMeansPortable(unsigned char* row, const RowPass& pass) {
    uint32_t first = 0;
    for (uint32_t j = 0; j < pass.Runs.Closed; ++j) {
        const uint32_t end = pass.Ends[j], length = end - first;
        uint32_t blue = 0, green = 0, red = 0;
        for (const unsigned char* p = row + 3 * static_cast<size_t>(first); p < row + 3 * static_cast<size_t>(end);
             p += 3) {
            blue += p[0];
            green += p[1];
            red += p[2];
        }
        // Output j lies at or before the run's first pixel and after every earlier run's.
        unsigned char* out = row + 3 * static_cast<size_t>(j);
        if (length <= LargestSmallDivisor) {
            const SmallDivisor d = pass.Divisors[length];
            out[0] = static_cast<unsigned char>(DivideSmall(blue, d));
            out[1] = static_cast<unsigned char>(DivideSmall(green, d));
            out[2] = static_cast<unsigned char>(DivideSmall(red, d));
        } else {
            out[0] = static_cast<unsigned char>(blue / length);
            out[1] = static_cast<unsigned char>(green / length);
            out[2] = static_cast<unsigned char>(red / length);
        }
        first = end;
    }
}

uint32_t VectorSegmentEnd(const RowPass& pass, uint32_t j) {
    const uint32_t first = j ? pass.Ends[j - 1] : 0, closed = pass.Runs.Closed;
    uint32_t end = j;
    while (end + VectorTileOutputs <= closed && pass.Ends[end + VectorTileOutputs - 1] - first <= VectorSegmentPixels)
        end += VectorTileOutputs;
    if (end > j) return end;
    while (end < closed && end - j < VectorTileOutputs && pass.Ends[end] - first <= VectorSegmentPixels) ++end;
    return end;
}

void VectorRows(const RowBlock& block, uint32_t rowCount, unsigned char** rows, size_t* readable) {
    for (uint32_t r = 0; r < rowCount; ++r) {
        const uint32_t row = r < block.RowCount ? r : block.RowCount - 1;
        rows[r] = block.FirstRow + row * block.Stride;
        readable[r] = block.Readable - row * block.Stride;
    }
}

void RowMeans(const RowBlock& block, const RowPass& pass) {
    if (pass.Runs.Closed == 0) return;
    const bool avx2 = HaveAvx2RowMeans();
    if ((avx2 || HaveSse2RowMeans()) && pass.Runs.Longest <= LargestSmallDivisor) {
        const uint32_t rows = avx2 ? Avx2Rows : Sse2Rows;
        for (uint32_t row = 0; row < block.RowCount; row += rows) {
            const uint32_t left = block.RowCount - row;
            const RowBlock part = {block.FirstRow + row * block.Stride, block.Stride, left < rows ? left : rows,
                                   block.Readable - row * block.Stride};
            if (avx2) {
                RowMeansAvx2(part, pass);
            } else {
                RowMeansSse2(part, pass);
            }
        }
        return;
    }
    for (uint32_t row = 0; row < block.RowCount; ++row) RowMeansPortable(block.FirstRow + row * block.Stride, pass);
}
