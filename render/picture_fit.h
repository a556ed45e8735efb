// How a picture is readied for an area of the screen: reduced when it is larger than the area as
// it will stand, whatever its depth, then turned upright. The presenter and the tools share it, so that the
// tools show exactly what the saver draws.
#pragma once
#include <cstdint>

#include "imaging/packed_dib.h"

// The size the fit reduces a stored picture of width × height to, for an area of areaWidth ×
// areaHeight as the picture will stand; false when the picture is not larger than the area and
// keeps its size.
bool FittedSize(int32_t width, int32_t height, uint8_t orientation, int32_t areaWidth, int32_t areaHeight,
                int32_t* newWidth, int32_t* newHeight);

// The picture to draw: the same block, reduced and turned in place (plain 24-bit pictures), or a
// new block that replaced it: a 24-bit reduction of any other picture, or the turned shape.
// orientation: as the loader read it (1: as stored). No side of a reduced picture is 0. A caller
// that keeps the block it passed (mayReplace false) gets other depths back unreduced. Writes the
// "ProcessImage " trace when it reduces. The layout handed on says the picture as it now is.
DibPicture FitPicture(DibPicture picture, uint8_t orientation, int32_t width, int32_t height, bool mayReplace = true);
