// ScreenSaverProc: the slideshow's share of the saver window's messages. An erase of the
// background (re)starts the show with the logo; timer 0 paces it, at 50 ms through the 100 credit
// frames and then at the configured interval; every tick only invalidates the window, and the
// work happens in the WM_PAINT that follows, through the window's own device context. Everything
// goes on to the host's DefaultSaverProc but the erase and the two system commands kept back.
#include "slideshow/screen_saver_proc.h"

#include "host/default_saver_proc.h"
#include "imaging/jpeg_resource.h"
#include "platform/debug_output.h"
#include "platform/display_profile.h"
#include "platform/handle_scopes_win32.h"
#include "platform/trace_labels.h"
#include "render/image_presenter.h"
#include "resources/resource_ids.h"
#include "slideshow/image_directory_walk.h"
#include "slideshow/settings.h"
#include "slideshow/slideshow_controller.h"

namespace {

SlideshowController Slideshow = {};
ImageDirectoryWalk DirectoryWalk = {};

const UINT_PTR ShowTimer = 0;
const UINT CreditTextFormat = DT_SINGLELINE | DT_BOTTOM | DT_CENTER;

void ReadSettings() {
    char baseDir[PathBufferSize];
    ReadBaseDirSetting(baseDir);
    SetImageDir(DirectoryWalk, baseDir);
    Slideshow.IntervalMs = IntervalMsFromSetting(ReadIntervalSetting());
}

void RestartShow(HWND window) {
    UseMonitorProfile(window);
    ReleaseCurrentImage(Slideshow);
    Slideshow.CurrentImage = LoadJpegResource(MAKEINTRESOURCEA(LOGO_JPEG)).Image;
    PresentImage(window, "Logo", Slideshow.CurrentImage, PresentMode::Prepare);
    PresentImage(window, "Logo", Slideshow.CurrentImage, PresentMode::Show);
    ReleaseCurrentImage(Slideshow);  // the logo stays on screen; the block is not needed

    Slideshow.CreditLength = LoadStringA(GetModuleHandleA(nullptr), CREDIT_STRING,
                                         Slideshow.CreditText, CreditTextSize);
    BeginCredits(Slideshow);
    SetTimer(window, ShowTimer, CreditFrameMs, nullptr);
    ReadSettings();
}

// Loads and prepares the next picture. Input that would end the saver cuts the load short: the
// message loop must get to it now, and the walk keeps that entry for the next step.
void PrepareNextImage(HWND window) {
    const uint32_t startTick = TickCount();
    LoadResult next = AdvanceToNextImage(DirectoryWalk, SaverLoadControl(window));
    if (next.CutShort) {
        WriteTrace(TraceLabel::LoadCutShort, startTick);
        return;
    }
    Slideshow.CurrentImage = PreparePicture(window, next.Image, next.Orientation);
}

// The slow work for the first picture happens now; it shows at the first tick of the interval,
// and until then the logo and the last credit frame stay on screen.
void StartSlideshow(HWND window) {
    KillTimer(window, ShowTimer);
    PickRandomStart(DirectoryWalk, TickCount());
    PrepareNextImage(window);
    BeginSlideshow(Slideshow);
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

// Shows what the previous step prepared, then loads and prepares the next picture, so that the
// next tick costs only a fill and a draw. A picture whose load was cut short is loaded first.
void SlideStep(HWND window) {
    if (DirectoryWalk.EntryPending) {
        PrepareNextImage(window);
        if (DirectoryWalk.EntryPending) return;  // cut short again: the screen stays as it is
    }
    PresentImage(window, DirectoryWalk.CandidatePath, Slideshow.CurrentImage, PresentMode::Show);
    ReleaseCurrentImage(Slideshow);
    PrepareNextImage(window);
}

void Paint(HWND window) {
    switch (WorkForPaint(Slideshow)) {
        case PaintCreditFrame: DrawCreditFrame(window); break;
        case PaintSlideStep: SlideStep(window); break;
        case PaintNothing: break;
    }
}

// The picture prepared for the next step is never shown; the palette its Prepare selected goes
// back now.
void EndShow(HWND window) {
    KillTimer(window, ShowTimer);
    ReleasePreparedPalette(window);
    ReleaseCurrentImage(Slideshow);
    CloseListing(DirectoryWalk);
    PostQuitMessage(0);
}

}  // namespace

extern "C" LRESULT WINAPI ScreenSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            RestartShow(window);
            return 1;
        case WM_PAINT:
            // Drawn through GetDC; the default processing validates the window afterwards.
            Paint(window);
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
    }
    return DefaultSaverProc(window, message, wParam, lParam);
}
