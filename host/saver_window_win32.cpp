// The saver window: one class, a topmost popup over every monitor or a child of the preview
// parent, and the thread's only message loop.
#include <windows.h>

#include "host/full_screen_layout.h"
#include "host/saver_handles_win32.h"
#include "host/saver_host.h"
#include "host/saver_modes_win32.h"
#include "platform/handle_scopes_win32.h"
#include "platform/wide_text_win32.h"
#include "render/show_area.h"
#include "resources/resource_ids.h"

namespace {

const char SaverClassName[] = "WindowsScreenSaverClass";
const char FullScreenTitle[] = "Screen Saver";
const char PreviewTitle[] = "Preview";

struct WindowPlacement {
    DWORD ExtendedStyle;
    const char* Title;
    DWORD Style;
    RECT Area;  // left, top, and the size in right and bottom
};

RECT ScreenClipBox() {
    RECT clip = {};
    WindowDc screen(nullptr, GetDC(nullptr));
    GetClipBox(screen, &clip);
    return clip;
}

// The monitor calls came with Windows 98 and 2000: looked up at run time, so that the program
// still starts on 95 and NT 4, where the list stays empty.
typedef BOOL(WINAPI* EnumDisplayMonitorsCall)(HDC, LPCRECT, MONITORENUMPROC, LPARAM);
typedef BOOL(WINAPI* GetMonitorInfoACall)(HMONITOR, LPMONITORINFO);

struct MonitorListing {
    GetMonitorInfoACall GetInfo;
    DisplayMetrics* Display;
};

BOOL CALLBACK ListMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM context) {
    MonitorListing* listing = reinterpret_cast<MonitorListing*>(context);
    DisplayMetrics& display = *listing->Display;
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (display.MonitorCount < MostMonitors && listing->GetInfo(monitor, &info)) {
        const RECT& r = info.rcMonitor;
        display.Monitors[display.MonitorCount++] = {r.left, r.top, r.right, r.bottom};
    }
    return TRUE;
}

void ListMonitors(DisplayMetrics& display) {
    const EnumDisplayMonitorsCall enumMonitors =
        reinterpret_cast<EnumDisplayMonitorsCall>(LoadedModuleFunction("user32.dll", "EnumDisplayMonitors"));
    MonitorListing listing = {
        reinterpret_cast<GetMonitorInfoACall>(LoadedModuleFunction("user32.dll", "GetMonitorInfoA")), &display};
    if (!enumMonitors || !listing.GetInfo) return;
    if (!enumMonitors(nullptr, nullptr, ListMonitor, reinterpret_cast<LPARAM>(&listing))) display.MonitorCount = 0;
}

DisplayMetrics ReadDisplayMetrics() {
    DisplayMetrics display = {};
    // Windows 95 and NT 4 have no virtual screen and answer 0 for these.
    display.VirtualLeft = GetSystemMetrics(SM_XVIRTUALSCREEN);
    display.VirtualTop = GetSystemMetrics(SM_YVIRTUALSCREEN);
    display.VirtualWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    display.VirtualHeight = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    display.PrimaryWidth = GetSystemMetrics(SM_CXSCREEN);
    display.PrimaryHeight = GetSystemMetrics(SM_CYSCREEN);
    const RECT clip = ScreenClipBox();
    display.ScreenClipBox = {clip.left, clip.top, clip.right, clip.bottom};
    ListMonitors(display);
    return display;
}

WNDCLASSA SaverWindowClass(HINSTANCE instance) {
    WNDCLASSA saverClass = {};
    // CS_OWNDC: the presenter keeps its palette selected in the window's one device context.
    saverClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
    saverClass.lpfnWndProc = SaverWindowProc;
    saverClass.hInstance = instance;
    saverClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(SAVER_CLASS_ICON));
    saverClass.hCursor = nullptr;  // the host hides the pointer itself
    saverClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    saverClass.lpszClassName = SaverClassName;
    return saverClass;
}

int RunMessageLoop() {
    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

void SetSaverRunning(bool on) {
    if (!SaverHost.OnWindows9x) return;
    UINT previous = 0;
    SystemParametersInfoA(SPI_SCREENSAVERRUNNING, on ? 1 : 0, &previous, 0);
}

int RunSaverWindow(HWND parent) {
    HINSTANCE instance = HostHandles.Instance;
    WNDCLASSA saverClass = SaverWindowClass(instance);

    WindowPlacement placement = {};
    if (parent) {
        RECT client = {};
        GetClientRect(parent, &client);
        SaverHost.PreviewMode = true;
        placement = {0, PreviewTitle, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, {0, 0, client.right, client.bottom}};
    } else {
        const FullScreenLayout layout = ChooseFullScreenLayout(ReadDisplayMetrics());
        const PixelRect& screen = layout.Window;
        placement = {WS_EX_TOPMOST,
                     FullScreenTitle,
                     WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                     {screen.Left, screen.Top, screen.Right - screen.Left, screen.Bottom - screen.Top}};
        // A second full-screen start only brings the running saver forward.
        HWND running = FindWindowA(SaverClassName, FullScreenTitle);
        if (running && IsWindow(running)) {
            SetForegroundWindow(running);
            return 0;
        }
        LoadPasswordHook();
        RecordMonitorShowAreas(layout.MonitorShows, layout.MonitorShowCount);
    }

    SaverHost.AutoPlayQueryMessage = SaverHost.OnWindows9x ? RegisterWindowMessageA("QueryCancelAutoPlay") : 0;

    HWND window = nullptr;
    if (RegisterClassA(&saverClass)) {
        window = CreateWindowExA(placement.ExtendedStyle, SaverClassName, placement.Title, placement.Style,
                                 placement.Area.left, placement.Area.top, placement.Area.right, placement.Area.bottom,
                                 parent, nullptr, instance, nullptr);
    }

    int result = -1;  // no class or no window: nothing ran
    if (window) {
        if (!parent) SetForegroundWindow(window);
        result = RunMessageLoop();
    }
    UnloadPasswordHook();
    return result;
}
