// The reduction in one sweep over the source rows: the row pass runs in place on a few rows at a
// time, and each output row is made from its run of row-pass results as soon as they are there,
// straight at its place at the new row length. The rows are read once, only the output columns are
// worked out, and no copy of the picture is needed.
#include "render/image_reducer.h"

#include <cstdlib>
#include <cstring>

#include "platform/debug_output.h"
#include "platform/trace_labels.h"
#include "render/column_means.h"
#include "render/reduction_plan.h"
#include "render/row_means.h"

namespace {

void SetImageSize(PackedDib image, uint32_t headerSize, int32_t width, int32_t height) {
    if (headerSize == DibCoreHeaderSize) {
        const uint16_t coreWidth = static_cast<uint16_t>(width), coreHeight = static_cast<uint16_t>(height);
        memcpy(image + 4, &coreWidth, 2);
        memcpy(image + 6, &coreHeight, 2);
        return;
    }
    memcpy(image + 4, &width, 4);
    memcpy(image + 8, &height, 4);
}

}  // namespace

ImageReducer::~ImageReducer() {}

void ImageReducer::ProcessImage(PackedDib image, int32_t targetWidth, int32_t targetHeight) {
    if (!image) return;
    DibPicture picture = ReadDibPicture(image);
    int32_t newWidth, newHeight;
    if (!FitSize(picture.Layout.width, picture.Layout.height, targetWidth, targetHeight, &newWidth, &newHeight)) return;
    ReduceTo(picture, newWidth, newHeight);
}

void ImageReducer::ReduceTo(DibPicture& picture, int32_t newWidth, int32_t newHeight) {
    PackedDib image = picture.Block;
    if (!image) return;
    const DibLayout layout = picture.Layout;
    if (layout.bitCount != 24 || layout.compression != DibCompressionRgb) return;
    const int32_t sourceWidth = layout.width, sourceHeight = layout.height;
    if (sourceWidth < 0 || sourceHeight < 0 || newWidth < 0 || newHeight < 0 || newWidth > sourceWidth ||
        newHeight > sourceHeight)
        return;

    // Where each output column's run of source pixels and each output row's run of source rows
    // ends.
    ReductionRuns plan;
    if (!PlanReduction(sourceWidth, sourceHeight, newWidth, newHeight, &plan)) return;
    uint32_t* ends = plan.Ends;
    uint32_t* rowEnds = plan.RowEnds;
    const LineRuns columns = plan.Columns;
    const LineRuns rows = plan.Rows;
    SmallDivisor divisors[LargestSmallDivisor + 1];
    for (uint32_t length = 1; length <= columns.Longest && length <= LargestSmallDivisor; ++length)
        divisors[length] = MakeSmallDivisor(length);
    const RowPass pass = {ends, columns, divisors};

    const uint32_t startTick = TickCount();
    unsigned char* bits = image + layout.bitsOffset;
    const size_t stride = static_cast<size_t>(DibStride(static_cast<uint64_t>(sourceWidth), 24));
    const size_t newStride = static_cast<size_t>(DibStride(static_cast<uint64_t>(newWidth), 24));
    const size_t rowBytes = 3 * static_cast<size_t>(newWidth);
    const size_t blockBytes = stride * static_cast<size_t>(sourceHeight);
    const uint32_t rowsUsed = plan.RowsUsed;
    // The row pass a block of rows at a time, each output row as soon as its rows have had it.
    // Output row k lies below row k + 1 of the source, and its run starts at row k or later, so
    // it covers nothing still to be read.
    uint32_t output = 0, runStart = 0;
    const uint32_t blockRows = Avx2Rows;
    for (uint32_t row = 0; row < rowsUsed; row += blockRows) {
        const uint32_t count = rowsUsed - row < blockRows ? rowsUsed - row : blockRows;
        const RowBlock block = {bits + row * stride, stride, count, blockBytes - row * stride};
        RowMeans(block, pass);
        for (; output < rows.Closed && rowEnds[output] <= row + count; ++output) {
            const RowRun run = {bits + runStart * stride, stride, rowEnds[output] - runStart};
            ColumnMeans(run, rowBytes, bits + output * newStride);
            runStart = rowEnds[output];
        }
    }
    for (; output < static_cast<uint32_t>(newHeight) && newWidth > 0; ++output)
        memmove(bits + output * newStride, bits + output * stride, rowBytes);
    WriteTrace(TraceLabel::ReduceRows, startTick);
    WriteTrace(TraceLabel::ReduceColumns, startTick);
    WriteTrace(TraceLabel::ReduceMove, startTick);

    SetImageSize(image, layout.headerSize, newWidth, newHeight);
    picture.Layout.width = newWidth;
    picture.Layout.height = newHeight;
    free(ends);
}
