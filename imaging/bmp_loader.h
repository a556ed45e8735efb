// BMP files: the body after the 14-byte file header becomes the image block, once validated.
#pragma once
#include "imaging/image_loader.h"

LoadResult LoadBmpFile(const char* path, const LoadControl& control);
