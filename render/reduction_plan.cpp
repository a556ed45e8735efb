// The reduction's arithmetic: new size, weights, runs and exact division by multiplication.
#include "render/reduction_plan.h"

namespace {

// A quotient of the 32-bit product; a zero divisor only arises for a 0 × 0 image, which gets 0.
int32_t ScaledSide(int32_t side, int32_t target, int32_t divisor) {
    if (divisor == 0) return 0;
    return static_cast<int32_t>(static_cast<int64_t>(side) * target / divisor);
}

}  // namespace

bool FitSize(int32_t sourceWidth, int32_t sourceHeight, int32_t targetWidth, int32_t targetHeight,
             int32_t* newWidth, int32_t* newHeight) {
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
    SmallDivisor d = {0, 0, 0};
    if (divisor == 1) {
        d.Keep = 0xFFFF;
        return d;
    }
    if (divisor == 0 || divisor > LargestSmallDivisor) return d;
    // shift = ceil(log2(divisor)) − 1 keeps the multiplier below 2^16; the error of the rounded-up
    // multiplier stays below one quotient step for every sum up to 255 × divisor.
    uint32_t shift = 0;
    while ((2u << shift) < divisor) ++shift;
    const uint32_t scale = 1u << (16 + shift);
    d.Multiplier = static_cast<uint16_t>((scale + divisor - 1) / divisor);
    d.Shift = static_cast<uint16_t>(shift);
    return d;
}

RunLengths FillPixelRuns(const int32_t* weights, int32_t sourceCount, int32_t outputCount,
                         PixelRun* runs) {
    RunLengths lengths = {0, 0};
    uint32_t first = 0;
    for (int32_t i = 0; i < sourceCount && lengths.Closed < static_cast<uint32_t>(outputCount);
         ++i) {
        if (weights[i] == 0) continue;
        const uint32_t length = static_cast<uint32_t>(i) + 1 - first;
        runs[lengths.Closed++] = {first, length, MakeSmallDivisor(length)};
        if (length > lengths.Longest) lengths.Longest = length;
        first = static_cast<uint32_t>(i) + 1;
    }
    for (uint32_t output = lengths.Closed; output < static_cast<uint32_t>(outputCount); ++output) {
        runs[output] = {output, 1, MakeSmallDivisor(1)};
        if (lengths.Longest < 1) lengths.Longest = 1;
    }
    return lengths;
}

uint32_t SplitIntoChunks(const PixelRun* runs, uint32_t count, RunChunk* chunks) {
    uint32_t chunkCount = 0;
    for (uint32_t j0 = 0; j0 < count;) {
        const uint32_t first = runs[j0].First;
        uint32_t j1 = j0 + 1;
        while (j1 < count && runs[j1].First + runs[j1].Length - first <= ChunkPixels) ++j1;
        if (chunks) chunks[chunkCount] = {j1, first, runs[j1 - 1].First + runs[j1 - 1].Length};
        ++chunkCount;
        j0 = j1;
    }
    return chunkCount;
}
