// The two rules for what goes over a slide, free of the window: where the caption line stands, and
// how the fade's frames blend the next slide in over the one on screen.
#pragma once
#include <cstdint>

#include "render/show_area.h"

// The caption line's place: its top edge, or none. It stands near the bottom of the show area,
// but never over the middle third (top to bottom) of the picture: lower where that leaves room
// under the middle third, else not at all.
struct CaptionPlace {
    bool Shown;
    int32_t Top;
};
CaptionPlace PlaceCaption(const PixelRect& area, const PixelRect& picture, int32_t lineHeight);

// The caption's letters: a twentieth of the show area's height, at least 12 pixels, at most 40.
int32_t CaptionLineHeight(const PixelRect& area);

enum : uint32_t {
    FadeMs = 1000,     // a fade lasts about a second...
    FadeFrameMs = 20,  // ...in frames this far apart
    FullyShown = 255,
    FadeLeastStep = 5,  // of FullyShown: at most 51 blends in a fade however fast the ticks come
};

// How long a fade takes for slides intervalMs apart: FadeMs, or half the interval when that is
// shorter, so that a fade always ends well before the next slide; 0 is a cut.
uint32_t FadeDurationMs(int32_t intervalMs);

// One frame of the fade. Each frame blends the whole next slide over what is on screen at Alpha;
// shown is how much of the next slide is on screen already (0 to FullyShown), so the frame's
// alpha is what brings it to where the fade is elapsedMs in, and Shown is where that leaves it
// (rounded as the blend rounds). Done: the slide goes up whole, with no blend.
struct FadeFrame {
    uint32_t Alpha;  // 0 to 255; 0: nothing to draw this time
    uint32_t Shown;
    bool Done;
};
FadeFrame NextFadeFrame(uint32_t shown, uint32_t elapsedMs, uint32_t durationMs);
