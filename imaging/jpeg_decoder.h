// JPEG decoding into 24-bit bottom-up images, from files and from bytes in memory. Colour,
// grayscale, CMYK and YCCK files all give 24-bit images; a stream the library cannot decode, one
// too large for the sizes every build addresses, or one whose header claims more than its bytes
// can hold, gives none with its reason.
#pragma once
#include <cstdint>

#include "imaging/image_loader.h"

LoadResult LoadJpegFile(const char* path, const LoadControl& control);

// Decodes a JPEG stream held in memory (the embedded logo). The bytes must stay valid for the call.
LoadResult LoadJpegMemory(const unsigned char* bytes, uint32_t length, const LoadControl& control);
