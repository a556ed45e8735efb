// The colour step of a JPEG: its ICC profile, from the APP2 "ICC_PROFILE" segments put together in
// their sequence order, as a transform for the pixels the decoder gives.
#pragma once
#include <cstdio>

#include <jpeglib.h>

#include "imaging/colour_profile.h"

// Markers the profile needs kept; called before jpeg_read_header.
void KeepJpegProfileSegments(j_decompress_ptr decoder);

// After jpeg_read_header and the choice of output colour space: the transform for the decoder's
// output, or nullptr for a file without a usable profile (its pixels stay as decoded).
ColourTransform* JpegColourTransform(j_decompress_ptr decoder);
