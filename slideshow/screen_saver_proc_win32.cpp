// ScreenSaverProc: the slideshow's share of the saver window's messages. An erase of the
// background (re)starts the show with the logo; timer 0 paces it, at 50 ms through the 100 credit
// frames and then at the configured interval; every tick only invalidates the window, and the
// work happens in the WM_PAINT that follows, through the window's own device context. The slides
// themselves are made by the show's worker thread (slide_worker_win32.h): a paint only draws the
// one that came, and asks for the next. With Fade on, a slide blends in through frames that a
// second timer's own procedure draws (the window procedure never sees those ticks). Everything
// goes on to the host's DefaultSaverProc but the erase, the two system commands kept back and the
// worker's slides.
//
// With EveryMonitor on and more than one monitor, every monitor has a show of its own: its own
// pacing and its own slides from the one worker, each drawn in that monitor's area only; the logo
// and the credit line stay on the primary monitor, whose show is the first. Those shows change
// their pictures with a cut.
#include "slideshow/screen_saver_proc_win32.h"

#include "imaging/jpeg_resource.h"
#include "platform/debug_output.h"
#include "platform/handle_scopes_win32.h"
#include "platform/trace_labels.h"
#include "render/image_presenter_win32.h"
#include "render/picture_fade_win32.h"
#include "render/show_area.h"
#include "render/slide_overlay.h"
#include "resources/resource_ids.h"
#include "slideshow/settings.h"
#include "slideshow/slide_worker_win32.h"
#include "slideshow/slideshow_controller.h"

namespace {

SlideshowController Slideshow = {};
SlideWorker* Worker = nullptr;  // made when the first slideshow starts; let go at teardown
WalkSettings Settings;          // as the last restart read them

// A show on every monitor: the other monitors' shows, paced like the primary's; how many shows
// there are as the last restart decided (1: the primary's alone, as without the setting); and
// which shows the last tick or a late slide left a step to take.
SlideshowController OtherShows[MonitorShowLimit - 1] = {};
int32_t ShowCount = 1;
bool StepDue[MonitorShowLimit] = {};

SlideshowController& ShowOf(int32_t monitor) { return monitor == 0 ? Slideshow : OtherShows[monitor - 1]; }

// How the show looks, as the last restart read it.
struct Looks {
    bool Captions;
    bool Fade;
    bool Backdrop;
};
Looks ShowLooks = {};

// The fade underway: its frames come from a timer of their own whose procedure draws them, so
// they never pass the window procedure, where every tick is a slide step's.
const UINT_PTR FadeTimer = 1;
uint32_t FadeStartTick = 0;
uint32_t FadeShown = 0;  // of FullyShown
uint32_t FadeLengthMs = 0;

const UINT_PTR ShowTimer = 0;
const UINT CreditTextFormat = DT_SINGLELINE | DT_BOTTOM | DT_CENTER;

void ReadSettings() {
    ReadBaseDirSetting(Settings.BaseDir);
    Settings.Subfolders = ReadSwitchSetting(SubfoldersSetting);
    Settings.Shuffle = ReadSwitchSetting(ShuffleSetting);
    Settings.DeckFile[0] = '\0';
    if (Settings.Shuffle) DeckFilePath(Settings.DeckFile);
    Slideshow.IntervalMs = IntervalMsFromSetting(ReadIntervalSetting());
    ShowCount = 1;
    if (ReadSwitchSetting(EveryMonitorSetting)) {
        const int32_t monitors = MonitorShowAreaCount();
        ShowCount = monitors < MonitorShowLimit ? monitors : MonitorShowLimit;
    }
    ShowLooks = {ReadSwitchSetting(CaptionsSetting), ReadSwitchSetting(FadeSetting),
                 ReadSwitchSetting(BackdropSetting)};
}

SlideArea SlideAreaOf(HWND window, int32_t monitor = 0) {
    const RECT area = MonitorShowAreaOf(window, monitor);
    return {area.right - area.left, area.bottom - area.top, IsPaletteDisplay(window), monitor,
            ShowLooks.Captions,     ShowLooks.Backdrop};
}

// The logo comes from the program's own resources, in memory: quick enough for the window's
// thread, and prepared like any picture.
void ShowLogo(HWND window) {
    const SlideArea area = SlideAreaOf(window);
    PreparedPicture logo = PreparePicture(LoadJpegResource(MAKEINTRESOURCEA(LOGO_JPEG)).Image, 1, area.Width,
                                          area.Height, area.PaletteDisplay);
    ShowPicture(window, "Logo", logo);
    ReleasePreparedPicture(logo);
}

void EndFade(HWND window) {
    KillTimer(window, FadeTimer);
    DropFade();
}

void EndFadeWhole(HWND window) {
    KillTimer(window, FadeTimer);
    DrawFadeFrame(window, FullyShown, true);
}

void RestartShow(HWND window) {
    EndFade(window);
    BeginCredits(Slideshow);
    for (SlideshowController& other : OtherShows) {
        BeginCredits(other);
        other.Generation = Slideshow.Generation;
    }
    if (Worker) CancelSlides(Worker, Slideshow.Generation);
    ShowLogo(window);
    Slideshow.CreditLength =
        LoadStringA(GetModuleHandleA(nullptr), CREDIT_STRING, Slideshow.CreditText, CreditTextSize);
    SetTimer(window, ShowTimer, CreditFrameMs, nullptr);
    ReadSettings();
}

void AskForSlides(HWND window, int32_t monitor) {
    if (Worker && AskForAnotherSlide(ShowOf(monitor))) RequestSlide(Worker, SlideAreaOf(window, monitor));
}

// The worker starts on the first picture now; it shows at the first tick of the interval, and
// until then the logo and the last credit frame stay on screen.
void StartSlideshow(HWND window) {
    KillTimer(window, ShowTimer);
    if (!Worker) Worker = StartSlideWorker(window);
    for (int32_t monitor = 0; monitor < ShowCount; ++monitor) {
        BeginSlideshow(ShowOf(monitor));
        StepDue[monitor] = false;
    }
    if (Worker) RestartSlides(Worker, Settings, TickCount(), Slideshow.Generation);
    for (int32_t monitor = 0; monitor < ShowCount; ++monitor) AskForSlides(window, monitor);
    SetTimer(window, ShowTimer, static_cast<UINT>(Slideshow.IntervalMs), nullptr);
}

// One line at the bottom of the show area, drawn over what is on screen without erasing it.
void DrawCreditLine(HWND window, COLORREF colour) {
    RECT area = ShowAreaOf(window);
    WindowDc dc(window, GetDC(window));
    SetTextColor(dc, colour);
    SetBkMode(dc, TRANSPARENT);
    DrawTextA(dc, Slideshow.CreditText, Slideshow.CreditLength, &area, CreditTextFormat);
}

void DrawCreditFrame(HWND window) {
    const CreditFrame frame = NextCreditFrame(Slideshow);
    DrawCreditLine(window, frame.Colour);
    if (frame.StartsSlideshow) StartSlideshow(window);
}

// Between two frames the window answers its input, so the saver ends during a fade as at any time.
VOID CALLBACK DrawNextFadeFrame(HWND window, UINT, UINT_PTR, DWORD) {
    if (!Fading()) {
        KillTimer(window, FadeTimer);
        return;
    }
    const FadeFrame frame = NextFadeFrame(FadeShown, TickCount() - FadeStartTick, FadeLengthMs);
    FadeShown = frame.Shown;
    if (frame.Done) {
        EndFadeWhole(window);
        return;
    }
    if (frame.Alpha == 0) return;
    const uint32_t startTick = TickCount();
    DrawFadeFrame(window, frame.Alpha, false);
    WriteTrace(TraceLabel::FadeFrame, startTick);
}

// The slide fades in where the settings, the display and the system allow; true when it does.
bool FadeIn(HWND window, const PreparedSlide& slide) {
    FadeLengthMs = FadeDurationMs(Slideshow.IntervalMs);
    if (!ShowLooks.Fade || FadeLengthMs == 0 || !CanFade(window)) return false;
    if (!BeginFade(window, slide.Label, slide.Picture, slide.Caption)) return false;
    FadeStartTick = TickCount();
    FadeShown = 0;
    SetTimer(window, FadeTimer, FadeFrameMs, DrawNextFadeFrame);
    return true;
}

// Shows the slide the worker made for this step and asks for another, so that a tick costs only a
// fill and a draw. One not made yet leaves the screen as it is and shows the moment it arrives.
// A fade still underway never holds the next slide back: it ends at once, its slide put up whole.
void StepSlideshow(HWND window, int32_t monitor) {
    SlideshowController& show = ShowOf(monitor);
    if (DecideSlideStep(show, PasswordCheckUnderway()) != SlideStep::ShowNext) return;
    PreparedSlide* slide = TakeNextSlide(show);
    if (ShowCount == 1) {
        if (Fading()) EndFadeWhole(window);
        if (!FadeIn(window, *slide)) ShowPicture(window, slide->Label, slide->Picture, slide->Caption);
    } else {
        ShowPictureOnMonitor(window, monitor, slide->Label, slide->Picture, slide->Caption);
    }
    ReleasePreparedSlide(slide);
    AskForSlides(window, monitor);
}

// The primary's show alone steps at every paint. Shows on several monitors step only where a tick
// or a late slide asked for it: one monitor's late slide must not move the others on.
void StepSlideshows(HWND window) {
    if (ShowCount == 1) {
        StepSlideshow(window, 0);
        return;
    }
    for (int32_t monitor = 0; monitor < ShowCount; ++monitor) {
        if (!StepDue[monitor]) continue;
        StepDue[monitor] = false;
        StepSlideshow(window, monitor);
    }
}

// A paint is the show's next step: a credit frame, or a slide when one is due.
void StepShow(HWND window) {
    switch (WorkForPaint(Slideshow)) {
        case PaintCreditFrame: DrawCreditFrame(window); break;
        case PaintSlideStep: StepSlideshows(window); break;
        case PaintNothing: break;
    }
}

void Tick(HWND window) {
    for (int32_t monitor = 0; monitor < ShowCount; ++monitor) StepDue[monitor] = true;
    InvalidateRect(window, nullptr, FALSE);
}

void TakeSlide(HWND window, PreparedSlide* slide) {
    const int32_t monitor = slide->Monitor;
    if (monitor < 0 || monitor >= ShowCount) {
        ReleasePreparedSlide(slide);  // for a show on a monitor this show no longer has
        return;
    }
    switch (TakeArrivedSlide(ShowOf(monitor), slide)) {
        case SlideArrival::Drop: ReleasePreparedSlide(slide); break;
        case SlideArrival::ShowNow:
            StepDue[monitor] = true;
            InvalidateRect(window, nullptr, FALSE);
            break;
        case SlideArrival::Keep: break;
    }
    AskForSlides(window, monitor);
}

// The window is hidden by now. With a deck to keep, the worker gets a moment to write it; beyond
// that closing never waits for the worker, which is told to end and left to it.
const DWORD DeckWriteGraceMs = 200;

void EndShow(HWND window) {
    KillTimer(window, ShowTimer);
    EndFade(window);
    if (Worker) AbandonSlideWorker(Worker, Settings.Shuffle && Settings.DeckFile[0] ? DeckWriteGraceMs : 0);
    Worker = nullptr;
    ReleaseWaitingSlides(Slideshow);
    for (SlideshowController& other : OtherShows) ReleaseWaitingSlides(other);
}

}  // namespace

extern "C" LRESULT WINAPI ScreenSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND: RestartShow(window); return 1;
        case WM_PAINT:
            // Drawn through GetDC; the default processing validates the window afterwards.
            StepShow(window);
            break;
        case WM_TIMER: Tick(window); break;
        case WM_SETCURSOR: SetCursor(nullptr); break;
        case WM_SYSCOMMAND:
            if (wParam == SC_SCREENSAVE || wParam == SC_CLOSE) return 0;
            break;
        case WM_DESTROY: EndShow(window); break;
        case SlideReadyMessage: TakeSlide(window, reinterpret_cast<PreparedSlide*>(lParam)); return 0;
    }
    return DefaultSaverProc(window, message, wParam, lParam);
}
