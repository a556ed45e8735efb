// The PNG loader on arbitrary file contents. Every whole chunk gets its CRC made right first, as
// libpng's own fuzzer skips the check: otherwise almost every change would end at the check.
//
// Kept fast as the JPEG targets are: an input whose header claims more than a million pixels is
// passed over when the loader would decode it, since a 1-bit picture of a few kilobytes of rows
// of nothing becomes a hundred megabytes of image and only burns time. Headers the loader refuses
// (too large, or image data that cannot hold even a bit a pixel) are still loaded.
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_image_checks.h"
#include "fuzz_input_file.h"
#include "imaging/png_loader.h"

namespace {

uint32_t BigEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// Makes every whole chunk's CRC right; returns the bytes of image data the chunks hold.
uint64_t FixChunkCrcs(std::vector<uint8_t>& png) {
    uint64_t data = 0;
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = BigEndian32(&png[at]);
        if (length > png.size() - at - 12) break;
        const uLong crc = crc32(0, &png[at + 4], 4 + length);
        for (int i = 0; i < 4; ++i) png[at + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        if (memcmp(&png[at + 4], "IDAT", 4) == 0) data += length;
        at += 12 + static_cast<size_t>(length);
    }
    return data;
}

bool WorthDecoding(const std::vector<uint8_t>& png, uint64_t data) {
    const uint64_t pixelLimit = 1u << 20;
    if (png.size() < 24) return true;
    const uint64_t width = BigEndian32(&png[16]);
    const uint64_t height = BigEndian32(&png[20]);
    const uint64_t pixels = width * height;
    return pixels <= pixelLimit || !DibSizeIsAddressable(width, height, 8) || data * 1032 * 8 < pixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> png(data, data + size);
    const uint64_t imageData = FixChunkCrcs(png);
    if (!WorthDecoding(png, imageData)) return 0;
    const std::string& path = FuzzInputPath(".png");
    if (!WriteFuzzInput(path, png.data(), png.size())) return 0;
    const LoadResult loaded = LoadPngFile(path.c_str(), NeverStop);
    if (loaded.Image) CheckDecodedPng(loaded.Image, loaded.BlockSize);
    free(loaded.Image);
    return 0;
}
