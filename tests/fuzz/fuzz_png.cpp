// The PNG loader on arbitrary file contents, every whole chunk's CRC made right first.
//
// Kept fast as the JPEG targets are: an input whose header claims more than a million pixels is
// passed over when the loader would decode it, since a 1-bit picture of a few kilobytes of rows
// of nothing becomes a hundred megabytes of image and only burns time. Headers the loader refuses
// (too large, or image data that cannot hold even a bit a pixel) are still loaded.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_image_checks.h"
#include "fuzz_input_file.h"
#include "fuzz_png_crcs.h"
#include "imaging/png_loader.h"

namespace {

bool WorthDecoding(const std::vector<uint8_t>& png, uint64_t data) {
    const uint64_t pixelLimit = 1u << 20;
    if (png.size() < 24) return true;
    const uint64_t width = FuzzBigEndian32(&png[16]);
    const uint64_t height = FuzzBigEndian32(&png[20]);
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
