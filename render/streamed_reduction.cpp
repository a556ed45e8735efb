// The reduction over bands of rows. Each output row is made by the same kernels as in the whole
// picture, from the same row-pass results in the same order within its run, so the bytes match;
// the runs may come in either direction, since a run's mean does not depend on it.
#include "render/streamed_reduction.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/debug_output.h"
#include "platform/trace_labels.h"
#include "render/column_means.h"
#include "render/picture_fit.h"

namespace {

const uint32_t NoRun = 0xFFFFFFFFu;

// A band of rows stays within a few megabytes however wide the picture is.
const size_t BandBytes = 16u << 20;

StreamedReduction* Of(void* context) { return static_cast<StreamedReduction*>(context); }

void EndPicture(StreamedReduction* r) {
    free(r->Plan.Ends);
    free(r->Band);
    free(r->Store);
    free(r->Output.Block);
    r->Plan.Ends = nullptr;
    r->Band = nullptr;
    r->Store = nullptr;
    r->Output = {};
}

bool SinkFit(void* context, int32_t width, int32_t height, uint8_t orientation, int32_t* newWidth, int32_t* newHeight) {
    const StreamedReduction* r = Of(context);
    if (r->AreaWidth < 0) return false;
    return FittedSize(width, height, orientation, r->AreaWidth, r->AreaHeight, newWidth, newHeight);
}

bool SinkBegin(void* context, int32_t width, int32_t height, uint8_t orientation, uint32_t* bandRows) {
    StreamedReduction* r = Of(context);
    int32_t newWidth, newHeight;
    if (!SinkFit(context, width, height, orientation, &newWidth, &newHeight)) return false;
    if (!BeginStreamedReduction(r, width, height, newWidth, newHeight)) return false;
    *bandRows = r->BandRows;
    return true;
}

unsigned char* SinkBandRow(void* context, uint32_t i) {
    StreamedReduction* r = Of(context);
    return r->Band + r->Stride * i;
}

// The output row whose run holds source row `row` (below LastRunEnd).
uint32_t RunOf(const StreamedReduction* r, uint32_t row) {
    const uint32_t* ends = r->Plan.RowEnds;
    return static_cast<uint32_t>(std::upper_bound(ends, ends + r->Plan.Rows.Closed, row) - ends);
}

// Output rows past the last run stand as the row pass left their source rows.
void TakeStandingRow(StreamedReduction* r, uint32_t row, const unsigned char* result) {
    if (row >= r->Plan.Rows.Closed && row < static_cast<uint32_t>(r->NewHeight)) {
        memcpy(DibPictureBits(r->Output) + r->NewStride * row, result, r->RowBytes);
        ++r->RowsMade;
    }
}

void TakeRow(StreamedReduction* r, uint32_t row, const unsigned char* result) {
    unsigned char* out = DibPictureBits(r->Output);
    if (row < r->LastRunEnd) {
        const uint32_t run = RunOf(r, row);
        const uint32_t runStart = run ? r->Plan.RowEnds[run - 1] : 0;
        const uint32_t runRows = r->Plan.RowEnds[run] - runStart;
        if (run != r->OpenRun) {
            // A run left open for another can no longer be made.
            if (r->OpenRun != NoRun) r->Failed = true;
            r->OpenRun = run;
            r->OpenRunRows = 0;
        }
        memcpy(r->Store + r->RowBytes * (row - runStart), result, r->RowBytes);
        if (++r->OpenRunRows == runRows) {
            const RowRun rows = {r->Store, r->RowBytes, runRows};
            ColumnMeans(rows, r->RowBytes, out + r->NewStride * run);
            r->OpenRun = NoRun;
            ++r->RowsMade;
        }
    }
    TakeStandingRow(r, row, result);
}

// The rows of the run whose first row in the band is band row i, when the band holds all of them
// and none is stored: their output row straight from the band (in either direction its rows lie
// together there), and how many rows that took. 0 when the run must go through the store.
uint32_t TakeRunInBand(StreamedReduction* r, uint32_t first, uint32_t i, uint32_t count, bool downward) {
    const uint32_t row = downward ? first - i : first + i;
    if (r->OpenRun != NoRun || row >= r->LastRunEnd) return 0;
    const uint32_t run = RunOf(r, row);
    const uint32_t runStart = run ? r->Plan.RowEnds[run - 1] : 0;
    const uint32_t runRows = r->Plan.RowEnds[run] - runStart;
    if (row != (downward ? r->Plan.RowEnds[run] - 1 : runStart) || runRows > count - i) return 0;
    const unsigned char* rows = r->Band + r->Stride * i;
    ColumnMeans({rows, r->Stride, runRows}, r->RowBytes, DibPictureBits(r->Output) + r->NewStride * run);
    ++r->RowsMade;
    for (uint32_t k = 0; k < runRows; ++k) TakeStandingRow(r, downward ? row - k : row + k, rows + r->Stride * k);
    return runRows;
}

void SinkTakeBand(void* context, uint32_t first, uint32_t count, bool downward) {
    StreamedReduction* r = Of(context);
    if (!r->Plan.Ends || count == 0) return;
    RowMeans({r->Band, r->Stride, count, r->Stride * count}, r->Pass);
    for (uint32_t i = 0; i < count;) {
        const uint32_t row = downward ? first - i : first + i;
        if (row >= r->Plan.RowsUsed) {
            ++i;
            continue;
        }
        if (const uint32_t taken = TakeRunInBand(r, first, i, count, downward)) {
            i += taken;
            continue;
        }
        TakeRow(r, row, r->Band + r->Stride * i);
        ++i;
    }
}

PackedDib SinkFinish(void* context) { return FinishStreamedReduction(Of(context)).Block; }

}  // namespace

DibPicture FinishStreamedReduction(StreamedReduction* r) {
    DibPicture output = {};
    if (r->Plan.Ends && !r->Failed && r->RowsMade == static_cast<uint32_t>(r->NewHeight)) {
        output = r->Output;
        r->Output = {};
        // The fit's own trace, for the pictures it fits; its time includes the decoding.
        if (r->AreaWidth >= 0) WriteTrace(TraceLabel::ProcessImage, r->StartTick);
    }
    EndPicture(r);
    return output;
}

void OpenStreamedReduction(StreamedReduction* reduction, int32_t areaWidth, int32_t areaHeight) {
    memset(reduction, 0, sizeof *reduction);
    reduction->Sink = {reduction, SinkFit, SinkBegin, SinkBandRow, SinkTakeBand, SinkFinish};
    reduction->AreaWidth = areaWidth;
    reduction->AreaHeight = areaHeight;
}

void CloseStreamedReduction(StreamedReduction* reduction) { EndPicture(reduction); }

bool BeginStreamedReduction(StreamedReduction* r, int32_t sourceWidth, int32_t sourceHeight, int32_t newWidth,
                            int32_t newHeight) {
    EndPicture(r);
    r->Failed = false;
    r->OpenRun = NoRun;
    r->OpenRunRows = 0;
    r->RowsMade = 0;
    if (newWidth < 1 || newHeight < 1 || newWidth > sourceWidth || newHeight > sourceHeight) return false;
    if (!PlanReduction(sourceWidth, sourceHeight, newWidth, newHeight, &r->Plan)) {
        r->Plan.Ends = nullptr;
        return false;
    }
    r->StartTick = TickCount();
    for (uint32_t length = 1; length <= r->Plan.Columns.Longest && length <= LargestSmallDivisor; ++length)
        r->Divisors[length] = MakeSmallDivisor(length);
    r->Pass = {r->Plan.Ends, r->Plan.Columns, r->Divisors};
    r->SourceWidth = sourceWidth;
    r->NewWidth = newWidth;
    r->NewHeight = newHeight;
    r->Stride = static_cast<size_t>(DibStride(static_cast<uint64_t>(sourceWidth), 24));
    r->NewStride = static_cast<size_t>(DibStride(static_cast<uint64_t>(newWidth), 24));
    r->RowBytes = 3 * static_cast<size_t>(newWidth);
    r->LastRunEnd = r->Plan.Rows.Closed ? r->Plan.RowEnds[r->Plan.Rows.Closed - 1] : 0;
    uint32_t bandRows = static_cast<uint32_t>(BandBytes / r->Stride);
    r->BandRows = bandRows > Avx2Rows ? Avx2Rows : bandRows < 1 ? 1 : bandRows;
    // The pad bytes of the band's rows stay zero: the loaders write only pixels.
    r->Band = static_cast<unsigned char*>(calloc(r->BandRows, r->Stride));
    r->Store = static_cast<unsigned char*>(malloc(r->Plan.Rows.Longest * r->RowBytes + 64));
    r->Output = CreateDibPicture(static_cast<uint32_t>(newWidth), static_cast<uint32_t>(newHeight), 24);
    if (!r->Band || !r->Store || !r->Output.Block) {
        EndPicture(r);
        return false;
    }
    // Every output row's pixels are written before Finish hands the picture over; the pads are
    // cleared here.
    unsigned char* out = DibPictureBits(r->Output);
    for (int32_t y = 0; y < newHeight; ++y) memset(out + r->NewStride * y + r->RowBytes, 0, r->NewStride - r->RowBytes);
    return true;
}
