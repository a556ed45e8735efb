// The reduction as the Windows program runs it, against the plain reference: the x64 build takes
// the vector kernels (AVX2 where the processor has it) under the Windows calling convention and
// its stack, which the native tests do not.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imaging/packed_dib.h"
#include "render/image_reducer.h"
#include "tests/reference/reference_reducer.h"
#include "tests/win/check.h"

namespace {

uint32_t NextRandom(uint32_t& state) {
    state = state * 1103515245u + 12345u;
    return state >> 8;
}

size_t BlockSize(const unsigned char* image) {
    const DibLayout layout = ReadDibLayout(image);
    return layout.bitsOffset + DibStride(static_cast<uint64_t>(layout.width), layout.bitCount) * layout.height;
}

// Header and visible pixels equal; pad bytes and rows past the new height are not promised.
bool SameVisiblePixels(const unsigned char* expected, const unsigned char* actual) {
    if (memcmp(expected, actual, 40) != 0) return false;
    const DibLayout layout = ReadDibLayout(expected);
    const size_t stride = DibStride(static_cast<uint64_t>(layout.width), 24);
    for (int32_t y = 0; y < layout.height; ++y) {
        const size_t at = layout.bitsOffset + y * stride;
        if (memcmp(expected + at, actual + at, 3 * static_cast<size_t>(layout.width)) != 0) return false;
    }
    return true;
}

void ReduceBothAndCompare(uint32_t width, uint32_t height, int32_t targetWidth, int32_t targetHeight, uint32_t& state) {
    PackedDib source = CreatePackedDib(width, height, 24);
    if (!Check(source != nullptr, "picture allocated")) return;
    const size_t size = BlockSize(source);
    unsigned char* bits = PackedDibBits(source);
    // Noise with smooth stretches, so that both short and long runs see varied sums.
    for (size_t i = 0; i < size - (bits - source); ++i)
        bits[i] = static_cast<unsigned char>(i % 7 ? NextRandom(state) : i / 3);
    unsigned char* expected = static_cast<unsigned char*>(malloc(size));
    unsigned char* actual = static_cast<unsigned char*>(malloc(size));
    memcpy(expected, source, size);
    memcpy(actual, source, size);
    reference::ImageReducer().ProcessImage(expected, targetWidth, targetHeight);
    ImageReducer().ProcessImage(actual, targetWidth, targetHeight);
    char what[96];
    snprintf(what, sizeof what, "%ux%u into %dx%d equals the reference", width, height, targetWidth, targetHeight);
    Check(SameVisiblePixels(expected, actual), what);
    free(actual);
    free(expected);
    free(source);
}

}  // namespace

int main() {
    uint32_t state = 7;
    // Screen-sized cases, then random ones of every shape: whole and partial blocks of rows,
    // runs from 1 pixel to past the vector kernels' limit.
    ReduceBothAndCompare(6000, 400, 1620, 1080, state);
    ReduceBothAndCompare(3000, 2000, 1024, 768, state);
    ReduceBothAndCompare(1600, 1200, 1024, 768, state);
    ReduceBothAndCompare(1025, 769, 1024, 768, state);
    ReduceBothAndCompare(5000, 40, 30, 768, state);
    for (int i = 0; i < 300; ++i) {
        const uint32_t width = 1 + NextRandom(state) % (i % 2 ? 900 : 120);
        const uint32_t height = 1 + NextRandom(state) % (i % 3 ? 70 : 20);
        const int32_t targetWidth = static_cast<int32_t>(NextRandom(state) % (width + 1));
        const int32_t targetHeight = static_cast<int32_t>(NextRandom(state) % (height + 1));
        ReduceBothAndCompare(width, height, targetWidth, targetHeight, state);
    }
    return FinishChecks();
}
