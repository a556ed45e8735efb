// The shared parts of the slideshow's Windows test programs.
#include "tests/win/slideshow_test_window.h"

#include <cstdarg>
#include <cstdio>

#include "slideshow/screen_saver_proc_win32.h"
#include "tests/win/import_patch.h"

// The host's closing rules are not under test here: what the slideshow passes on goes straight
// to the platform's default processing, which validates each paint. The window's end posts the
// quit, as the host's window does.
LRESULT WINAPI DefaultSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

// Nor is the Windows 9x password question: it is never up.
bool PasswordCheckUnderway() { return false; }

namespace {

PaletteCount Palettes = {};
using CreatePaletteProc = HPALETTE(WINAPI*)(const LOGPALETTE* entries);
using DeleteObjectProc = BOOL(WINAPI*)(HGDIOBJ object);
CreatePaletteProc SystemCreatePalette = nullptr;
DeleteObjectProc SystemDeleteObject = nullptr;

HPALETTE WINAPI CountingCreatePalette(const LOGPALETTE* entries) {
    HPALETTE palette = SystemCreatePalette(entries);
    if (palette) InterlockedIncrement(&Palettes.Made);
    return palette;
}

BOOL WINAPI CountingDeleteObject(HGDIOBJ object) {
    const bool palette = GetObjectType(object) == OBJ_PAL;
    const BOOL deleted = SystemDeleteObject(object);
    if (deleted && palette) InterlockedIncrement(&Palettes.Deleted);
    return deleted;
}

}  // namespace

void CountPalettes() {
    if (SystemCreatePalette) return;
    SystemCreatePalette = reinterpret_cast<CreatePaletteProc>(
        ReplaceImport("gdi32.dll", "CreatePalette", reinterpret_cast<void*>(CountingCreatePalette)));
    SystemDeleteObject = reinterpret_cast<DeleteObjectProc>(
        ReplaceImport("gdi32.dll", "DeleteObject", reinterpret_cast<void*>(CountingDeleteObject)));
}

PaletteCount PalettesCounted() { return Palettes; }

HWND CreateSaverLikeWindow(WNDPROC proc, int width, int height, const char* title) {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = proc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = "SlideshowTestWindow";
    RegisterClassA(&windowClass);
    return CreateWindowExA(WS_EX_TOPMOST, windowClass.lpszClassName, title, WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                           nullptr, nullptr, windowClass.hInstance, nullptr);
}

void Mark(const char* format, ...) {
    char text[160] = "mark ";
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text + 5, sizeof text - 5, format, arguments);
    va_end(arguments);
    OutputDebugStringA(text);
}

bool WaitForScreenshot(const char* shotDir, const char* name) {
    char done[MAX_PATH];
    snprintf(done, sizeof done, "%s\\%s.done", shotDir, name);
    GdiFlush();
    printf("SHOT %s\n", name);
    fflush(stdout);
    for (int waited = 0; waited < 60000; waited += 20) {
        if (GetFileAttributesA(done) != INVALID_FILE_ATTRIBUTES) return true;
        // Waiting through the message-wait call lets the window system flush the window's pixels
        // to the screen; with an empty wake mask no message is handled meanwhile.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, 0);
    }
    printf("FAIL: no screenshot of %s\n", name);
    return false;
}
