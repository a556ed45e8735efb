// The show's state and the rules that move it through its phases: idle until the window is first
// erased, then the logo with 100 credit frames at 50 ms, then one picture per interval. The window
// procedure (screen_saver_proc_win32.cpp) carries the rules out with the platform's calls.
#pragma once
#include <cstdint>

#include "platform/path_buffer.h"
#include "render/prepared_picture.h"
#include "slideshow/picture_caption.h"

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

// A slide the worker prepared for the window: the picture ready to draw, or none with the label
// written in its place.
struct PreparedSlide {
    uint32_t Generation;  // the show it was prepared for
    int32_t Monitor;      // whose show: 0 the primary monitor's, or another's in a show on every monitor
    PreparedPicture Picture;
    char Label[PathBufferSize];
    char Caption[CaptionTextSize];  // "": none
};

// Frees the slide and what it holds; none is allowed.
void ReleasePreparedSlide(PreparedSlide* slide);

struct SlideshowController {
    int32_t Phase;
    int32_t CreditTicks;  // credit frames drawn since the process started; never reset
    char CreditText[CreditTextSize];
    int32_t CreditLength;
    int32_t IntervalMs;
    // Counts the restarts: a slide prepared for an earlier show is dropped when it arrives.
    uint32_t Generation;
    // Owned, made by the worker: the slide for the next step, and one made ahead for the step
    // after it, so that the worker reads the disk while the window draws.
    PreparedSlide* NextSlide;
    PreparedSlide* SlideAfter;
    bool SlideAsked;  // a slide of this show is being made
    // A slide step found nothing prepared: the slide shows as soon as it arrives.
    bool SlideAwaited;
};

// The work of one paint in the current phase.
enum PaintWork { PaintNothing, PaintCreditFrame, PaintSlideStep };
PaintWork WorkForPaint(const SlideshowController& show);

// A restart (every erase of the background, from any phase): the credit animation begins again.
// CreditTicks is kept, so after the first animation a restart draws one frame and moves on. The
// slide prepared for the earlier show is freed, and any still on its way will be dropped.
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

// What a slide step does. While the password question is up no new slide is shown: the one
// prepared waits for the next step.
enum class SlideStep { ShowNext, AwaitNext, HoldBack };
SlideStep DecideSlideStep(SlideshowController& show, bool passwordCheckActive);

// A slide has come from the worker. Kept, or dropped (the caller frees it) when it belongs to an
// earlier show or two are waiting already; ShowNow when a step is waiting for it.
enum class SlideArrival { Drop, Keep, ShowNow };
SlideArrival TakeArrivedSlide(SlideshowController& show, PreparedSlide* slide);

// The slide a ShowNext step draws; the one made ahead moves up. The caller owns it.
PreparedSlide* TakeNextSlide(SlideshowController& show);

// Whether to ask the worker for another slide now, marking it asked: in the slideshow, one at a
// time, while fewer than two are waiting.
bool AskForAnotherSlide(SlideshowController& show);

// A folder that cannot be listed (a share gone to sleep, a removed medium) is tried again after a
// pause that grows from ListingRetryFirstMs, doubling up to ListingRetryLongestMs; 0: no pause yet.
enum : uint32_t { ListingRetryFirstMs = 1000, ListingRetryLongestMs = 60000 };
uint32_t NextListingPauseMs(uint32_t pauseMs);

// Frees the slides waiting, if any.
void ReleaseWaitingSlides(SlideshowController& show);
