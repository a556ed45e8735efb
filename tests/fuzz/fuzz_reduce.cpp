// The reduction on arbitrary sizes, targets and pixels: the production reducer against the plain
// reference, on the header and every visible pixel. Pad bytes come from the input too.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imaging/packed_dib.h"
#include "platform/debug_output.h"
#include "render/image_reducer.h"
#include "tests/reference/reference_reducer.h"

namespace {

void DropTrace(const char*) {}

uint32_t TakeU16(const uint8_t* data) { return data[0] | (data[1] << 8); }

// Pixel bytes: the input's own where it has them, then a generator seeded from the input, so that
// short inputs still give every run varied pixels.
void FillPixels(unsigned char* bits, size_t count, const uint8_t* data, size_t size) {
    uint32_t state = 2166136261u;
    for (size_t i = 0; i < size; ++i) state = (state ^ data[i]) * 16777619u;
    for (size_t i = 0; i < count; ++i) {
        state = state * 214013u + 2531011u;
        bits[i] = i < size ? data[i] : static_cast<unsigned char>(state >> 16);
    }
}

// Small enough for thousands of runs a second, wide or tall enough for runs past every kernel's
// limit.
const uint32_t LargestSide = 1500;
const uint32_t LargestArea = 90000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9) return 0;
    const uint8_t mode = data[0];
    const uint32_t width = 1 + TakeU16(data + 1) % LargestSide;
    uint32_t height = 1 + TakeU16(data + 3) % LargestSide;
    if (width * height > LargestArea) height = 1 + height % (LargestArea / width);
    // Targets from just below 0 to just past the source, or tiny ones for long runs.
    const uint32_t span = mode & 1 ? 9 : 0;
    const int32_t targetWidth = static_cast<int32_t>(TakeU16(data + 5) % (span ? span : width + 3)) - 1;
    const int32_t targetHeight = static_cast<int32_t>(TakeU16(data + 7) % (span ? span : height + 3)) - 1;

    PackedDib source = CreatePackedDib(width, height, 24);
    if (!source) return 0;
    const size_t rowBytes = DibStride(width, 24) * height;
    unsigned char* bits = PackedDibBits(source);
    FillPixels(bits, rowBytes, data + 9, size - 9);

    const size_t blockSize = 40 + rowBytes;
    PackedDib expected = static_cast<PackedDib>(malloc(blockSize));
    memcpy(expected, source, blockSize);
    SetDebugOutputSink(DropTrace);
    reference::ImageReducer().ProcessImage(expected, targetWidth, targetHeight);
    ImageReducer().ProcessImage(source, targetWidth, targetHeight);
    SetDebugOutputSink(nullptr);

    if (memcmp(expected, source, 40) != 0) {
        fprintf(stderr, "%ux%u into %dx%d: headers differ\n", width, height, targetWidth, targetHeight);
        abort();
    }
    const DibLayout layout = ReadDibLayout(expected);
    const size_t stride = DibStride(static_cast<uint64_t>(layout.width), 24);
    for (int32_t y = 0; y < layout.height; ++y) {
        const size_t row = 40 + y * stride;
        if (memcmp(expected + row, source + row, 3 * static_cast<size_t>(layout.width)) != 0) {
            fprintf(stderr, "%ux%u into %dx%d: row %d differs\n", width, height, targetWidth, targetHeight, y);
            abort();
        }
    }
    free(expected);
    free(source);
    return 0;
}
