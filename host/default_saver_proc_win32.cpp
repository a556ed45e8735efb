// DefaultSaverProc and ApproveClose against the window system: the closing rules of
// closing_rules.cpp with their outward operations carried out by USER32.
#include <windows.h>

#include "host/closing_rules.h"
#include "host/saver_handles_win32.h"
#include "host/saver_host.h"
#include "host/saver_modes_win32.h"
#include "slideshow/screen_saver_proc_win32.h"

namespace {

class WindowClosingOperations : public ClosingOperations {
public:
    explicit WindowClosingOperations(HWND window) : window_(window) {}

    ScreenPoint CursorPosition() override { return ReadCursorPosition(); }
    std::uint32_t TickCount() override { return GetTickCount(); }
    void PostClose() override { PostMessageA(window_, WM_CLOSE, 0, 0); }
    void HideCursor() override { SetCursor(nullptr); }

    std::int32_t AskWindowToVerify() override {
        // At most two ticks that were already waiting are dropped; the timer itself keeps running.
        MSG tick;
        PeekMessageA(&tick, window_, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
        PeekMessageA(&tick, window_, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
        return static_cast<std::int32_t>(SendMessageA(window_, VerifyPasswordMessage, 0, 0));
    }

    std::int32_t VerifyPassword() override { return HostHandles.VerifyPassword(window_); }

private:
    HWND window_;
};

}  // namespace

ScreenPoint ReadCursorPosition() {
    POINT position = {};
    GetCursorPos(&position);
    return ScreenPoint{position.x, position.y};
}

bool PasswordCheckUnderway() { return SaverHost.PasswordCheckActive; }

LRESULT WINAPI DefaultSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowClosingOperations operations(window);
    SaverProcOutcome outcome = DecideDefaultSaverProc(SaverHost, message, wParam, operations);
    if (outcome.PassToDefault) return DefWindowProcA(window, message, wParam, lParam);
    return outcome.Result;
}

int ApproveClose(HWND window) {
    WindowClosingOperations operations(window);
    return ApproveClose(SaverHost, operations);
}
