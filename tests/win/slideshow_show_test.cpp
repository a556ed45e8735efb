// The slideshow driven by the window system, from a window of the test's own (same class style as
// the saver's), with ScreenSaverProc as its procedure. The program marks each erase, tick and paint
// in the debugger output, so that the bench can check the show's own traces against them, and
// pauses for the bench's screenshots at fixed points of the show.
//
// Usage:
//   slideshow_show_test show SHOTDIR OTHERDIR   the whole show at the settings the bench wrote; after
//       nine slides BaseDir becomes OTHERDIR and the background is erased (a restart); ends after
//       the first slide of OTHERDIR. Screenshots: logo, credit-0/12/25/37/99, slide-1..9,
//       restart-logo, restart-credit, restart-slide.
//   slideshow_show_test ticks                    counts a 50 ms reference timer between the show's
//       ticks: through the credits and three slides (Interval 1 in win.ini).
//   slideshow_show_test soak SLIDES              paints without the timer: 100 credit frames, then
//       SLIDES slides; palettes and memory must not grow.
//   slideshow_show_test list DIR                 the listing order as FindFirstFileA gives it.
//   slideshow_show_test monitors SHOTDIR         a show on every monitor (EveryMonitor 1 in win.ini)
//       over two monitors of the test's own, 640 x 480 at the top-left and 384 x 768 beside it.
//       Screenshots: credits (the last frame), step-1..3 (the paints after it); then it ends.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "render/image_presenter_win32.h"
#include "render/show_area.h"
#include "slideshow/screen_saver_proc_win32.h"
#include "slideshow/slide_worker_win32.h"
#include "tests/win/check.h"
#include "tests/win/slideshow_test_window.h"
#include "slideshow/settings.h"

namespace {

const UINT_PTR ReferenceTimer = 77;
const UINT RestartMessage = WM_APP + 1;
const UINT EndMessage = WM_APP + 2;
const int CreditFrames = 100;

struct Run {
    const char* Mode;
    const char* ShotDir;
    const char* OtherDir;
    int Erases;
    int PaintsSinceFirstErase;  // paints that began after the first erase
    int PaintsSinceRestart;     // paints that began after the test's own restart
    bool Restarted;
    int ReferenceTicks;
    int ShowTicks;
    std::vector<int> ReferenceTicksBetweenShowTicks;  // ticks mode
    int ReferenceTicksAtLastShowTick;
    int SlidesArrived;  // from the show's worker
};

Run Test = {};

void Shot(const char* name) {
    if (!WaitForScreenshot(Test.ShotDir, name)) Check(false, name);
}

// One slide of every picture in the test folder.
const int SlidesBeforeRestart = 9;

// Screenshots of the show mode, by paint number since the first erase.
void AfterShowPaint(HWND window, int paint) {
    const int frame = paint - 1;
    if (frame == 0 || frame == 12 || frame == 25 || frame == 37 || frame == CreditFrames - 1) {
        char name[32];
        snprintf(name, sizeof name, "credit-%d", frame);
        Shot(name);
    }
    const int slide = paint - CreditFrames;
    if (slide >= 1 && slide <= SlidesBeforeRestart) {
        char name[32];
        snprintf(name, sizeof name, "slide-%d", slide);
        Shot(name);
    }
    if (slide == SlidesBeforeRestart) PostMessageA(window, RestartMessage, 0, 0);
}

void AfterMonitorsPaint(HWND window, int paint) {
    if (paint == CreditFrames) Shot("credits");
    const int step = paint - CreditFrames;
    if (step < 1 || step > 3) return;
    char name[32];
    snprintf(name, sizeof name, "step-%d", step);
    Shot(name);
    if (step == 3) PostMessageA(window, EndMessage, 0, 0);
}

void AfterRestartPaint(HWND window, int paint) {
    if (paint == 1) Shot("restart-credit");
    if (paint == 2) {
        Shot("restart-slide");
        PostMessageA(window, EndMessage, 0, 0);
    }
}

// An erase of the whole window, as an uncovered area brings it, in the middle of the slideshow.
void RestartFromOtherDirectory(HWND window) {
    WriteProfileStringA(SaverSection, "BaseDir", Test.OtherDir);
    Test.Restarted = true;
    Mark("restart");
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ERASENOW);
    Shot("restart-logo");
}

void CountTicks(HWND window) {
    ++Test.ShowTicks;
    Test.ReferenceTicksBetweenShowTicks.push_back(Test.ReferenceTicks - Test.ReferenceTicksAtLastShowTick);
    Test.ReferenceTicksAtLastShowTick = Test.ReferenceTicks;
    if (Test.ShowTicks == CreditFrames + 3) PostMessageA(window, EndMessage, 0, 0);
}

LRESULT CALLBACK ShowWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == ReferenceTimer) {
                ++Test.ReferenceTicks;
                return 0;
            }
            Mark("tick");
            if (strcmp(Test.Mode, "ticks") == 0) CountTicks(window);
            break;
        case WM_ERASEBKGND: {
            const int erase = ++Test.Erases;
            Mark("erase %d", erase);
            const LRESULT result = ScreenSaverProc(window, message, wParam, lParam);
            Mark("erased %d", erase);
            if (erase == 1 && strcmp(Test.Mode, "show") == 0) Shot("logo");
            if (Test.Restarted) Test.PaintsSinceRestart = 0;
            return result;
        }
        case WM_PAINT: {
            const bool afterRestart = Test.Restarted;
            const int paint =
                afterRestart ? ++Test.PaintsSinceRestart : (Test.Erases > 0 ? ++Test.PaintsSinceFirstErase : 0);
            Mark("paint %s%d", afterRestart ? "r" : "", paint);
            const LRESULT result = ScreenSaverProc(window, message, wParam, lParam);
            Mark("painted %s%d", afterRestart ? "r" : "", paint);
            if (strcmp(Test.Mode, "monitors") == 0 && paint > 0) AfterMonitorsPaint(window, paint);
            if (strcmp(Test.Mode, "show") == 0 && paint > 0) {
                if (afterRestart) {
                    AfterRestartPaint(window, paint);
                } else {
                    AfterShowPaint(window, paint);
                }
            }
            return result;
        }
        case SlideReadyMessage:
            ++Test.SlidesArrived;
            Mark("slide ready");
            break;
        case RestartMessage: RestartFromOtherDirectory(window); return 0;
        case EndMessage: DestroyWindow(window); return 0;
    }
    return ScreenSaverProc(window, message, wParam, lParam);
}

int ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }
int ScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }

int RunMessageLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) DispatchMessageA(&message);
    return static_cast<int>(message.wParam);
}

int ShowMode(int argc, char** argv) {
    if (argc < 4) return 2;
    Test.ShotDir = argv[2];
    Test.OtherDir = argv[3];
    HWND window = CreateSaverLikeWindow(ShowWindowProc, ScreenWidth(), ScreenHeight(), "Slideshow Test");
    if (!Check(window != nullptr, "window created")) return FinishChecks();
    CheckEqual(RunMessageLoop(), 0, "the window's end posts WM_QUIT with 0");
    CheckEqual(Test.Erases, 2, "erases: the first showing and the test's restart");
    CheckEqual(Test.PaintsSinceFirstErase, CreditFrames + SlidesBeforeRestart, "paints before the restart");
    CheckEqual(Test.PaintsSinceRestart, 2, "paints after the restart");
    CheckEqual(PalettesCounted().Made, PalettesCounted().Deleted, "every palette made was deleted");
    return FinishChecks();
}

int MonitorsMode(int argc, char** argv) {
    if (argc < 3) return 2;
    Test.ShotDir = argv[2];
    const PixelRect monitors[] = {{0, 0, 640, 480}, {640, 0, 1024, 768}};
    RecordMonitorShowAreas(monitors, 2);
    HWND window = CreateSaverLikeWindow(ShowWindowProc, 1024, 768, "Slideshow Monitors Test");
    if (!Check(window != nullptr, "window created")) return FinishChecks();
    CheckEqual(RunMessageLoop(), 0, "the window's end posts WM_QUIT with 0");
    CheckEqual(PalettesCounted().Made, PalettesCounted().Deleted, "every palette made was deleted");
    return FinishChecks();
}

int TicksMode() {
    HWND window = CreateSaverLikeWindow(ShowWindowProc, 320, 240, "Slideshow Ticks");
    if (!Check(window != nullptr, "window created")) return FinishChecks();
    SetTimer(window, ReferenceTimer, 50, nullptr);
    RunMessageLoop();
    // The first show tick comes after the window appeared; ticks 2 to 100 pace the credit frames,
    // 101 to 103 the slides.
    std::vector<int>& between = Test.ReferenceTicksBetweenShowTicks;
    if (!CheckEqual(static_cast<long long>(between.size()), CreditFrames + 3, "show ticks")) return FinishChecks();
    std::vector<int> credits(between.begin() + 1, between.begin() + CreditFrames);
    std::sort(credits.begin(), credits.end());
    printf("reference ticks between credit ticks: median %d, max %d\n", credits[credits.size() / 2], credits.back());
    Check(credits[credits.size() / 2] <= 2, "credit ticks at the 50 ms pace of the reference timer");
    for (int slide = CreditFrames; slide < CreditFrames + 3; ++slide) {
        printf("reference ticks before slide tick %d: %d\n", slide - CreditFrames + 1, between[slide]);
        Check(between[slide] >= 6, "slide ticks at the interval of one second, many reference ticks apart");
    }
    return FinishChecks();
}

// The memory committed to the process alone (on NT the same number as PrivateUsage).
size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PagefileUsage;
}

// A paint that no timer caused: a credit frame or a slide step all the same.
void PaintOnce(HWND window) {
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
}

// Runs the window's messages until the worker has sent count slides in all.
bool WaitForSlides(int count) {
    const DWORD start = GetTickCount();
    MSG message;
    while (Test.SlidesArrived < count) {
        if (GetTickCount() - start > 20000) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    return true;
}

int SoakMode(int argc, char** argv) {
    const int slides = argc > 2 ? atoi(argv[2]) : 300;
    HWND window = CreateSaverLikeWindow(ShowWindowProc, ScreenWidth(), ScreenHeight(), "Slideshow Soak");
    if (!Check(window != nullptr, "window created")) return FinishChecks();
    UpdateWindow(window);
    if (!CheckEqual(Test.Erases, 1, "the first showing erased the window")) return FinishChecks();
    for (int frame = 0; frame < CreditFrames; ++frame) PaintOnce(window);

    HDC dc = GetDC(window);
    const bool palettes = (GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE) != 0;
    ReleaseDC(window, dc);
    std::vector<size_t> bytes;
    // Each slide is painted once the worker has made it and the one after it, so every paint shows
    // one. The memory is read while the worker rests, with both slides waiting.
    for (int slide = 1; slide <= slides; ++slide) {
        if (!Check(WaitForSlides(slide + 1), "the worker makes every slide")) break;
        bytes.push_back(PrivateBytes());
        PaintOnce(window);
        const PaletteCount counted = PalettesCounted();
        if (counted.Made != counted.Deleted) {
            CheckEqual(counted.Made - counted.Deleted, 0, "palettes made less deleted");
            break;
        }
    }
    // The committed memory rises and falls with the size of the pictures held, and Wine's display
    // driver now and then holds a few MB for a moment: what leaks raises the floor. Compare the
    // lowest mark of slides 50 to 99, after the heap has settled, with that of the last 50 slides.
    if (!Check(slides >= 150 && bytes.size() == static_cast<size_t>(slides), "enough slides to compare"))
        return FinishChecks();
    const size_t warmBytes = *std::min_element(bytes.begin() + 49, bytes.begin() + 99);
    const size_t endBytes = *std::min_element(bytes.end() - 50, bytes.end());
    printf("slides %d, palettes made %u, deleted %u, least private bytes at slides 50-99: %lu, at the last 50: %lu\n",
           slides, static_cast<unsigned>(PalettesCounted().Made), static_cast<unsigned>(PalettesCounted().Deleted),
           static_cast<unsigned long>(warmBytes), static_cast<unsigned long>(endBytes));
    if (palettes) {
        Check(PalettesCounted().Made >= slides, "a palette for every slide");
    } else {
        CheckEqual(PalettesCounted().Made, 0, "no palettes without a palette display");
    }
    Check(endBytes <= warmBytes + 512 * 1024, "private memory flat over the slides");

    DestroyWindow(window);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) DispatchMessageA(&message);
    CheckEqual(PalettesCounted().Made, PalettesCounted().Deleted, "palettes made equal palettes deleted at the end");
    return FinishChecks();
}

int ListMode(int argc, char** argv) {
    if (argc < 3) return 2;
    char pattern[MAX_PATH];
    snprintf(pattern, sizeof pattern, "%s\\*.*", argv[2]);
    WIN32_FIND_DATAA found;
    HANDLE listing = FindFirstFileA(pattern, &found);
    if (listing == INVALID_HANDLE_VALUE) return 1;
    do printf("LIST %s\n", found.cFileName);
    while (FindNextFileA(listing, &found));
    FindClose(listing);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CountPalettes();
    if (argc < 2) return 2;
    Test.Mode = argv[1];
    if (strcmp(Test.Mode, "show") == 0) return ShowMode(argc, argv);
    if (strcmp(Test.Mode, "ticks") == 0) return TicksMode();
    if (strcmp(Test.Mode, "soak") == 0) return SoakMode(argc, argv);
    if (strcmp(Test.Mode, "list") == 0) return ListMode(argc, argv);
    if (strcmp(Test.Mode, "monitors") == 0) return MonitorsMode(argc, argv);
    return 2;
}
