// JPEG decoding into 24-bit bottom-up images, from files and from bytes in memory.
#pragma once
#include <cstdint>

#include "imaging/image_loader.h"

PackedDib LoadJpegFile(const char* path);

// Decodes a JPEG stream held in memory (the embedded logo). The bytes must stay valid for the call.
PackedDib LoadJpegMemory(const unsigned char* bytes, uint32_t length);
