// What the fit-to-screen reduction computes before it touches a pixel: the new size, the weight
// array that spreads the longer side's pixels over its new length, and from it the runs of source
// pixels (along a row) and source rows (down a column) that each output averages.
#pragma once
#include <cstdint>

// The size an image of sourceWidth × sourceHeight gets for the targets: the aspect ratio is kept
// and the side the image fits exactly is the target's. False (size untouched) for negative sizes or
// when either side would grow.
bool FitSize(int32_t sourceWidth, int32_t sourceHeight, int32_t targetWidth, int32_t targetHeight, int32_t* newWidth,
             int32_t* newHeight);

// Fills count entries: 0 where a run goes on, the run's length where it closes; exactly newLength
// entries close a run. Returns the longest run, counting a trailing run that none closes.
int32_t FillWeights(int32_t* weights, int32_t count, int32_t newLength);

// Division of a sum of up to LargestSmallDivisor values of 0 to 255 by their count, by
// multiplication: sum / divisor = ((2 × sum × Multiplier) >> 16) >> Shift. The doubled sum stays
// below 2^16, so 16-bit lanes hold it, and the divisor 1 needs no multiplier of 2^16.
struct SmallDivisor {
    uint16_t Multiplier;
    uint16_t Shift;
};
enum : uint32_t { LargestSmallDivisor = 128 };
SmallDivisor MakeSmallDivisor(uint32_t divisor);  // divisor 1 to LargestSmallDivisor

inline uint32_t DivideSmall(uint32_t sum, SmallDivisor d) { return ((2 * sum * d.Multiplier) >> 16) >> d.Shift; }

// The runs a line's weights close, up to outputCount of them: run j covers the source pixels (or
// rows) from ends[j − 1] (0 for the first) to ends[j] − 1. Outputs past the last closed run get
// nothing from the line's kernel.
struct LineRuns {
    uint32_t Closed;
    uint32_t Longest;  // of the closed runs
};
LineRuns FillRunEnds(const int32_t* weights, int32_t sourceCount, int32_t outputCount, uint32_t* ends);

// The same runs straight from the longer side's length n and new length m (0 < m <= n), as
// FillRunEnds finds them in the first sourceCount of FillWeights(n, m)'s entries, without the
// weights: run k (from 1) ends at ceil(n (2k − 1) / 2m). Work and memory go with the outputs.
LineRuns RunEndsAlong(int32_t n, int32_t m, int32_t sourceCount, int32_t outputCount, uint32_t* ends);

// The runs of one reduction of sourceWidth × sourceHeight to newWidth × newHeight: the longer
// side's new length spreads its pixels, and the shorter side takes the leading runs of the same
// spread. RowsUsed: the source rows the outputs read, those of the closed row runs and, where
// these fall short of the new height, the rows below it, whose row-pass results stand as output.
struct ReductionRuns {
    uint32_t* Ends;  // malloc'd: newWidth column-run ends, then newHeight row-run ends
    uint32_t* RowEnds;
    LineRuns Columns;
    LineRuns Rows;
    uint32_t RowsUsed;
};
// False when there is no memory for the ends; free(runs.Ends) afterwards otherwise.
bool PlanReduction(int32_t sourceWidth, int32_t sourceHeight, int32_t newWidth, int32_t newHeight, ReductionRuns* runs);
