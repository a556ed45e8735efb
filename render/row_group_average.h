// The reduction's one kernel: a row of output pixels from a group of source rows. Output pixel j
// averages pixel run j along each source row (the row pass), then averages those row means down
// the group (the column pass); both means truncate, in that order, as two separate passes would.
#pragma once
#include <cstddef>
#include <cstdint>

#include "render/reduction_plan.h"

struct RowGroup {
    unsigned char* FirstRow;  // the group's bottom row in the block
    size_t Stride;            // bytes from one source row to the next
    uint32_t RowCount;
};

struct PixelRunTable {
    const PixelRun* Runs;
    uint32_t Count;  // output pixels
    RunLengths Lengths;
    const RunChunk* Chunks;  // from SplitIntoChunks over the closed runs
    uint32_t ChunkCount;
};

// out may lie inside the group's first row or before it, as it does when the reduction works in
// place: an output pixel is stored only when nothing still to be read lies under it.
void AverageRowGroup(const RowGroup& group, const PixelRunTable& runs, unsigned char* out);

// The two implementations behind AverageRowGroup, for tests. The portable one makes outputs begin
// to end − 1 of any group. The SSE2 one (present where the compiler targets SSE2) makes the outputs
// of the closed runs, for runs and groups of up to LargestSmallDivisor.
void AverageRowGroupPortable(const RowGroup& group, const PixelRunTable& runs, uint32_t begin,
                             uint32_t end, unsigned char* out);
bool HaveSse2RowGroupAverage();
void AverageRowGroupSse2(const RowGroup& group, const PixelRunTable& runs, unsigned char* out);
