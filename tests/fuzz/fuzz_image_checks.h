// What every image a loader returns must satisfy, checked on fuzz inputs: the block holds
// everything its header promises, so reading it (as drawing and reduction do) stays inside.
#pragma once
#include <cstdlib>

#include "imaging/image_loader.h"

inline void CheckLoadedImage(const unsigned char* image, size_t blockSize) {
    const DibLayout layout = ReadDibLayout(image);
    const bool runLength = layout.compression == DibCompressionRle8 || layout.compression == DibCompressionRle4;
    if (layout.width <= 0 || layout.height <= 0) abort();
    const uint64_t rowBytes = runLength
                                  ? PackedDibHeader(image)->biSizeImage
                                  : DibStride(static_cast<uint64_t>(layout.width), layout.bitCount) * layout.height;
    if (layout.bitsOffset + rowBytes > blockSize) abort();
    // Touch every byte, so that a block shorter than reported trips AddressSanitizer.
    volatile unsigned sum = 0;
    for (size_t i = 0; i < blockSize; ++i) sum = sum + image[i];
}

// Decoded rows end in zero pad bytes, as the decoders write them.
inline void CheckZeroPads(const unsigned char* image) {
    const DibLayout layout = ReadDibLayout(image);
    const size_t stride = static_cast<size_t>(DibStride(static_cast<uint64_t>(layout.width), layout.bitCount));
    const size_t pixelBytes = static_cast<size_t>(layout.width) * layout.bitCount / 8;
    const unsigned char* rows = PackedDibBits(image);
    for (int32_t y = 0; y < layout.height; ++y) {
        for (size_t i = pixelBytes; i < stride; ++i) {
            if (rows[y * stride + i] != 0) abort();
        }
    }
}

// JPEG images are 24-bit with no table and zero pad bytes.
inline void CheckDecodedJpeg(const unsigned char* image, size_t blockSize) {
    CheckLoadedImage(image, blockSize);
    const DibLayout layout = ReadDibLayout(image);
    if (layout.bitCount != 24 || layout.bitsOffset != DibInfoHeaderSize) abort();
    CheckZeroPads(image);
}

// PNG images are 24-bit with no table, or 8-bit with a table of 2, 4, 16 or 256 entries that
// every pixel indexes; zero pad bytes either way.
inline void CheckDecodedPng(const unsigned char* image, size_t blockSize) {
    CheckLoadedImage(image, blockSize);
    const DibLayout layout = ReadDibLayout(image);
    if (layout.headerSize != DibInfoHeaderSize || layout.compression != DibCompressionRgb) abort();
    if (layout.bitCount == 24) {
        if (layout.bitsOffset != DibInfoHeaderSize) abort();
    } else if (layout.bitCount == 8) {
        if (layout.colorCount != 2 && layout.colorCount != 4 && layout.colorCount != 16 && layout.colorCount != 256)
            abort();
        const size_t stride = static_cast<size_t>(DibStride(static_cast<uint64_t>(layout.width), 8));
        const unsigned char* rows = PackedDibBits(image);
        for (int32_t y = 0; y < layout.height; ++y) {
            for (int32_t x = 0; x < layout.width; ++x) {
                if (rows[y * stride + x] >= layout.colorCount) abort();
            }
        }
    } else {
        abort();
    }
    CheckZeroPads(image);
}
