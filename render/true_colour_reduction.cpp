// The reduction of a picture that is not plain 24-bit: its rows are expanded a band at a time
// into the streamed reduction, which holds nothing of the size of the picture beside it.
#include <cstdlib>
#include <cstring>

#include "render/image_reducer.h"
#include "render/streamed_reduction.h"
#include "render/true_colour_rows.h"

DibPicture ReduceToTrueColour(const DibPicture& picture, int32_t newWidth, int32_t newHeight) {
    TrueColourRows source;
    if (!picture.Block || !OpenTrueColourRows(picture, &source)) return {};
    const int32_t sourceWidth = source.Layout.width, sourceHeight = source.Layout.height;
    StreamedReduction reduction;
    OpenStreamedReduction(&reduction, -1, -1);
    if (!BeginStreamedReduction(&reduction, sourceWidth, sourceHeight, newWidth, newHeight)) return {};
    const RowSink& sink = reduction.Sink;
    const uint32_t rowsUsed = reduction.Plan.RowsUsed, bandRows = reduction.BandRows;
    for (uint32_t row = 0; row < rowsUsed; row += bandRows) {
        const uint32_t count = rowsUsed - row < bandRows ? rowsUsed - row : bandRows;
        for (uint32_t i = 0; i < count; ++i) ReadTrueColourRow(&source, sink.BandRow(sink.Context, i));
        sink.TakeBand(sink.Context, row, count, false);
    }
    const DibPicture reduced = FinishStreamedReduction(&reduction);
    CloseStreamedReduction(&reduction);
    return reduced;
}
