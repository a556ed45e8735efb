// Where SaverWindowProc sends a message, apart from creation and destruction, which have steps
// of their own: keeps the title fixed, drops ticks and input once closing is approved, swallows
// task switching in full screen, and hands a preview's help requests to the display settings.
#pragma once
#include <cstdint>

#include "host/saver_host.h"

enum class WindowRoute {
    ToSlideshow,
    HideCursorThenSlideshow,  // full-screen paint: the pointer stays hidden
    YieldThenSlideshow,       // timer tick: a sleep of 0 ms first
    ToDefault,                // the platform's default processing, skipping the slideshow
    ReturnZero,
    ForwardToPreviewParent,  // post it to the parent with the parent as wParam; answer 1
};

WindowRoute ChooseWindowRoute(const SaverHostState& host, std::uint32_t message, std::uintptr_t wParam);
