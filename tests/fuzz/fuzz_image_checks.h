// What every image a loader returns must satisfy, checked on fuzz inputs: the block holds
// everything its header promises, so reading it (as drawing and reduction do) stays inside.
#pragma once
#include <cstdlib>

#include "imaging/image_loader.h"

inline void CheckLoadedImage(const unsigned char* image, size_t blockSize) {
    const DibLayout layout = ReadDibLayout(image);
    const bool runLength = layout.compression == DibCompressionRle8 || layout.compression == DibCompressionRle4;
    if (layout.width <= 0 || layout.height <= 0) abort();
    const uint64_t rowBytes = runLength ? PackedDibHeader(image)->biSizeImage
                                        : DibStride(static_cast<uint64_t>(layout.width), layout.bitCount) * layout.height;
    if (layout.bitsOffset + rowBytes > blockSize) abort();
    // Touch every byte, so that a block shorter than reported trips AddressSanitizer.
    volatile unsigned sum = 0;
    for (size_t i = 0; i < blockSize; ++i) sum = sum + image[i];
}

// JPEG images are 24-bit with no table and zero pad bytes.
inline void CheckDecodedJpeg(const unsigned char* image, size_t blockSize) {
    CheckLoadedImage(image, blockSize);
    const DibLayout layout = ReadDibLayout(image);
    if (layout.bitCount != 24 || layout.bitsOffset != DibInfoHeaderSize) abort();
    const size_t stride = static_cast<size_t>(DibStride(static_cast<uint64_t>(layout.width), 24));
    const unsigned char* rows = PackedDibBits(image);
    for (int32_t y = 0; y < layout.height; ++y) {
        for (size_t i = static_cast<size_t>(layout.width) * 3; i < stride; ++i) {
            if (rows[y * stride + i] != 0) abort();
        }
    }
}
