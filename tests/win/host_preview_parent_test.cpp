// Plays the display settings: makes a parent window, starts the saver as a preview inside it
// with "/p HWND", checks the child, tries to close it with input and AutoPlay, and finally
// destroys the parent, which must end the preview with exit code 0.
//
//   host_preview_parent_test SCR INPUT_MS
// The bench may send X input during the INPUT_MS window after the line "PREVIEW READY x y w h"
// (screen rectangle of the preview).
//   host_preview_parent_test SCR destroy-on-create
// The parent destroys itself when told that the child was created, so that the saver's
// CreateWindowExA fails: the preview must then end with -1.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/win/check.h"
#include "tests/win/wine_start.h"

namespace {

constexpr int ParentClientWidth = 320;
constexpr int ParentClientHeight = 240;

HWND ParentWindow;
int ContextMenusSeen;
bool ForwardedWithParentHandle = true;

bool DestroyOnChildCreation;

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PARENTNOTIFY && LOWORD(wParam) == WM_CREATE && DestroyOnChildCreation) {
        DestroyWindow(window);
        // Wine destroys a child of another thread with a message that thread handles later. The
        // child's thread handles sent messages in order while it waits for this answer, so one
        // more sent message makes sure the child is gone before its CreateWindowExA returns;
        // without it, a busy machine lets the creation succeed.
        SendMessageTimeoutA(reinterpret_cast<HWND>(lParam), WM_NULL, 0, 0, SMTO_NORMAL, 5000, nullptr);
        return 0;
    }
    if (message == WM_CONTEXTMENU) {
        ++ContextMenusSeen;
        if (reinterpret_cast<HWND>(wParam) != window) ForwardedWithParentHandle = false;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void PumpFor(DWORD milliseconds) {
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    } while (GetTickCount() - start < milliseconds);
}

// The child exists before its creation has finished: wait until it is shown as well.
HWND WaitForPreview(DWORD milliseconds) {
    DWORD start = GetTickCount();
    do {
        HWND child = FindWindowExA(ParentWindow, nullptr, "WindowsScreenSaverClass", nullptr);
        if (child && IsWindowVisible(child)) return child;
        PumpFor(20);
    } while (GetTickCount() - start < milliseconds);
    return FindWindowExA(ParentWindow, nullptr, "WindowsScreenSaverClass", nullptr);
}

bool StillRunning(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: host_preview_parent_test SCR INPUT_MS\n");
        return 2;
    }
    WNDCLASSA parentClass = {};
    parentClass.lpfnWndProc = ParentProc;
    parentClass.hInstance = GetModuleHandleA(nullptr);
    parentClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    parentClass.lpszClassName = "HostPreviewParent";
    RegisterClassA(&parentClass);
    RECT frame = {0, 0, ParentClientWidth, ParentClientHeight};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    ParentWindow = CreateWindowExA(0, "HostPreviewParent", "Preview parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100,
                                   frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                   parentClass.hInstance, nullptr);
    SetForegroundWindow(ParentWindow);
    PumpFor(100);
    HWND foregroundBefore = GetForegroundWindow();

    std::string commandLine =
        std::string("\"") + argv[1] + "\" /p " + std::to_string(reinterpret_cast<UINT_PTR>(ParentWindow));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!Check(StartProcessUnderWine(&commandLine[0], FALSE, &startup, &process) != FALSE, "the preview starts"))
        return FinishChecks();

    DestroyOnChildCreation = std::string(argv[2]) == "destroy-on-create";
    if (DestroyOnChildCreation) {
        // The child's creation is announced with a sent message: keep pumping until the end.
        DWORD start = GetTickCount();
        while (StillRunning(process.hProcess) && GetTickCount() - start < 10000) PumpFor(20);
        Check(!StillRunning(process.hProcess), "the preview ends by itself");
        DWORD exitCode = 0xDEAD;
        GetExitCodeProcess(process.hProcess, &exitCode);
        Check(!IsWindow(ParentWindow), "the parent destroyed itself during the child's creation");
        CheckEqual(exitCode, 0xFFFFFFFFu, "a preview whose window could not be made ends with -1");
        return FinishChecks();
    }

    HWND preview = WaitForPreview(10000);
    if (Check(preview != nullptr, "a preview child appears in the parent")) {
        char title[32] = "";
        GetWindowTextA(preview, title, sizeof title);
        CheckText(title, "Preview", "preview title");
        CheckEqual(GetWindowLongA(preview, GWL_STYLE) & 0xFFFF0000L, 0x52000000L,
                   "preview style: child, visible, clips children");
        CheckEqual(GetWindowLongA(preview, GWL_EXSTYLE) & WS_EX_TOPMOST, 0, "preview not topmost");
        RECT client = {};
        GetClientRect(ParentWindow, &client);
        RECT placed = {};
        GetWindowRect(preview, &placed);
        MapWindowPoints(nullptr, ParentWindow, reinterpret_cast<POINT*>(&placed), 2);
        CheckEqual(placed.left, 0, "preview left");
        CheckEqual(placed.top, 0, "preview top");
        CheckEqual(placed.right, client.right, "preview width is the parent's client width");
        CheckEqual(placed.bottom, client.bottom, "preview height is the parent's client height");
        Check(GetForegroundWindow() == foregroundBefore, "the preview is not brought forward");

        // Posted input that would end the full-screen saver.
        SetCursorPos(5, 5);
        const UINT closers[] = {WM_KEYDOWN,     WM_SYSKEYDOWN, WM_LBUTTONDOWN,   WM_RBUTTONDOWN,
                                WM_MBUTTONDOWN, WM_MOUSEMOVE,  WM_POWERBROADCAST};
        for (UINT message : closers) PostMessageA(preview, message, 0, 0);
        PostMessageA(preview, WM_ACTIVATEAPP, FALSE, 0);
        PostMessageA(preview, WM_POWER, 3, 0);
        SetCursorPos(600, 500);
        PostMessageA(preview, WM_MOUSEMOVE, 0, 0);

        UINT autoPlayQuery = RegisterWindowMessageA("QueryCancelAutoPlay");
        CheckEqual(SendMessageA(preview, autoPlayQuery, 0, 0), 0, "a preview lets AutoPlay go on");
        HELPINFO help = {};  // the system copies it across processes, so it must be real
        help.cbSize = sizeof help;
        help.iContextType = HELPINFO_WINDOW;
        help.hItemHandle = preview;
        CheckEqual(SendMessageA(preview, WM_HELP, 0, reinterpret_cast<LPARAM>(&help)), 1, "help answered 1");
        CheckEqual(SendMessageA(preview, WM_CONTEXTMENU, 0, 0), 1, "context menu answered 1");
        PumpFor(300);
        // Wine posts no message whose lParam points at data (WM_HELP carries a HELPINFO), so
        // the forwarded help cannot arrive here; the context menu shows the forwarding.
        CheckEqual(ContextMenusSeen, 1, "context menu forwarded to the parent");
        Check(ForwardedWithParentHandle, "forwarded with the parent's handle as wParam");

        GetWindowRect(preview, &placed);
        printf("PREVIEW READY %ld %ld %ld %ld\n", placed.left, placed.top, placed.right - placed.left,
               placed.bottom - placed.top);
        fflush(stdout);
        PumpFor(static_cast<DWORD>(atoi(argv[2])));

        Check(IsWindow(preview) != FALSE, "no input closed the preview");
        Check(StillRunning(process.hProcess), "the preview process still runs");
    }

    DestroyWindow(ParentWindow);
    DWORD waited = WaitForSingleObject(process.hProcess, 10000);
    Check(waited == WAIT_OBJECT_0, "destroying the parent ends the preview");
    DWORD exitCode = 0xDEAD;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CheckEqual(exitCode, 0, "preview exit code");
    if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return FinishChecks();
}
