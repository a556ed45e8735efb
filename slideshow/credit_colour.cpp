// Credit line colours.
#include "slideshow/credit_colour.h"

#include <cmath>

#include "slideshow/slideshow_controller.h"

namespace {

// A turn (2π to nine places) over the credit frames, applied to twice the frame number: two turns.
const double AngleStep = 6.283185307 / CreditFrameCount;
const double GreenPhase = 2.0943951023333334;
const double BluePhase = 4.188790204666667;
const double ColourScale = 255.0;

uint32_t Channel(double angle) {
    const double level = sin(angle);
    if (level <= 0.0) return 0;
    return static_cast<uint32_t>(level * ColourScale);  // truncated toward zero: at most 255
}

}  // namespace

uint32_t CreditColour(int32_t frame) {
    const double angle = 2.0 * static_cast<double>(frame) * AngleStep;
    return Channel(angle) | (Channel(angle + GreenPhase) << 8) | (Channel(angle + BluePhase) << 16);
}
