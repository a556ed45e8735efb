// The loader signature shared by the file-type table: a NUL-terminated path in, an owned
// PackedDib or none out. Loaders show no message; when they give none they leave a short reason
// that tools can report (the slideshow itself never shows it).
#pragma once
#include "imaging/packed_dib.h"

typedef PackedDib (*ImageLoader)(const char* path);

// The reason the last load on this thread gave none ("" after a successful load).
const char* LastLoadFailure();
void SetLoadFailure(const char* reason);
