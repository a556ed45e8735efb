// The soft backdrop beside a picture that does not fill the show area: the picture itself, made
// to cover the whole area, blurred and darkened. It is made small from the fitted picture, so the
// blur costs little, and then stretched smoothly to the area's size, so the window only copies it.
#pragma once
#include <cstdint>

#include "imaging/packed_dib.h"

enum {
    BackdropCellPixels = 16,  // one pixel of the small copy stands for 16 x 16 of the area
    BackdropBlurRadius = 2,   // in pixels of the small copy; two box passes each way
    BackdropBrightnessPercent = 40,
};

// A new 24-bit, bottom-up picture of width x height behind the fitted picture, or none: when the
// picture fills the area (it shows no bar), is of a kind the backdrop does not read (compressed
// rows), or memory is short.
DibPicture MakeBackdrop(const DibPicture& picture, int32_t width, int32_t height);
