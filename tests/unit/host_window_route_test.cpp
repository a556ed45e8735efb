#include "host/window_route.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/full_screen_layout.h"
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
        EXPECT_EQ(ChooseWindowRoute(host, c.message, c.wParam), c.running) << std::hex << c.message << " " << c.wParam;
        host.PreviewMode = true;
        EXPECT_EQ(ChooseWindowRoute(host, c.message, c.wParam), c.preview) << std::hex << c.message << " " << c.wParam;
        host.PreviewMode = false;
        host.CloseApproved = 1;
        EXPECT_EQ(ChooseWindowRoute(host, c.message, c.wParam), c.approved) << std::hex << c.message << " " << c.wParam;
    }
}

std::string Describe(const PixelRect& r) {
    return std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) + "," +
           std::to_string(r.Bottom);
}

struct LayoutCase {
    const char* layout;
    DisplayMetrics display;
    PixelRect window;    // screen coordinates
    PixelRect showArea;  // client coordinates
    // As the system lists them, in screen coordinates; and the areas of a show on every monitor
    // in client coordinates. A case without shows expects the primary's area alone.
    std::vector<PixelRect> monitors;
    std::vector<PixelRect> shows;
};

std::string Describe(const std::vector<PixelRect>& rects) {
    std::string text;
    for (const PixelRect& r : rects) text += Describe(r) + ";";
    return text;
}

// The primary monitor is 1024 x 768 unless a case says otherwise; the virtual screen is the
// smallest rectangle around every monitor. A per-monitor aware process gets every rectangle in
// physical pixels, so a scaled monitor is simply a larger one.
TEST(ChooseFullScreenLayout, CoversEveryMonitorAndShowsOnThePrimary) {
    const LayoutCase cases[] = {
        {"one monitor", {0, 0, 1024, 768, 1024, 768, {0, 0, 1024, 768}}, {0, 0, 1024, 768}, {0, 0, 1024, 768}},
        {"1280 x 1024 to the left",
         {-1280, 0, 2304, 1024, 1024, 768, {0, 0, 1024, 768}},
         {-1280, 0, 1024, 1024},
         {1280, 0, 2304, 768}},
        {"1024 x 768 above",
         {0, -768, 1024, 1536, 1024, 768, {0, 0, 1024, 768}},
         {0, -768, 1024, 768},
         {0, 768, 1024, 1536}},
        {"1920 x 1080 to the right",
         {0, 0, 2944, 1080, 1024, 768, {0, 0, 1024, 768}},
         {0, 0, 2944, 1080},
         {0, 0, 1024, 768}},
        {"800 x 600 to the left, 300 lower",
         {-800, 0, 1824, 900, 1024, 768, {0, 0, 1024, 768}},
         {-800, 0, 1024, 900},
         {800, 0, 1824, 768}},
        {"640 x 480 above and to the left of 1600 x 1200",
         {-640, -480, 2240, 1680, 1600, 1200, {0, 0, 1600, 1200}},
         {-640, -480, 1600, 1200},
         {640, 480, 2240, 1680}},
        // Windows 95 and NT 4: no virtual screen, the clip box as before.
        {"no virtual screen", {0, 0, 0, 0, 640, 480, {0, 0, 640, 480}}, {0, 0, 640, 480}, {0, 0, 640, 480}},
        {"no virtual screen, clip box off the origin",
         {0, 0, 0, 0, 800, 600, {-10, -20, 790, 580}},
         {-10, -20, 790, 580},
         {0, 0, 800, 600}},
        {"a virtual screen without height",
         {0, 0, 1024, 0, 1024, 768, {0, 0, 1024, 768}},
         {0, 0, 1024, 768},
         {0, 0, 1024, 768}},
        {"one monitor listed",
         {0, 0, 1024, 768, 1024, 768, {0, 0, 1024, 768}},
         {0, 0, 1024, 768},
         {0, 0, 1024, 768},
         {{0, 0, 1024, 768}},
         {{0, 0, 1024, 768}}},
        {"1920 x 1080 to the right, listed",
         {0, 0, 2944, 1080, 1024, 768, {0, 0, 1024, 768}},
         {0, 0, 2944, 1080},
         {0, 0, 1024, 768},
         {{0, 0, 1024, 768}, {1024, 0, 2944, 1080}},
         {{0, 0, 1024, 768}, {1024, 0, 2944, 1080}}},
        {"3840 x 2160 at 150 % to the left of a 1920 x 1080 primary at 100 %, listed first",
         {-3840, 0, 5760, 2160, 1920, 1080, {0, 0, 1920, 1080}},
         {-3840, 0, 1920, 2160},
         {3840, 0, 5760, 1080},
         {{-3840, 0, 0, 2160}, {0, 0, 1920, 1080}},
         {{3840, 0, 5760, 1080}, {0, 0, 3840, 2160}}},
        {"2560 x 1440 primary at 125 %, 1280 x 1024 above, portrait 1080 x 1920 to the left, 200 lower",
         {-1080, -1024, 3640, 3144, 2560, 1440, {0, 0, 2560, 1440}},
         {-1080, -1024, 2560, 2120},
         {1080, 1024, 3640, 2464},
         {{0, 0, 2560, 1440}, {0, -1024, 1280, 0}, {-1080, 200, 0, 2120}},
         {{1080, 1024, 3640, 2464}, {1080, 0, 2360, 1024}, {0, 1224, 1080, 3144}}},
        {"a clone listed twice and one overlapping the primary get no show of their own",
         {0, 0, 2048, 768, 1024, 768, {0, 0, 1024, 768}},
         {0, 0, 2048, 768},
         {0, 0, 1024, 768},
         {{1024, 0, 2048, 768}, {0, 0, 1024, 768}, {1024, 0, 2048, 768}, {512, 0, 1536, 768}},
         {{0, 0, 1024, 768}, {1024, 0, 2048, 768}}},
        {"a monitor reaching past the virtual screen is cut to it; an empty one is passed over",
         {0, 0, 2048, 768, 1024, 768, {0, 0, 1024, 768}},
         {0, 0, 2048, 768},
         {0, 0, 1024, 768},
         {{1024, 0, 1024, 768}, {1024, -100, 2148, 868}},
         {{0, 0, 1024, 768}, {1024, 0, 2048, 768}}},
        {"monitors listed but no virtual screen: the clip box alone",
         {0, 0, 0, 0, 640, 480, {0, 0, 640, 480}},
         {0, 0, 640, 480},
         {0, 0, 640, 480},
         {{0, 0, 640, 480}, {640, 0, 1280, 480}},
         {{0, 0, 640, 480}}},
    };
    for (const LayoutCase& c : cases) {
        DisplayMetrics display = c.display;
        display.MonitorCount = static_cast<std::int32_t>(c.monitors.size());
        for (std::size_t i = 0; i < c.monitors.size(); ++i) display.Monitors[i] = c.monitors[i];
        const FullScreenLayout layout = ChooseFullScreenLayout(display);
        EXPECT_EQ(Describe(layout.Window), Describe(c.window)) << c.layout;
        EXPECT_EQ(Describe(layout.ShowArea), Describe(c.showArea)) << c.layout;
        const std::vector<PixelRect> shows(layout.MonitorShows, layout.MonitorShows + layout.MonitorShowCount);
        EXPECT_EQ(Describe(shows), Describe(c.shows.empty() ? std::vector<PixelRect>{c.showArea} : c.shows))
            << c.layout;
    }
}

}  // namespace
