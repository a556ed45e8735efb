// Where the full-screen saver window goes: over the whole virtual screen, every monitor, where
// the system knows one; otherwise over the screen device context's clip box, all that Windows 95
// and NT 4 show. The show keeps to the primary monitor, whose top-left corner is the screen's
// origin; a show on every monitor has one more area for each other monitor.
#pragma once
#include <cstdint>

#include "render/show_area.h"

enum { MostMonitors = ShowAreaCapacity };

struct DisplayMetrics {
    // SM_XVIRTUALSCREEN, SM_YVIRTUALSCREEN, SM_CXVIRTUALSCREEN, SM_CYVIRTUALSCREEN: 0 all four on
    // systems without them.
    std::int32_t VirtualLeft;
    std::int32_t VirtualTop;
    std::int32_t VirtualWidth;
    std::int32_t VirtualHeight;
    std::int32_t PrimaryWidth;   // SM_CXSCREEN
    std::int32_t PrimaryHeight;  // SM_CYSCREEN
    PixelRect ScreenClipBox;     // GetClipBox of the screen's device context
    // Every monitor's rectangle (rcMonitor) in screen coordinates, as the system lists them; none
    // where the system has no monitor calls. In whatever pixels the system hands out: physical
    // ones to a per-monitor aware process, like the metrics above.
    std::int32_t MonitorCount;
    PixelRect Monitors[MostMonitors];
};

struct FullScreenLayout {
    PixelRect Window;    // screen coordinates
    PixelRect ShowArea;  // client coordinates: the primary monitor
    // A show on every monitor, in client coordinates: ShowArea first, then each other monitor
    // (kept to the window, none of them overlapping another); ShowArea alone with one monitor,
    // without monitor calls or without a virtual screen.
    std::int32_t MonitorShowCount;
    PixelRect MonitorShows[MostMonitors];
};

FullScreenLayout ChooseFullScreenLayout(const DisplayMetrics& display);
