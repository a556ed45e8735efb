// A bare libjpeg decode, the way djpeg decodes to a PPM: the library's stdio source, its default
// output (RGB, or one gray sample a pixel), every row into one plain buffer, the top row first.
// The oracle the JPEG loaders are checked against on builds whose library differs from the
// system's djpeg, and the baseline of their benchmark.
#pragma once
#include <cstdint>

namespace reference {

struct JpegPicture {
    uint32_t Width;
    uint32_t Height;
    int Components;         // 3, or 1 for grayscale
    unsigned char* Pixels;  // malloc'd, Width × Components bytes a row, no padding; caller frees
};

// False when the library gives up on the file (djpeg's exit status 1); warnings are ignored, as
// djpeg ignores them.
bool DecodeJpegFile(const char* path, JpegPicture* picture);

}  // namespace reference
