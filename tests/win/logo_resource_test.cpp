// The embedded logo decoded through the real resource API of the running program (this test
// program links the same resource script as the .scr), compared with a decode of the .jpg file the
// resource was made from.
//
// Usage: logo_resource_test LOGO_JPG_PATH
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imaging/jpeg_decoder.h"
#include "imaging/jpeg_resource.h"
#include "imaging/memory_source.h"
#include "imaging/packed_dib.h"
#include "resources/resource_ids.h"
#include "tests/win/check.h"

namespace {

const int LogoWidth = 609;
const int LogoHeight = 448;
const int LogoStride = 1828;  // 609 × 3 = 1827, filled up to a multiple of 4

// Colours within a few steps: JPEG is lossy, but a picture turned upside down or with red and
// blue swapped is far off.
bool PixelNear(const unsigned char* bgr, int red, int green, int blue) {
    return abs(bgr[2] - red) <= 12 && abs(bgr[1] - green) <= 12 && abs(bgr[0] - blue) <= 12;
}

void CheckLogoImage(PackedDib logo) {
    const DibInfoHeader* header = PackedDibHeader(logo);
    CheckEqual(header->biSize, 40, "information header");
    CheckEqual(header->biWidth, LogoWidth, "logo width");
    CheckEqual(header->biHeight, LogoHeight, "logo height (bottom-up)");
    CheckEqual(header->biBitCount, 24, "logo bit count");
    CheckEqual(PackedDibColorCount(logo), 0, "no colour table");
    CheckEqual(PackedDibBits(logo) - logo, 40, "rows start after the header");
    // The picture's top row is the block's last: the sky's deep blue. Its bottom row, the block's
    // first, is the lake's darkest blue (make_artwork.py).
    const unsigned char* bits = PackedDibBits(logo);
    const unsigned char* topRow = bits + LogoStride * (LogoHeight - 1);
    Check(PixelNear(topRow, 24, 20, 68), "top-left pixel is the sky's colour");
    Check(PixelNear(bits, 18, 24, 58), "bottom-left pixel is the lake's colour");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: logo_resource_test LOGO_JPG_PATH\n");
        return 2;
    }
    const LoadResult logo = LoadJpegResource(MAKEINTRESOURCEA(LOGO_JPEG));
    PackedDib fromResource = logo.Image;
    PackedDib fromFile = LoadJpegFile(argv[1], NeverStop).Image;
    if (Check(fromResource != nullptr, "LoadJpegResource(112) gives an image")) CheckLogoImage(fromResource);
    if (Check(fromFile != nullptr, "LoadJpegFile of the logo file gives an image") && fromResource) {
        const DibInfoHeader* fileHeader = PackedDibHeader(fromFile);
        CheckEqual(fileHeader->biWidth, LogoWidth, "file decode width");
        CheckEqual(fileHeader->biHeight, LogoHeight, "file decode height");
        CheckEqual(fileHeader->biBitCount, 24, "file decode bit count");
        Check(memcmp(PackedDibBits(fromResource), PackedDibBits(fromFile),
                     static_cast<size_t>(LogoStride) * LogoHeight) == 0,
              "resource and file decode to the same rows, pads included");
    }
    free(fromResource);
    free(fromFile);

    Check(LoadJpegResource(MAKEINTRESOURCEA(113)).Image == nullptr, "a missing resource id gives none");
    Check(LoadJpegResource("NOSUCHLOGO").Image == nullptr, "a missing resource name gives none");
    return FinishChecks();
}
