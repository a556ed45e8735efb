// The reduction of a picture that is not plain 24-bit: its rows are expanded a band at a time,
// each band has the row pass, and the row-pass results of the runs still open wait in a small
// store until their output rows are made. Nothing of the size of the picture is held beside it.
#include <cstdlib>
#include <cstring>

#include "render/column_means.h"
#include "render/image_reducer.h"
#include "render/reduction_plan.h"
#include "render/row_means.h"
#include "render/true_colour_rows.h"

namespace {

// A band of expanded rows stays within a few megabytes however wide the picture is.
const size_t BandBytes = 16u << 20;

struct Buffers {
    unsigned char* Band = nullptr;
    unsigned char* Store = nullptr;
    ~Buffers() {
        free(Band);
        free(Store);
    }
};

}  // namespace

PackedDib ReduceToTrueColour(const unsigned char* image, int32_t newWidth, int32_t newHeight) {
    TrueColourRows source;
    if (!image || !OpenTrueColourRows(image, &source)) return nullptr;
    const int32_t sourceWidth = source.Layout.width, sourceHeight = source.Layout.height;
    if (newWidth < 1 || newHeight < 1 || newWidth > sourceWidth || newHeight > sourceHeight)
        return nullptr;
    ReductionRuns plan;
    if (!PlanReduction(sourceWidth, sourceHeight, newWidth, newHeight, &plan)) return nullptr;
    SmallDivisor divisors[LargestSmallDivisor + 1];
    for (uint32_t length = 1; length <= plan.Columns.Longest && length <= LargestSmallDivisor; ++length)
        divisors[length] = MakeSmallDivisor(length);
    const RowPass pass = {plan.Ends, plan.Columns, divisors};

    const size_t stride = static_cast<size_t>(DibStride(static_cast<uint64_t>(sourceWidth), 24));
    const size_t pixelBytes = 3 * static_cast<size_t>(sourceWidth);
    const size_t newStride = static_cast<size_t>(DibStride(static_cast<uint64_t>(newWidth), 24));
    const size_t rowBytes = 3 * static_cast<size_t>(newWidth);
    uint32_t bandRows = static_cast<uint32_t>(BandBytes / stride);
    if (bandRows > Avx2Rows) bandRows = Avx2Rows;
    if (bandRows < 1) bandRows = 1;
    // Rows the closed row runs read; those past them are needed only where the new height has
    // more rows than the runs close, and then as they are.
    const uint32_t lastRunEnd = plan.Rows.Closed ? plan.RowEnds[plan.Rows.Closed - 1] : 0;

    Buffers buffers;
    PackedDib reduced = CreatePackedDib(static_cast<uint32_t>(newWidth), static_cast<uint32_t>(newHeight), 24);
    buffers.Band = static_cast<unsigned char*>(calloc(bandRows, stride));
    buffers.Store = static_cast<unsigned char*>(malloc((plan.Rows.Longest + bandRows) * rowBytes + 64));
    if (!reduced || !buffers.Band || !buffers.Store) {
        free(reduced);
        free(plan.Ends);
        return nullptr;
    }
    unsigned char* out = PackedDibBits(reduced);
    memset(out, 0, newStride * static_cast<size_t>(newHeight));

    uint32_t output = 0, runStart = 0, storeFirst = 0, stored = 0;
    for (uint32_t row = 0; row < plan.RowsUsed; row += bandRows) {
        const uint32_t count = plan.RowsUsed - row < bandRows ? plan.RowsUsed - row : bandRows;
        for (uint32_t i = 0; i < count; ++i) {
            unsigned char* line = buffers.Band + stride * i;
            ReadTrueColourRow(&source, line);
            memset(line + pixelBytes, 0, stride - pixelBytes);
        }
        RowMeans({buffers.Band, stride, count, stride * count}, pass);
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t r = row + i;
            const unsigned char* result = buffers.Band + stride * i;
            if (r < lastRunEnd) memcpy(buffers.Store + rowBytes * stored++, result, rowBytes);
            if (r >= plan.Rows.Closed && r < static_cast<uint32_t>(newHeight))
                memcpy(out + newStride * r, result, rowBytes);
        }
        for (; output < plan.Rows.Closed && plan.RowEnds[output] <= row + count; ++output) {
            const RowRun run = {buffers.Store + rowBytes * (runStart - storeFirst), rowBytes,
                                plan.RowEnds[output] - runStart};
            ColumnMeans(run, rowBytes, out + newStride * output);
            runStart = plan.RowEnds[output];
        }
        // The rows of closed runs are done with.
        const uint32_t done = runStart - storeFirst;
        memmove(buffers.Store, buffers.Store + rowBytes * done, rowBytes * (stored - done));
        stored -= done;
        storeFirst = runStart;
    }
    free(plan.Ends);
    return reduced;
}
