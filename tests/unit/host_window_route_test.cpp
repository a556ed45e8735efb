#include "host/window_route.h"

#include <gtest/gtest.h>

#include "host/message_ids.h"

namespace {

using namespace MessageId;

struct RouteCase {
    std::uint32_t message;
    std::uintptr_t wParam;
    WindowRoute running, preview, approved;
};

TEST(ChooseWindowRoute, FiltersByModeAndClosingState) {
    using R = WindowRoute;
    const RouteCase cases[] = {
        {WM_SETTEXT, 0, R::ReturnZero, R::ReturnZero, R::ReturnZero},
        {WM_PAINT, 0, R::HideCursorThenSlideshow, R::ToSlideshow, R::ToDefault},
        {WM_HELP, 0, R::ToSlideshow, R::ForwardToPreviewParent, R::ToSlideshow},
        {WM_CONTEXTMENU, 0, R::ToSlideshow, R::ForwardToPreviewParent, R::ToSlideshow},
        {WM_KEYDOWN, 0, R::ToSlideshow, R::ToSlideshow, R::ToDefault},
        {WM_SYSKEYDOWN, 0, R::ToSlideshow, R::ToSlideshow, R::ToDefault},
        {WM_MOUSEMOVE, 0, R::ToSlideshow, R::ToSlideshow, R::ToDefault},
        {WM_LBUTTONDOWN, 0, R::ToSlideshow, R::ToSlideshow, R::ToDefault},
        {WM_RBUTTONDOWN, 0, R::ToSlideshow, R::ToSlideshow, R::ToDefault},
        {WM_MBUTTONDOWN, 0, R::ToSlideshow, R::ToSlideshow, R::ToDefault},
        {WM_KEYUP, 0, R::ToSlideshow, R::ToSlideshow, R::ToSlideshow},
        {WM_SYSCOMMAND, SC_SCREENSAVE, R::ReturnZero, R::ToSlideshow, R::ReturnZero},
        {WM_SYSCOMMAND, SC_NEXTWINDOW, R::ReturnZero, R::ToSlideshow, R::ReturnZero},
        {WM_SYSCOMMAND, SC_PREVWINDOW, R::ReturnZero, R::ToSlideshow, R::ReturnZero},
        {WM_SYSCOMMAND, SC_SCREENSAVE + 1, R::ToSlideshow, R::ToSlideshow, R::ToSlideshow},
        {WM_SYSCOMMAND, SC_CLOSE, R::ToSlideshow, R::ToSlideshow, R::ToSlideshow},
        {WM_TIMER, 0, R::YieldThenSlideshow, R::YieldThenSlideshow, R::ReturnZero},
        {WM_CLOSE, 0, R::ToSlideshow, R::ToSlideshow, R::ToSlideshow},
        {WM_SETCURSOR, 0, R::ToSlideshow, R::ToSlideshow, R::ToSlideshow},
    };
    for (const RouteCase& c : cases) {
        SaverHostState host = MakeInitialHostState();
        EXPECT_EQ(ChooseWindowRoute(host, c.message, c.wParam), c.running)
            << std::hex << c.message << " " << c.wParam;
        host.PreviewMode = true;
        EXPECT_EQ(ChooseWindowRoute(host, c.message, c.wParam), c.preview)
            << std::hex << c.message << " " << c.wParam;
        host.PreviewMode = false;
        host.CloseApproved = 1;
        EXPECT_EQ(ChooseWindowRoute(host, c.message, c.wParam), c.approved)
            << std::hex << c.message << " " << c.wParam;
    }
}

}  // namespace
