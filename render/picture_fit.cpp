// The fit aims at the area turned back to the stored picture's sides, so the reduction runs once,
// on the picture as stored, and the turn after it only moves the few pixels that are left.
#include "render/picture_fit.h"

#include "platform/debug_output.h"
#include "platform/trace_labels.h"
#include "render/image_reducer.h"
#include "render/picture_turn.h"

PackedDib FitPicture(PackedDib image, uint8_t orientation, int32_t width, int32_t height) {
    if (!image) return image;
    const bool swaps = OrientationSwapsSides(orientation);
    const int32_t storedWidth = swaps ? height : width;
    const int32_t storedHeight = swaps ? width : height;
    const DibLayout layout = ReadDibLayout(image);
    if (storedWidth < layout.width || storedHeight < layout.height) {
        const uint32_t startTick = TickCount();
        ImageReducer reducer;
        reducer.ProcessImage(image, storedWidth, storedHeight);
        WriteTrace(TraceLabel::ProcessImage, startTick);
    }
    return TurnUpright(image, orientation);
}
