#include "render/prepared_picture.h"

#include <cstdlib>

#include "platform/debug_output.h"
#include "platform/trace_labels.h"
#include "render/picture_fit.h"

PreparedPicture PreparePicture(PackedDib image, uint8_t orientation, int32_t width, int32_t height,
                               bool paletteDisplay) {
    PreparedPicture picture = {};
    if (!image) return picture;
    // The palette is made from the picture as it will be drawn: reduced and turned.
    picture.Image = FitPicture(ReadDibPicture(image), orientation, width, height);
    if (paletteDisplay) {
        const uint32_t startTick = TickCount();
        picture.Palette = CreateBIPaletteEntries(picture.Image.Block, picture.Image.Layout);
        WriteTrace(TraceLabel::CreateBIPalette, startTick);
    }
    return picture;
}

void ReleasePreparedPicture(PreparedPicture& picture) {
    free(picture.Image.Block);
    free(picture.Palette);
    free(picture.Backdrop.Block);
    picture = {};
}
