// Pictures the platform's own imaging component decodes: on Windows, every extension a decoder of
// the Windows Imaging Component claims (HEIC, AVIF, TIFF, GIF, JPEG XR, camera formats where their
// codecs are installed), loaded through it; where the component is missing they are not pictures.
// Elsewhere the kinds Windows commonly decodes are known, so that the tools can say why they give
// no picture.
#pragma once
#include "imaging/image_loader.h"

// The loader for a file of this extension (with its dot, any case), nullptr when no decoder of the
// platform claims it. The file-type table's own rows come first.
ImageLoader SystemDecoderFor(const char* extension);

// The extensions the platform's decoders claim, lower case with their dots, for the browse
// filter: Count of them, each by number.
int SystemDecoderExtensionCount();
const char* SystemDecoderExtension(int index);
