// PNG files through libpng: every colour type, bit depth and interlacing. A palette picture
// without transparency becomes an 8-bit image with its own palette; every other picture a 24-bit
// image, 16-bit samples scaled to 8 and transparency composited on black, the saver's background.
// A file libpng cannot read, one too large for the sizes every build addresses, or one whose
// compressed data is too short to hold its rows gives none with its reason.
#pragma once
#include "imaging/image_loader.h"

LoadResult LoadPngFile(const char* path, const LoadControl& control);
