// WebP pictures through libwebp: lossy and lossless, alpha composited on black, and of an
// animation its first frame on a black canvas. Sizes are checked from the header before any pixel
// memory; an embedded ICC profile goes through the colour step.
#pragma once
#include "imaging/image_loader.h"

LoadResult LoadWebpFile(const char* path, const LoadControl& control);
