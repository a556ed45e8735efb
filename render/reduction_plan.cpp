// The reduction's arithmetic: new size, weights, runs and exact division by multiplication.
#include "render/reduction_plan.h"

#include <cstdlib>

namespace {

// A quotient of the 32-bit product; a zero divisor only arises for a 0 × 0 image, which gets 0.
int32_t ScaledSide(int32_t side, int32_t target, int32_t divisor) {
    if (divisor == 0) return 0;
    return static_cast<int32_t>(static_cast<int64_t>(side) * target / divisor);
}

}  // namespace

bool FitSize(int32_t sourceWidth, int32_t sourceHeight, int32_t targetWidth, int32_t targetHeight, int32_t* newWidth,
             int32_t* newHeight) {
    if (sourceWidth < 0 || sourceHeight < 0 || targetWidth < 0 || targetHeight < 0) return false;
    // As quotients, so that a zero target height (infinity) and 0 / 0 (unordered) fall on the
    // height branch.
    const double sourceAspect = static_cast<double>(sourceWidth) / sourceHeight;
    const double targetAspect = static_cast<double>(targetWidth) / targetHeight;
    int32_t width, height;
    if (sourceAspect >= targetAspect) {
        width = targetWidth;
        height = ScaledSide(sourceHeight, targetWidth, sourceWidth);
    } else {
        height = targetHeight;
        width = ScaledSide(sourceWidth, targetHeight, sourceHeight);
    }
    if (width > sourceWidth || height > sourceHeight) return false;
    *newWidth = width;
    *newHeight = height;
    return true;
}

int32_t FillWeights(int32_t* weights, int32_t count, int32_t newLength) {
    int32_t error = 2 * newLength - count;
    int32_t run = 0, longestRun = 0;
    for (int32_t i = 0; i < count; ++i) {
        ++run;
        if (run > longestRun) longestRun = run;
        if (error < 0) {
            weights[i] = 0;
            error += 2 * newLength;
        } else {
            weights[i] = run;
            run = 0;
            error += 2 * (newLength - count);
        }
    }
    return longestRun;
}

SmallDivisor MakeSmallDivisor(uint32_t divisor) {
    // shift = ceil(log2(divisor)) puts the multiplier ceil(2^(15 + shift) / divisor) in 2^15 to
    // 2^16 − 1 (2^15 for powers of two). Its excess over 2^(15 + shift) / divisor is below
    // 2^-(15 + shift) <= 1 / (2^15 × divisor), which times a sum of at most 255 × divisor stays
    // below 1 / divisor for divisors up to 128: the truncated quotient is exact.
    uint32_t shift = 0;
    while ((1u << shift) < divisor) ++shift;
    const uint32_t scale = 1u << (15 + shift);
    SmallDivisor d;
    d.Multiplier = static_cast<uint16_t>((scale + divisor - 1) / divisor);
    d.Shift = static_cast<uint16_t>(shift);
    return d;
}

LineRuns FillRunEnds(const int32_t* weights, int32_t sourceCount, int32_t outputCount, uint32_t* ends) {
    LineRuns runs = {0, 0};
    uint32_t first = 0;
    for (int32_t i = 0; i < sourceCount && runs.Closed < static_cast<uint32_t>(outputCount); ++i) {
        if (weights[i] == 0) continue;
        const uint32_t end = static_cast<uint32_t>(i) + 1;
        if (end - first > runs.Longest) runs.Longest = end - first;
        ends[runs.Closed++] = end;
        first = end;
    }
    return runs;
}

LineRuns RunEndsAlong(int32_t n, int32_t m, int32_t sourceCount, int32_t outputCount, uint32_t* ends) {
    LineRuns runs = {0, 0};
    if (m <= 0 || n <= 0) return runs;
    uint32_t first = 0;
    for (int64_t k = 1; k <= outputCount; ++k) {
        const int64_t end = (static_cast<int64_t>(n) * (2 * k - 1) + 2 * m - 1) / (2 * m);
        if (end > sourceCount) break;
        const uint32_t at = static_cast<uint32_t>(end);
        if (at - first > runs.Longest) runs.Longest = at - first;
        ends[runs.Closed++] = at;
        first = at;
    }
    return runs;
}

bool PlanReduction(int32_t sourceWidth, int32_t sourceHeight, int32_t newWidth, int32_t newHeight,
                   ReductionRuns* runs) {
    runs->Ends = static_cast<uint32_t*>(malloc(sizeof(uint32_t) * (static_cast<size_t>(newWidth) + newHeight + 1)));
    if (!runs->Ends) return false;
    const bool wide = sourceWidth > sourceHeight;
    const int32_t n = wide ? sourceWidth : sourceHeight;
    const int32_t m = wide ? newWidth : newHeight;
    runs->RowEnds = runs->Ends + newWidth;
    runs->Columns = RunEndsAlong(n, m, sourceWidth, newWidth, runs->Ends);
    runs->Rows = RunEndsAlong(n, m, sourceHeight, newHeight, runs->RowEnds);
    uint32_t rowsUsed = runs->Rows.Closed ? runs->RowEnds[runs->Rows.Closed - 1] : 0;
    if (runs->Rows.Closed < static_cast<uint32_t>(newHeight) && rowsUsed < static_cast<uint32_t>(newHeight))
        rowsUsed = static_cast<uint32_t>(newHeight);
    if (newWidth == 0) rowsUsed = 0;
    runs->RowsUsed = rowsUsed;
    return true;
}
