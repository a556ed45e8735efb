// The loader signature shared by the file-type table: a NUL-terminated path in, an owned
// PackedDib or none out. Loaders show no message; when they give none they leave a short reason
// that tools can report (the slideshow itself never shows it).
#pragma once
#include <cstddef>

#include "imaging/packed_dib.h"

typedef PackedDib (*ImageLoader)(const char* path);

// The reason the last load gave none ("" after a successful load). The program has one thread,
// so one process-wide record serves.
const char* LastLoadFailure();
void SetLoadFailure(const char* reason);

// A loader that succeeds records the size of the block it returns: a BMP block may carry more
// than its header describes (a gap, an embedded colour profile), and tools that write the block
// out need all of it.
size_t LastLoadBlockSize();
void SetLoadSuccess(size_t blockSize);
