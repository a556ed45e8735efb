// The host's portable decisions name window messages without windows.h; this compares every
// number they use with the platform's own headers.
#include <windows.h>

#include <cstdint>

#include "tests/win/check.h"

extern const std::uintptr_t PortableMessageIds[];
extern const int PortableMessageIdCount;

int main() {
    const std::uintptr_t platform[] = {
        WM_CREATE,      WM_DESTROY,       WM_SETTEXT,     WM_PAINT,       WM_CLOSE,           WM_SHOWWINDOW,
        WM_ACTIVATEAPP, WM_SETCURSOR,     WM_POWER,       WM_HELP,        WM_CONTEXTMENU,     WM_KEYDOWN,
        WM_KEYUP,       WM_SYSKEYDOWN,    WM_SYSCOMMAND,  WM_TIMER,       WM_MOUSEMOVE,       WM_LBUTTONDOWN,
        WM_LBUTTONUP,   WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_MBUTTONDOWN, WM_POWERBROADCAST,  WM_APP,
        SC_CLOSE,       SC_NEXTWINDOW,    SC_PREVWINDOW,  SC_SCREENSAVE,  PWR_CRITICALRESUME, WM_APP,
    };
    const int count = sizeof platform / sizeof platform[0];
    CheckEqual(PortableMessageIdCount, count, "number of message ids");
    for (int i = 0; i < count && i < PortableMessageIdCount; ++i)
        CheckEqual(static_cast<long long>(PortableMessageIds[i]), static_cast<long long>(platform[i]), "message id");
    return FinishChecks();
}
