#include "render/prepared_load.h"

#include "render/streamed_reduction.h"

PreparedPicture LoadPreparedPicture(PictureLoad load, void* context, const LoadControl& control, int32_t width,
                                    int32_t height, bool paletteDisplay, LoadResult* loaded) {
    StreamedReduction reduction;
    OpenStreamedReduction(&reduction, width, height);
    LoadControl streamed = control;
    streamed.Sink = &reduction.Sink;
    *loaded = load(context, streamed);
    CloseStreamedReduction(&reduction);
    // A streamed picture already fits; PreparePicture only turns it and makes its palette.
    const PreparedPicture picture = PreparePicture(loaded->Image, loaded->Orientation, width, height, paletteDisplay);
    loaded->Image = nullptr;
    return picture;
}
