// A PNG's colour chunks (iCCP, sRGB, gAMA, cHRM) and its eXIf orientation, read from the chunks
// before the image data, so that libpng, which skips them unread, keeps its pixels as they are.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "imaging/colour_profile.h"
#include "imaging/exif_orientation.h"

struct PngColourChunks {
    unsigned char* Profile;  // the inflated iCCP profile (malloc'd), nullptr without one
    size_t ProfileLength;
    bool Srgb;
    uint32_t Gamma;  // times 100000; 0 without gAMA
    bool HasChromaticities;
    uint32_t Chromaticities[8];
    uint8_t Orientation;  // from eXIf; 1 without
    ExifDate Taken;       // from eXIf; Year 0 without
};

// Reads the chunks from the one after the signature up to the first IDAT. Chunks whose CRC does
// not match are passed over. Leaves the stream where it was.
PngColourChunks ReadPngColourChunks(FILE* file, uint64_t fileLength);

void FreePngColourChunks(PngColourChunks* chunks);

// As the PNG rules order them: the iCCP profile, else sRGB, else gAMA with cHRM; a description
// that cannot be used counts as missing. nullptr when the pixels stay as decoded.
ColourTransform* PngColourTransform(const PngColourChunks& chunks, ColourPixels pixels);
