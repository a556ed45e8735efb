// The saver window's procedure: the window's life (input method, pointer, quit message) and a
// few filters; everything else goes to the slideshow's ScreenSaverProc.
//
// A message's path, each step in its file:
//   1. SaverWindowProc (here): WM_CREATE and WM_DESTROY for the window's life, then
//   2. ChooseWindowRoute (host/window_route.cpp): the portable filter by mode and closing state:
//      the platform's default, an answer of its own, the preview's parent, or on to
//   3. ScreenSaverProc (slideshow/screen_saver_proc_win32.cpp): the show's messages (erase,
//      paint, timer, the worker's slides); every other message goes on to
//   4. DefaultSaverProc (host/default_saver_proc_win32.cpp), which asks
//   5. DecideDefaultSaverProc (host/closing_rules.cpp): whether input closes the saver, the
//      password question on Windows 9x, what is answered here; the rest passes to
//   6. DefWindowProcA, the platform's default processing.
#include <windows.h>

#include "host/saver_handles_win32.h"
#include "host/saver_host.h"
#include "host/saver_modes_win32.h"
#include "host/window_route.h"
#include "slideshow/screen_saver_proc_win32.h"

namespace {

void OnCreate(HWND window) {
    // Only if something already loaded it: the host never loads IMM32.DLL itself.
    HMODULE ime = GetModuleHandleA("IMM32.DLL");
    HostHandles.ImeModule = ime;
    if (ime) {
        auto associate =
            reinterpret_cast<AssociateContextProc>(reinterpret_cast<void*>(GetProcAddress(ime, "ImmAssociateContext")));
        HostHandles.AssociateContext = associate;
        if (associate) HostHandles.SavedImeContext = associate(window, nullptr);
    }
    SaverHost.CursorReference = ReadCursorPosition();
    if (!SaverHost.PreviewMode) SetCursor(nullptr);
}

void OnDestroy(HWND window) {
    if (HostHandles.ImeModule && HostHandles.AssociateContext && HostHandles.SavedImeContext)
        HostHandles.AssociateContext(window, HostHandles.SavedImeContext);
    PostQuitMessage(0);
}

// The display settings own the preview: their help and context menu answer for it.
void ForwardToPreviewParent(HWND window, UINT message, LPARAM lParam) {
    HWND parent = GetParent(window);
    if (parent && IsWindow(parent)) PostMessageA(parent, message, reinterpret_cast<WPARAM>(parent), lParam);
}

}  // namespace

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        OnCreate(window);
        return ScreenSaverProc(window, message, wParam, lParam);
    }
    if (message == WM_DESTROY) {
        OnDestroy(window);
        return ScreenSaverProc(window, message, wParam, lParam);
    }
    switch (ChooseWindowRoute(SaverHost, message, wParam)) {
        case WindowRoute::HideCursorThenSlideshow: SetCursor(nullptr); break;
        case WindowRoute::YieldThenSlideshow:
            Sleep(0);  // give up the rest of the time slice before each tick
            break;
        case WindowRoute::ToDefault: return DefWindowProcA(window, message, wParam, lParam);
        case WindowRoute::ReturnZero: return 0;
        case WindowRoute::ForwardToPreviewParent: ForwardToPreviewParent(window, message, lParam); return 1;
        case WindowRoute::ToSlideshow: break;
    }
    return ScreenSaverProc(window, message, wParam, lParam);
}
