// How a picture is readied for an area of the screen: reduced in place when it is larger than the
// area as it will stand, then turned upright. The presenter and the tools share it, so that the
// tools show exactly what the saver draws.
#pragma once
#include <cstdint>

#include "imaging/packed_dib.h"

// The picture to draw: the same block, reduced (24-bit only) and turned in place, or a new block
// of the turned shape that replaced it. orientation: as the loader read it (1: as stored). Writes
// the "ProcessImage " trace when it reduces.
PackedDib FitPicture(PackedDib image, uint8_t orientation, int32_t width, int32_t height);
