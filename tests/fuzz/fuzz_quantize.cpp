// The octree quantizer and the palette entries on arbitrary 16-, 24- and 32-bit pictures, masks,
// colour limits and depths: the production versions against the plain references.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imaging/packed_dib.h"
#include "render/octree_quantizer.h"
#include "render/palette_entries.h"
#include "tests/reference/reference_octree.h"
#include "tests/reference/reference_palette.h"

namespace {

const uint32_t HeaderBytes = 17;  // kind, limit, depth, width, height, three masks

// Pixel bytes: the input's own where it has them, then a generator seeded from the input, so that
// short inputs still give many colours. Few distinct bytes in the input still give few colours.
void FillPixels(unsigned char* bits, size_t count, const uint8_t* data, size_t size) {
    uint32_t state = 2166136261u;
    for (size_t i = 0; i < size; ++i) state = (state ^ data[i]) * 16777619u;
    const uint32_t spread = size ? data[0] : 0;  // 0: any byte; else only as many as it says
    for (size_t i = 0; i < count; ++i) {
        state = state * 214013u + 2531011u;
        const uint32_t next = state >> 16;
        bits[i] =
            i < size ? data[i] : static_cast<unsigned char>(spread ? data[next % size] ^ (next % (spread + 1)) : next);
    }
}

void Fail(const char* what, uint32_t bitCount, uint32_t width, uint32_t height) {
    fprintf(stderr, "%u-bit %ux%u: %s differ\n", bitCount, width, height, what);
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < HeaderBytes) return 0;
    const uint32_t bitCounts[3] = {16, 24, 32};
    const uint32_t bitCount = bitCounts[data[0] % 3];
    const bool bitFields = bitCount != 24 && (data[0] & 4);
    const uint32_t limit = data[1] == 0 ? static_cast<uint32_t>(OctreeColorLimit) : data[1];
    const int32_t depth = data[2] < 200 ? static_cast<int32_t>(OctreeDepth) : data[2] % 10;
    const uint32_t width = 1 + data[3] % 120, height = 1 + data[4] % 120;

    const size_t stride = DibStride(width, bitCount);
    const size_t bitsOffset = 40 + (bitFields ? 12 : 0);
    PackedDib image = static_cast<PackedDib>(malloc(bitsOffset + stride * height));
    DibInfoHeader header = {};
    header.biSize = 40;
    header.biWidth = static_cast<int32_t>(width);
    header.biHeight = static_cast<int32_t>(height);
    header.biPlanes = 1;
    header.biBitCount = static_cast<uint16_t>(bitCount);
    header.biCompression = bitFields ? DibCompressionBitfields : DibCompressionRgb;
    memcpy(image, &header, sizeof header);
    if (bitFields) memcpy(image + 40, data + 5, 12);
    FillPixels(image + bitsOffset, stride * height, data + HeaderBytes, size - HeaderBytes);

    reference::OctreeQuantizer expected(limit, depth);
    OctreeQuantizer actual(limit, depth);
    if (expected.AddImage(image) != actual.AddImage(image)) Fail("results", bitCount, width, height);
    if (expected.GetColorCount() != actual.GetColorCount()) Fail("colour counts", bitCount, width, height);
    unsigned char* expectedTable = static_cast<unsigned char*>(calloc(limit + 1, 4));
    unsigned char* actualTable = static_cast<unsigned char*>(calloc(limit + 1, 4));
    expected.GetColorTable(expectedTable);
    actual.GetColorTable(actualTable);
    if (memcmp(expectedTable, actualTable, 4 * static_cast<size_t>(limit + 1)) != 0)
        Fail("colour tables", bitCount, width, height);
    free(expectedTable);
    free(actualTable);

    LogPalette* expectedPalette = reference::CreateBIPaletteEntries(image);
    LogPalette* actualPalette = CreateBIPaletteEntries(image);
    if (!expectedPalette != !actualPalette) Fail("palettes", bitCount, width, height);
    if (expectedPalette &&
        memcmp(expectedPalette, actualPalette, LogPaletteSize(expectedPalette->palNumEntries)) != 0) {
        Fail("palette entries", bitCount, width, height);
    }
    free(expectedPalette);
    free(actualPalette);
    free(image);
    return 0;
}
