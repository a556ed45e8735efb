#include "host/window_route.h"

#include "host/message_ids.h"

WindowRoute ChooseWindowRoute(const SaverHostState& host, std::uint32_t message, std::uintptr_t wParam) {
    using namespace MessageId;
    switch (message) {
        case WM_SETTEXT: return WindowRoute::ReturnZero;
        case WM_PAINT:
            if (host.CloseApproved) return WindowRoute::ToDefault;
            return host.PreviewMode ? WindowRoute::ToSlideshow : WindowRoute::HideCursorThenSlideshow;
        case WM_HELP:
        case WM_CONTEXTMENU: return host.PreviewMode ? WindowRoute::ForwardToPreviewParent : WindowRoute::ToSlideshow;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN: return host.CloseApproved ? WindowRoute::ToDefault : WindowRoute::ToSlideshow;
        case WM_SYSCOMMAND:
            if (!host.PreviewMode && (wParam == SC_NEXTWINDOW || wParam == SC_PREVWINDOW || wParam == SC_SCREENSAVE))
                return WindowRoute::ReturnZero;
            return WindowRoute::ToSlideshow;
        case WM_TIMER: return host.CloseApproved ? WindowRoute::ReturnZero : WindowRoute::YieldThenSlideshow;
        default: return WindowRoute::ToSlideshow;
    }
}
