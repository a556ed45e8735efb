// The slow half of putting a picture on the screen, free of the window: the picture fitted to the
// show area and turned upright, and on a palette display the entries of its palette. The saver's
// worker thread makes it; the window's thread only makes the palette object and draws.
#pragma once
#include <cstdint>

#include "imaging/packed_dib.h"
#include "render/palette_entries.h"

struct PreparedPicture {
    DibPicture Image;     // owned; no block: nothing to draw
    LogPalette* Palette;  // owned; none: the picture gets no palette
    // Owned; no block: black beside the picture. Made by the caller after PreparePicture
    // (render/backdrop.h), the size of the show area.
    DibPicture Backdrop;
};

// Takes the image (it may be reduced in place, or replaced by its turned copy), reads its header
// once for the whole way to the screen, and fits it to an
// area of width x height; paletteDisplay: build the palette entries too, writing the
// "CreateBIPalette " trace. An image of none gives an empty picture.
PreparedPicture PreparePicture(PackedDib image, uint8_t orientation, int32_t width, int32_t height,
                               bool paletteDisplay);

// Frees what the picture holds and empties it.
void ReleasePreparedPicture(PreparedPicture& picture);
