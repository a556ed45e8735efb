// ScreenSaverProc: the slideshow's share of the saver window's messages. An erase of the
// background (re)starts the show with the logo; timer 0 paces it, at 50 ms through the 100 credit
// frames and then at the configured interval; every tick only invalidates the window, and the
// work happens in the WM_PAINT that follows, through the window's own device context. The slides
// themselves are made by the show's worker thread (slide_worker_win32.h): a paint only draws the
// one that came, and asks for the next. Everything goes on to the host's DefaultSaverProc but the
// erase, the two system commands kept back and the worker's slides.
#include "slideshow/screen_saver_proc_win32.h"

#include "imaging/display_profile_win32.h"
#include "imaging/jpeg_resource.h"
#include "platform/debug_output.h"
#include "platform/handle_scopes_win32.h"
#include "render/image_presenter_win32.h"
#include "resources/resource_ids.h"
#include "slideshow/settings.h"
#include "slideshow/slide_worker_win32.h"
#include "slideshow/slideshow_controller.h"

namespace {

SlideshowController Slideshow = {};
SlideWorker* Worker = nullptr;  // made when the first slideshow starts; let go at teardown
WalkSettings Settings;          // as the last restart read them

const UINT_PTR ShowTimer = 0;
const UINT CreditTextFormat = DT_SINGLELINE | DT_BOTTOM | DT_CENTER;

void ReadSettings() {
    ReadBaseDirSetting(Settings.BaseDir);
    Settings.Subfolders = ReadSwitchSetting(SubfoldersSetting);
    Settings.Shuffle = ReadSwitchSetting(ShuffleSetting);
    Settings.DeckFile[0] = '\0';
    if (Settings.Shuffle) DeckFilePath(Settings.DeckFile);
    Slideshow.IntervalMs = IntervalMsFromSetting(ReadIntervalSetting());
}

SlideArea SlideAreaOf(HWND window) {
    const RECT area = ShowAreaOf(window);
    return {area.right - area.left, area.bottom - area.top, IsPaletteDisplay(window)};
}

// The logo comes from the program's own resources, in memory: quick enough for the window's
// thread, and prepared like any picture.
void ShowLogo(HWND window) {
    const SlideArea area = SlideAreaOf(window);
    PreparedPicture logo = PreparePicture(LoadJpegResource(MAKEINTRESOURCEA(LOGO_JPEG)).Image, 1,
                                          area.Width, area.Height, area.PaletteDisplay);
    ShowPicture(window, "Logo", logo);
    ReleasePreparedPicture(logo);
}

void RestartShow(HWND window) {
    UseMonitorProfile(window);  // once, before the worker decodes anything
    BeginCredits(Slideshow);
    if (Worker) CancelSlides(Worker, Slideshow.Generation);
    ShowLogo(window);
    Slideshow.CreditLength = LoadStringA(GetModuleHandleA(nullptr), CREDIT_STRING,
                                         Slideshow.CreditText, CreditTextSize);
    SetTimer(window, ShowTimer, CreditFrameMs, nullptr);
    ReadSettings();
}

void AskForSlides(HWND window) {
    if (Worker && AskForAnotherSlide(Slideshow)) RequestSlide(Worker, SlideAreaOf(window));
}

// The worker starts on the first picture now; it shows at the first tick of the interval, and
// until then the logo and the last credit frame stay on screen.
void StartSlideshow(HWND window) {
    KillTimer(window, ShowTimer);
    if (!Worker) Worker = StartSlideWorker(window);
    BeginSlideshow(Slideshow);
    if (Worker) RestartSlides(Worker, Settings, TickCount(), Slideshow.Generation);
    AskForSlides(window);
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

// Shows the slide the worker made for this step and asks for another, so that a tick costs only a
// fill and a draw. One not made yet leaves the screen as it is and shows the moment it arrives.
void StepSlideshow(HWND window) {
    if (DecideSlideStep(Slideshow, PasswordCheckUnderway()) != SlideStep::ShowNext) return;
    PreparedSlide* slide = TakeNextSlide(Slideshow);
    ShowPicture(window, slide->Label, slide->Picture);
    ReleasePreparedSlide(slide);
    AskForSlides(window);
}

// A paint is the show's next step: a credit frame, or a slide when one is due.
void StepShow(HWND window) {
    switch (WorkForPaint(Slideshow)) {
        case PaintCreditFrame: DrawCreditFrame(window); break;
        case PaintSlideStep: StepSlideshow(window); break;
        case PaintNothing: break;
    }
}

void TakeSlide(HWND window, PreparedSlide* slide) {
    switch (TakeArrivedSlide(Slideshow, slide)) {
        case SlideArrival::Drop: ReleasePreparedSlide(slide); break;
        case SlideArrival::ShowNow: InvalidateRect(window, nullptr, FALSE); break;
        case SlideArrival::Keep: break;
    }
    AskForSlides(window);
}

// The window is hidden by now. With a deck to keep, the worker gets a moment to write it; beyond
// that closing never waits for the worker, which is told to end and left to it.
const DWORD DeckWriteGraceMs = 200;

void EndShow(HWND window) {
    KillTimer(window, ShowTimer);
    if (Worker) AbandonSlideWorker(Worker, Settings.Shuffle && Settings.DeckFile[0] ? DeckWriteGraceMs : 0);
    Worker = nullptr;
    ReleaseWaitingSlides(Slideshow);
}

}  // namespace

extern "C" LRESULT WINAPI ScreenSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            RestartShow(window);
            return 1;
        case WM_PAINT:
            // Drawn through GetDC; the default processing validates the window afterwards.
            StepShow(window);
            break;
        case WM_TIMER:
            InvalidateRect(window, nullptr, FALSE);
            break;
        case WM_SETCURSOR:
            SetCursor(nullptr);
            break;
        case WM_SYSCOMMAND:
            if (wParam == SC_SCREENSAVE || wParam == SC_CLOSE) return 0;
            break;
        case WM_DESTROY:
            EndShow(window);
            break;
        case SlideReadyMessage:
            TakeSlide(window, reinterpret_cast<PreparedSlide*>(lParam));
            return 0;
    }
    return DefaultSaverProc(window, message, wParam, lParam);
}
