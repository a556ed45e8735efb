// The PNG loader on arbitrary file contents. Every whole chunk gets its CRC made right first, as
// libpng's own fuzzer skips the check: otherwise almost every change would end at the check.
#include <zlib.h>

#include <cstdlib>
#include <vector>

#include "fuzz_image_checks.h"
#include "fuzz_input_file.h"
#include "imaging/png_loader.h"

namespace {

uint32_t BigEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

void FixChunkCrcs(std::vector<uint8_t>& png) {
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = BigEndian32(&png[at]);
        if (length > png.size() - at - 12) break;
        const uLong crc = crc32(0, &png[at + 4], 4 + length);
        for (int i = 0; i < 4; ++i) png[at + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        at += 12 + static_cast<size_t>(length);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> png(data, data + size);
    FixChunkCrcs(png);
    const std::string& path = FuzzInputPath(".png");
    if (!WriteFuzzInput(path, png.data(), png.size())) return 0;
    const LoadResult loaded = LoadPngFile(path.c_str(), NeverStop);
    if (loaded.Image) CheckDecodedPng(loaded.Image, loaded.BlockSize);
    free(loaded.Image);
    return 0;
}
