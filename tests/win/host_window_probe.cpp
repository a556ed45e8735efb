// Looks at the saver's windows from outside, as the system and other programs see them, and
// does to them what the X input tools cannot: system queries, foreign activation, dialog
// commands. One action per run; prints key=value lines.
//
//   host_window_probe saver TITLE        the top-level saver window titled TITLE
//   host_window_probe autoplay TITLE     sends the shell's QueryCancelAutoPlay, prints the answer
//   host_window_probe post TITLE MESSAGE WPARAM   posts a message (numbers in decimal or 0x hex)
//   host_window_probe activate-other     takes the foreground with a window of its own for 1 s
//   host_window_probe dialog COMMAND     posts WM_COMMAND COMMAND to the visible dialog box
//   host_window_probe desktop            the desktop window's handle
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char SaverClassName[] = "WindowsScreenSaverClass";

int CountTopLevelSavers() {
    int count = 0;
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, SaverClassName, nullptr)) != nullptr) ++count;
    return count;
}

unsigned long Handle(HWND window) { return static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)); }

int DescribeSaver(const char* title) {
    printf("count=%d\n", CountTopLevelSavers());
    HWND window = FindWindowA(SaverClassName, title);
    printf("found=%d\n", window ? 1 : 0);
    if (!window) return 0;
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    RECT rect = {};
    GetWindowRect(window, &rect);
    CURSORINFO cursor = {};
    cursor.cbSize = sizeof cursor;
    GetCursorInfo(&cursor);
    printf("window=%lu\n", Handle(window));
    printf("class=%s\n", className);
    printf("style=0x%08lX\n", static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)));
    printf("exstyle=0x%08lX\n", static_cast<unsigned long>(GetWindowLongA(window, GWL_EXSTYLE)));
    printf("rect=%ld,%ld,%ld,%ld\n", rect.left, rect.top, rect.right, rect.bottom);
    printf("screen=%d,%d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    printf("foreground=%d\n", GetForegroundWindow() == window ? 1 : 0);
    printf("cursor=%lu\n", Handle(reinterpret_cast<HWND>(cursor.hCursor)));
    return 0;
}

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

int ActivateOther() {
    WNDCLASSA plain = {};
    plain.lpfnWndProc = PlainWindowProc;
    plain.hInstance = GetModuleHandleA(nullptr);
    plain.lpszClassName = "HostProbeWindow";
    RegisterClassA(&plain);
    HWND window = CreateWindowExA(WS_EX_TOPMOST, "HostProbeWindow", "host probe", WS_POPUP | WS_VISIBLE, 10, 10, 100,
                                  100, nullptr, nullptr, plain.hInstance, nullptr);
    SetForegroundWindow(window);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 1000) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        Sleep(10);
    }
    printf("foreground_taken=%d\n", GetForegroundWindow() == window ? 1 : 0);
    DestroyWindow(window);
    return 0;
}

// The configuration dialog: the visible dialog box on this display.
HWND VisibleDialog() {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, "#32770", nullptr)) != nullptr)
        if (IsWindowVisible(window)) return window;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    const char* action = argc > 1 ? argv[1] : "";
    if (strcmp(action, "saver") == 0 && argc == 3) return DescribeSaver(argv[2]);
    if (strcmp(action, "autoplay") == 0 && argc == 3) {
        HWND window = FindWindowA(SaverClassName, argv[2]);
        UINT query = RegisterWindowMessageA("QueryCancelAutoPlay");
        DWORD_PTR answer = 0;
        LRESULT sent = window ? SendMessageTimeoutA(window, query, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer) : 0;
        printf("sent=%d\nanswer=%lu\n", sent ? 1 : 0, static_cast<unsigned long>(answer));
        return 0;
    }
    if (strcmp(action, "post") == 0 && argc == 5) {
        HWND window = FindWindowA(SaverClassName, argv[2]);
        UINT message = static_cast<UINT>(strtoul(argv[3], nullptr, 0));
        WPARAM wParam = static_cast<WPARAM>(strtoul(argv[4], nullptr, 0));
        printf("posted=%d\n", window && PostMessageA(window, message, wParam, 0) ? 1 : 0);
        return 0;
    }
    if (strcmp(action, "activate-other") == 0) return ActivateOther();
    if (strcmp(action, "dialog") == 0 && argc == 3) {
        HWND dialog = VisibleDialog();
        printf("dialog=%lu\n", Handle(dialog));
        if (dialog) PostMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(strtoul(argv[2], nullptr, 0)), 0);
        return 0;
    }
    if (strcmp(action, "desktop") == 0) {
        printf("desktop=%lu\n", Handle(GetDesktopWindow()));
        return 0;
    }
    fprintf(stderr, "host_window_probe: unknown action\n");
    return 2;
}
