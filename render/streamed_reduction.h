// The fit-to-screen reduction fed row by row: a loader hands its rows over a band at a time, each
// band has the row pass, and the row-pass results of the run still open wait in a small store until
// its output row is made. Memory goes with the screen, not with the picture; the bytes are those of
// the reduction of the whole picture.
#pragma once
#include <cstdint>

#include "imaging/row_sink.h"
#include "render/reduction_plan.h"
#include "render/row_means.h"

struct StreamedReduction {
    RowSink Sink;  // Context points at this record
    // The area the pictures are fitted to, as FitPicture fits them; a negative width: none, and
    // the sink only takes the sizes given to BeginStreamedReduction.
    int32_t AreaWidth;
    int32_t AreaHeight;

    // One picture's work, from Begin to Finish.
    ReductionRuns Plan;  // Plan.Ends: none outside a picture
    SmallDivisor Divisors[LargestSmallDivisor + 1];
    RowPass Pass;
    int32_t SourceWidth;
    int32_t NewWidth;
    int32_t NewHeight;
    uint32_t StartTick;
    size_t Stride;
    size_t RowBytes;
    size_t NewStride;
    uint32_t LastRunEnd;  // the rows past it matter only where no run makes an output row
    unsigned char* Band;
    uint32_t BandRows;
    unsigned char* Store;  // the open run's row-pass results at their place in the run
    uint32_t OpenRun;      // the output row whose run the store holds; NoRun: none
    uint32_t OpenRunRows;  // rows of it stored so far
    uint32_t RowsMade;     // output rows made
    bool Failed;
    DibPicture Output;
};

// For an area of the screen: the sink fits each picture as FitPicture does.
void OpenStreamedReduction(StreamedReduction* reduction, int32_t areaWidth, int32_t areaHeight);
// Frees whatever a picture left behind; the record may be opened again.
void CloseStreamedReduction(StreamedReduction* reduction);

// What the sink's Finish hands over, with its layout: the reduced picture once every row is made,
// else none.
DibPicture FinishStreamedReduction(StreamedReduction* reduction);

// The work of Begin for a size already decided: sourceWidth × sourceHeight to newWidth ×
// newHeight, each new side 1 to the source's. False without memory.
bool BeginStreamedReduction(StreamedReduction* reduction, int32_t sourceWidth, int32_t sourceHeight, int32_t newWidth,
                            int32_t newHeight);
