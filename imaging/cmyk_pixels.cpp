// CMYK to RGB by the simple product rule (no colour profile), with rounding.
#include "imaging/cmyk_pixels.h"

namespace {

// How much light an ink sample lets through, 0 to 255.
unsigned int Clearness(unsigned int sample, bool adobeInverted) { return adobeInverted ? sample : 255 - sample; }

unsigned char Product(unsigned int a, unsigned int b) { return static_cast<unsigned char>((a * b + 127) / 255); }

}  // namespace

void CmykRowToBgr(const unsigned char* cmyk, unsigned char* bgr, uint32_t width, bool adobeInverted) {
    for (uint32_t x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        const unsigned int paper = Clearness(cmyk[3], adobeInverted);
        bgr[0] = Product(Clearness(cmyk[2], adobeInverted), paper);
        bgr[1] = Product(Clearness(cmyk[1], adobeInverted), paper);
        bgr[2] = Product(Clearness(cmyk[0], adobeInverted), paper);
    }
}
