// What the fit-to-screen reduction computes before it touches a pixel: the new size, the weight
// array that spreads the longer side's pixels over its new length, and from it the runs of source
// pixels (along a row) and source rows (down a column) that each output averages.
#pragma once
#include <cstdint>

// The size an image of sourceWidth × sourceHeight gets for the targets: the aspect ratio is kept
// and the side the image fits exactly is the target's. False (size untouched) for negative sizes or
// when either side would grow.
bool FitSize(int32_t sourceWidth, int32_t sourceHeight, int32_t targetWidth, int32_t targetHeight,
             int32_t* newWidth, int32_t* newHeight);

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

inline uint32_t DivideSmall(uint32_t sum, SmallDivisor d) {
    return ((2 * sum * d.Multiplier) >> 16) >> d.Shift;
}

// The runs a line's weights close, up to outputCount of them: run j covers the source pixels (or
// rows) from ends[j − 1] (0 for the first) to ends[j] − 1. Outputs past the last closed run get
// nothing from the line's kernel.
struct LineRuns {
    uint32_t Closed;
    uint32_t Longest;  // of the closed runs
};
LineRuns FillRunEnds(const int32_t* weights, int32_t sourceCount, int32_t outputCount,
                     uint32_t* ends);
