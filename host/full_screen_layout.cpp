#include "host/full_screen_layout.h"

FullScreenLayout ChooseFullScreenLayout(const DisplayMetrics& display) {
    if (display.VirtualWidth <= 0 || display.VirtualHeight <= 0) {
        // No virtual screen: one monitor, shown whole.
        const PixelRect& clip = display.ScreenClipBox;
        return {clip, {0, 0, clip.Right - clip.Left, clip.Bottom - clip.Top}};
    }
    const std::int32_t left = display.VirtualLeft;
    const std::int32_t top = display.VirtualTop;
    return {{left, top, left + display.VirtualWidth, top + display.VirtualHeight},
            {-left, -top, display.PrimaryWidth - left, display.PrimaryHeight - top}};
}
