// The fit aims at the area turned back to the stored picture's sides, so the reduction runs once,
// on the picture as stored, and the turn after it only moves the few pixels that are left.
#include "render/picture_fit.h"

#include <cstdlib>

#include "platform/debug_output.h"
#include "platform/trace_labels.h"
#include "render/image_reducer.h"
#include "render/picture_turn.h"
#include "render/reduction_plan.h"

bool FittedSize(int32_t width, int32_t height, uint8_t orientation, int32_t areaWidth, int32_t areaHeight,
                int32_t* newWidth, int32_t* newHeight) {
    const bool swaps = OrientationSwapsSides(orientation);
    const int32_t storedWidth = swaps ? areaHeight : areaWidth;
    const int32_t storedHeight = swaps ? areaWidth : areaHeight;
    if (!(storedWidth < width || storedHeight < height) ||
        !FitSize(width, height, storedWidth < 0 ? 0 : storedWidth, storedHeight < 0 ? 0 : storedHeight, newWidth,
                 newHeight))
        return false;
    // A thin picture keeps a line of itself rather than fitting to nothing.
    if (*newWidth < 1 && width > 0) *newWidth = 1;
    if (*newHeight < 1 && height > 0) *newHeight = 1;
    return true;
}

DibPicture FitPicture(DibPicture picture, uint8_t orientation, int32_t width, int32_t height, bool mayReplace) {
    if (!picture.Block) return picture;
    const DibLayout& layout = picture.Layout;
    int32_t newWidth, newHeight;
    if (FittedSize(layout.width, layout.height, orientation, width, height, &newWidth, &newHeight)) {
        const uint32_t startTick = TickCount();
        if (layout.bitCount == 24 && layout.compression == DibCompressionRgb) {
            ImageReducer reducer;
            reducer.ReduceTo(picture, newWidth, newHeight);
        } else if (mayReplace) {
            // Other depths are drawn from 24 bits once reduced; a picture with no room for its
            // reduced copy is drawn as it is.
            const DibPicture reduced = ReduceToTrueColour(picture, newWidth, newHeight);
            if (reduced.Block) {
                free(picture.Block);
                picture = reduced;
            }
        }
        WriteTrace(TraceLabel::ProcessImage, startTick);
    }
    return TurnUpright(picture, orientation);
}
