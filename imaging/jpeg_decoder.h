// JPEG decoding into 24-bit bottom-up images, from files and from bytes in memory. Colour,
// grayscale, CMYK and YCCK files all give 24-bit images; a stream the library cannot decode, or
// one too large for the sizes every build addresses, gives none and leaves its reason.
#pragma once
#include <cstdint>

#include "imaging/image_loader.h"

PackedDib LoadJpegFile(const char* path);

// Decodes a JPEG stream held in memory (the embedded logo). The bytes must stay valid for the call.
PackedDib LoadJpegMemory(const unsigned char* bytes, uint32_t length);
