#include "host/full_screen_layout.h"

#include <algorithm>

namespace {

bool IsEmpty(const PixelRect& r) { return r.Right <= r.Left || r.Bottom <= r.Top; }

PixelRect Intersection(const PixelRect& a, const PixelRect& b) {
    return {std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
}

// The other monitors' areas after the primary's. A monitor the system lists twice (a clone), the
// primary itself, or one that overlaps an area already taken gets no show of its own: two shows
// never draw over each other.
void AddMonitorShows(const DisplayMetrics& display, FullScreenLayout& layout) {
    const std::int32_t count = std::min<std::int32_t>(display.MonitorCount, MostMonitors);
    for (std::int32_t i = 0; i < count && layout.MonitorShowCount < MostMonitors; ++i) {
        const PixelRect& m = display.Monitors[i];
        const PixelRect& w = layout.Window;
        const PixelRect onWindow = Intersection(m, w);
        if (IsEmpty(onWindow)) continue;
        const PixelRect area = {onWindow.Left - w.Left, onWindow.Top - w.Top, onWindow.Right - w.Left,
                                onWindow.Bottom - w.Top};
        bool overlaps = false;
        for (std::int32_t k = 0; k < layout.MonitorShowCount && !overlaps; ++k)
            overlaps = !IsEmpty(Intersection(area, layout.MonitorShows[k]));
        if (!overlaps) layout.MonitorShows[layout.MonitorShowCount++] = area;
    }
}

}  // namespace

FullScreenLayout ChooseFullScreenLayout(const DisplayMetrics& display) {
    FullScreenLayout layout = {};
    if (display.VirtualWidth <= 0 || display.VirtualHeight <= 0) {
        // No virtual screen: one monitor, shown whole.
        const PixelRect& clip = display.ScreenClipBox;
        layout.Window = clip;
        layout.ShowArea = {0, 0, clip.Right - clip.Left, clip.Bottom - clip.Top};
    } else {
        const std::int32_t left = display.VirtualLeft;
        const std::int32_t top = display.VirtualTop;
        layout.Window = {left, top, left + display.VirtualWidth, top + display.VirtualHeight};
        layout.ShowArea = {-left, -top, display.PrimaryWidth - left, display.PrimaryHeight - top};
    }
    layout.MonitorShows[0] = layout.ShowArea;
    layout.MonitorShowCount = 1;
    if (display.VirtualWidth > 0 && display.VirtualHeight > 0) AddMonitorShows(display, layout);
    return layout;
}
