// The show's state and the rules that move it through its phases: idle until the window is first
// erased, then the logo with 100 credit frames at 50 ms, then one picture per interval. The window
// procedure (screen_saver_proc_win32.cpp) carries the rules out with the platform's calls.
#pragma once
#include <cstdint>

#include "imaging/packed_dib.h"

enum SlideshowPhase : int32_t {
    PhaseIdle = 0,       // nothing shown, no timer
    PhaseCredits = 1,    // one credit frame per paint, timer at CreditFrameMs
    PhaseSlideshow = 2,  // one slide step per paint, timer at IntervalMs
};

enum {
    CreditFrameMs = 50,
    CreditFrameCount = 100,
    CreditTextSize = 120,  // characters, terminator included
};

struct SlideshowController {
    int32_t Phase;
    int32_t CreditTicks;  // credit frames drawn since the process started; never reset
    char CreditText[CreditTextSize];
    int32_t CreditLength;
    int32_t IntervalMs;
    PackedDib CurrentImage;  // owned: the image prepared for the next slide step
};

// The work of one paint in the current phase.
enum PaintWork { PaintNothing, PaintCreditFrame, PaintSlideStep };
PaintWork WorkForPaint(const SlideshowController& show);

// A restart (every erase of the background, from any phase): the credit animation begins again.
// CreditTicks is kept, so after the first animation a restart draws one frame and moves on.
void BeginCredits(SlideshowController& show);

struct CreditFrame {
    uint32_t Colour;       // COLORREF layout
    bool StartsSlideshow;  // this frame is the last: the slideshow starts in the same paint
};

// Takes the next credit frame: its colour, and whether the animation ends with it.
CreditFrame NextCreditFrame(SlideshowController& show);

void BeginSlideshow(SlideshowController& show);

// The timer period from the Interval setting, in seconds: times 1000, computed in 64 bits and held
// to the 32-bit signed range (a product that fits is exact; no other range check).
int32_t IntervalMsFromSetting(int32_t seconds);

// Frees CurrentImage, if any.
void ReleaseCurrentImage(SlideshowController& show);
