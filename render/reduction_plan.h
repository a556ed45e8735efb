// What the fit-to-screen reduction computes before it touches a pixel: the new size, the weight
// array that spreads the longer side's pixels over its new length, and from it the runs of source
// pixels (along a row) and source rows (down a column) that each output pixel averages.
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

// Division of a run's sum (at most 255 × the divisor) by multiplication: the quotient is
// ((sum × Multiplier) >> 16 >> Shift) | (sum & Keep). Exact for divisors 1 to LargestSmallDivisor;
// larger divisors get Multiplier 0 and are divided the ordinary way.
struct SmallDivisor {
    uint16_t Multiplier;
    uint16_t Shift;
    uint16_t Keep;
};
enum : uint32_t { LargestSmallDivisor = 128 };
SmallDivisor MakeSmallDivisor(uint32_t divisor);

// Source pixels First .. First + Length − 1 of a row make one output pixel.
struct PixelRun {
    uint32_t First;
    uint32_t Length;
    SmallDivisor Divisor;
};

// Outputs are worked out in chunks whose runs together span at most this many source pixels, so
// that a chunk of a few rows fits a small scratch; no single run may be longer.
enum : uint32_t { ChunkPixels = 256 };

// Outputs OutputEnd of the previous chunk (0 for the first) to OutputEnd − 1 read source pixels
// FirstPixel to EndPixel − 1.
struct RunChunk {
    uint32_t OutputEnd;
    uint32_t FirstPixel;
    uint32_t EndPixel;
};

// Splits the outputs of closed runs (which follow each other without a gap) into chunks and
// returns their count; with no chunk array it only counts them.
uint32_t SplitIntoChunks(const PixelRun* runs, uint32_t count, RunChunk* chunks);

// Runs of the row pass for the first outputCount outputs of a row whose weights are given, as the
// row pass leaves them: outputs past the last run closed within the row keep the source pixel at
// their own position, which is a run of length 1 there.
struct RunLengths {
    uint32_t Closed;   // outputs with a run the weights close; the rest keep their own pixel
    uint32_t Longest;  // of all runs
};
RunLengths FillPixelRuns(const int32_t* weights, int32_t sourceCount, int32_t outputCount,
                         PixelRun* runs);
