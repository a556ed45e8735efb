// The portable row-group kernel, and the choice between it and the SSE2 one.
#include "render/row_group_average.h"

namespace {

// sum / divisor; by multiplication while the sum can be at most 255 × divisor, which holds for
// every divisor that has a multiplier (larger ones may have wrapped, as 32-bit sums do).
uint32_t Divide(uint32_t sum, uint32_t divisor, const SmallDivisor& d) {
    if (d.Multiplier != 0 || d.Keep != 0) {
        return (((sum * d.Multiplier) >> 16) >> d.Shift) | (sum & d.Keep);
    }
    return sum / divisor;
}

}  // namespace

void AverageRowGroupPortable(const RowGroup& group, const PixelRunTable& runs, uint32_t begin,
                             uint32_t end, unsigned char* out) {
    const SmallDivisor rowDivisor = MakeSmallDivisor(group.RowCount);
    for (uint32_t j = begin; j < end; ++j) {
        const PixelRun& run = runs.Runs[j];
        uint32_t blue = 0, green = 0, red = 0;
        const unsigned char* row = group.FirstRow + 3 * static_cast<size_t>(run.First);
        for (uint32_t r = 0; r < group.RowCount; ++r, row += group.Stride) {
            uint32_t rowBlue = 0, rowGreen = 0, rowRed = 0;
            for (uint32_t x = 0; x < run.Length; ++x) {
                rowBlue += row[3 * x];
                rowGreen += row[3 * x + 1];
                rowRed += row[3 * x + 2];
            }
            blue += Divide(rowBlue, run.Length, run.Divisor);
            green += Divide(rowGreen, run.Length, run.Divisor);
            red += Divide(rowRed, run.Length, run.Divisor);
        }
        // Every pixel under this output belongs to this run or to an earlier one: all read.
        out[3 * j] = static_cast<unsigned char>(Divide(blue, group.RowCount, rowDivisor));
        out[3 * j + 1] = static_cast<unsigned char>(Divide(green, group.RowCount, rowDivisor));
        out[3 * j + 2] = static_cast<unsigned char>(Divide(red, group.RowCount, rowDivisor));
    }
}

void AverageRowGroup(const RowGroup& group, const PixelRunTable& runs, unsigned char* out) {
    if (HaveSse2RowGroupAverage() && runs.Lengths.Longest <= LargestSmallDivisor &&
        group.RowCount <= LargestSmallDivisor) {
        // The outputs that keep their own pixel come last and read nothing the others overwrite.
        AverageRowGroupSse2(group, runs, out);
        AverageRowGroupPortable(group, runs, runs.Lengths.Closed, runs.Count, out);
        return;
    }
    AverageRowGroupPortable(group, runs, 0, runs.Count, out);
}
