// A packed DIB written out as a BMP file: the one writer of the tools, the benchmarks and the
// tests.
#pragma once
#include <cstddef>

// The 14-byte file header, then the block unchanged. False when the file could not be written.
bool WriteBmpFile(const char* path, const unsigned char* image, size_t blockSize);
