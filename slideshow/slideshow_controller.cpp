// The slideshow's phase rules, free of the platform.
#include "slideshow/slideshow_controller.h"

#include <cstdlib>

#include "slideshow/credit_colour.h"

PaintWork WorkForPaint(const SlideshowController& show) {
    switch (show.Phase) {
        case PhaseCredits: return PaintCreditFrame;
        case PhaseSlideshow: return PaintSlideStep;
        default: return PaintNothing;
    }
}

void BeginCredits(SlideshowController& show) {
    show.Phase = PhaseCredits;
    ++show.Generation;
    ReleaseWaitingSlides(show);
    show.SlideAsked = false;
    show.SlideAwaited = false;
}

CreditFrame NextCreditFrame(SlideshowController& show) {
    CreditFrame frame;
    frame.Colour = CreditColour(show.CreditTicks);
    ++show.CreditTicks;
    frame.StartsSlideshow = show.CreditTicks >= CreditFrameCount;
    return frame;
}

void BeginSlideshow(SlideshowController& show) { show.Phase = PhaseSlideshow; }

int32_t IntervalMsFromSetting(int32_t seconds) {
    const int64_t ms = static_cast<int64_t>(seconds) * 1000;
    if (ms > INT32_MAX) return INT32_MAX;
    if (ms < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(ms);
}

void ReleasePreparedSlide(PreparedSlide* slide) {
    if (!slide) return;
    ReleasePreparedPicture(slide->Picture);
    free(slide);
}

SlideStep DecideSlideStep(SlideshowController& show, bool passwordCheckActive) {
    if (passwordCheckActive) return SlideStep::HoldBack;
    show.SlideAwaited = show.NextSlide == nullptr;
    return show.SlideAwaited ? SlideStep::AwaitNext : SlideStep::ShowNext;
}

SlideArrival TakeArrivedSlide(SlideshowController& show, PreparedSlide* slide) {
    if (slide->Generation != show.Generation || show.Phase != PhaseSlideshow) return SlideArrival::Drop;
    show.SlideAsked = false;
    if (!show.NextSlide) {
        show.NextSlide = slide;
        return show.SlideAwaited ? SlideArrival::ShowNow : SlideArrival::Keep;
    }
    if (show.SlideAfter) return SlideArrival::Drop;
    show.SlideAfter = slide;
    return SlideArrival::Keep;
}

PreparedSlide* TakeNextSlide(SlideshowController& show) {
    PreparedSlide* slide = show.NextSlide;
    show.NextSlide = show.SlideAfter;
    show.SlideAfter = nullptr;
    return slide;
}

bool AskForAnotherSlide(SlideshowController& show) {
    if (show.Phase != PhaseSlideshow || show.SlideAsked || show.SlideAfter) return false;
    show.SlideAsked = true;
    return true;
}

void ReleaseWaitingSlides(SlideshowController& show) {
    ReleasePreparedSlide(show.NextSlide);
    ReleasePreparedSlide(show.SlideAfter);
    show.NextSlide = nullptr;
    show.SlideAfter = nullptr;
}

uint32_t NextListingPauseMs(uint32_t pauseMs) {
    if (pauseMs < ListingRetryFirstMs) return ListingRetryFirstMs;
    return pauseMs >= ListingRetryLongestMs / 2 ? ListingRetryLongestMs : 2 * pauseMs;
}
