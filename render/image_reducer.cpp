// The reduction in one pass over the source rows: each output row is made from its run of source
// rows as soon as they have been read, and goes straight to its place at the new row length, so the
// rows are read once and only the output columns are worked out.
#include "render/image_reducer.h"

#include <cstdlib>
#include <cstring>

#include "platform/debug_output.h"
#include "render/reduction_plan.h"
#include "render/row_group_average.h"

namespace {

void SetImageSize(PackedDib image, uint32_t headerSize, int32_t width, int32_t height) {
    if (headerSize == DibCoreHeaderSize) {
        const uint16_t coreWidth = static_cast<uint16_t>(width),
                       coreHeight = static_cast<uint16_t>(height);
        memcpy(image + 4, &coreWidth, 2);
        memcpy(image + 6, &coreHeight, 2);
        return;
    }
    memcpy(image + 4, &width, 4);
    memcpy(image + 8, &height, 4);
}

}  // namespace

ImageReducer::~ImageReducer() { free(Weights); }

void ImageReducer::ProcessImage(PackedDib image, int32_t targetWidth, int32_t targetHeight) {
    if (!image) return;
    const DibLayout layout = ReadDibLayout(image);
    if (layout.bitCount != 24 || layout.compression != DibCompressionRgb) return;
    const int32_t sourceWidth = layout.width, sourceHeight = layout.height;
    int32_t newWidth, newHeight;
    if (!FitSize(sourceWidth, sourceHeight, targetWidth, targetHeight, &newWidth, &newHeight))
        return;

    const bool wide = sourceWidth > sourceHeight;
    const int32_t weightCount = wide ? sourceWidth : sourceHeight;
    free(Weights);
    Weights = static_cast<int32_t*>(malloc(sizeof(int32_t) * (weightCount > 0 ? weightCount : 1)));
    const size_t outputs = newWidth > 0 ? static_cast<size_t>(newWidth) : 1;
    PixelRun* runs = static_cast<PixelRun*>(malloc(sizeof(PixelRun) * outputs));
    if (!Weights || !runs) {
        free(runs);
        return;
    }
    FillWeights(Weights, weightCount, wide ? newWidth : newHeight);
    // The row pass reads the first sourceWidth weights and the column pass the first sourceHeight.
    const RunLengths lengths = FillPixelRuns(Weights, sourceWidth, newWidth, runs);
    // Chunks serve the SSE2 kernel, which takes no run longer than a chunk.
    const uint32_t chunkCount =
        lengths.Longest <= ChunkPixels ? SplitIntoChunks(runs, lengths.Closed, nullptr) : 0;
    RunChunk* chunks =
        static_cast<RunChunk*>(malloc(sizeof(RunChunk) * (chunkCount > 0 ? chunkCount : 1)));
    if (!chunks) {
        free(runs);
        return;
    }
    SplitIntoChunks(runs, chunkCount ? lengths.Closed : 0, chunks);
    const PixelRunTable table = {runs, static_cast<uint32_t>(newWidth), lengths, chunks,
                                 chunkCount};

    const uint32_t startTick = TickCount();
    unsigned char* bits = image + layout.bitsOffset;
    const size_t stride = static_cast<size_t>(DibStride(static_cast<uint64_t>(sourceWidth), 24));
    const size_t newStride = static_cast<size_t>(DibStride(static_cast<uint64_t>(newWidth), 24));

    // Output row k comes from the k-th run of source rows. Its place, k new rows up, never lies
    // past the first row of its run, so everything under it has been read.
    int32_t outputRow = 0, runStart = 0;
    for (int32_t row = 0; row < sourceHeight && outputRow < newHeight; ++row) {
        if (Weights[row] == 0) continue;
        const RowGroup group = {bits + runStart * stride, stride,
                                static_cast<uint32_t>(row + 1 - runStart)};
        AverageRowGroup(group, table, bits + outputRow * newStride);
        ++outputRow;
        runStart = row + 1;
    }
    // When the weights close fewer row runs than the new height, the rows above keep what the row
    // pass alone made of the source row at their own height.
    for (; outputRow < newHeight; ++outputRow) {
        const RowGroup group = {bits + outputRow * stride, stride, 1};
        AverageRowGroup(group, table, bits + outputRow * newStride);
    }
    WriteTrace("\trows", startTick);
    WriteTrace("\tcols", startTick);
    WriteTrace("\tmove", startTick);

    SetImageSize(image, layout.headerSize, newWidth, newHeight);
    free(runs);
    free(chunks);
    free(Weights);
    Weights = nullptr;
}
