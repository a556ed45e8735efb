// Where the full-screen saver window goes: over the whole virtual screen, every monitor, where
// the system knows one; otherwise over the screen device context's clip box, all that Windows 95
// and NT 4 show. The show keeps to the primary monitor, whose top-left corner is the screen's
// origin.
#pragma once
#include <cstdint>

#include "render/show_area.h"

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
};

struct FullScreenLayout {
    PixelRect Window;    // screen coordinates
    PixelRect ShowArea;  // client coordinates
};

FullScreenLayout ChooseFullScreenLayout(const DisplayMetrics& display);
