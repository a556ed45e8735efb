// The image presenter: the fill, the palette and the draw on the saver window's device context.
#include "render/image_presenter_win32.h"

#include <cstring>

#include "platform/debug_output.h"
#include "platform/handle_scopes_win32.h"
#include "platform/trace_labels.h"
#include "render/display_palette_win32.h"
#include "render/show_area.h"

namespace {

ImagePresenterState Presenter = {};

void DrawCentred(HDC dc, const RECT& area, const unsigned char* image) {
    const DibLayout layout = ReadDibLayout(image);
    // Truncating division: an image larger than the area gets negative offsets and its middle shows.
    const int32_t x = area.left + (area.right - layout.width - area.left) / 2;
    const int32_t y = area.top + (area.bottom - layout.height - area.top) / 2;
    const unsigned char* bits = PackedDibBits(image);
    const uint32_t startTick = TickCount();
    StretchDIBits(dc, x, y, layout.width, layout.height, 0, 0, layout.width, layout.height, bits,
                  reinterpret_cast<const BITMAPINFO*>(image), DIB_RGB_COLORS, SRCCOPY);
    WriteTrace(TraceLabel::StretchDIBits, startTick);
}

void DrawName(HDC dc, const RECT& area, const char* name) {
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, area.left, area.top, name, static_cast<int>(strlen(name)));
}

// The picture's palette selected into dc for the drawing; none when it has no entries or the
// system makes or selects none.
HPALETTE SelectPicturePalette(HDC dc, const LogPalette* entries, HPALETTE* previous) {
    *previous = nullptr;
    if (!entries || !(GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE)) return nullptr;
    HPALETTE palette = CreateLogicalPalette(entries);
    if (!palette) return nullptr;
    ++Presenter.PalettesMade;
    *previous = SelectPalette(dc, palette, FALSE);
    if (!*previous) {
        DeleteObject(palette);
        ++Presenter.PalettesDeleted;
        return nullptr;
    }
    return palette;
}

}  // namespace

RECT ShowAreaOf(HWND window) { return MonitorShowAreaOf(window, 0); }

RECT MonitorShowAreaOf(HWND window, int32_t monitor) {
    RECT client = {};
    GetClientRect(window, &client);
    const PixelRect area = MonitorShowAreaIn({client.left, client.top, client.right, client.bottom}, monitor);
    return {area.Left, area.Top, area.Right, area.Bottom};
}

bool IsPaletteDisplay(HWND window) {
    WindowDc dc(window, GetDC(window));
    return (GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE) != 0;
}

namespace {

// Fills fill black and draws the picture (or the name) in area.
int Present(HWND window, const RECT& fill, const RECT& area, const char* name, const PreparedPicture& picture) {
    WindowDc dc(window, GetDC(window));
    HPALETTE previous = nullptr;
    HPALETTE palette = SelectPicturePalette(dc, picture.Palette, &previous);
    FillRect(dc, &fill, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    if (palette) RealizePalette(dc);
    // What does not fit the show area stays off the other monitors.
    IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
    if (picture.Image) {
        DrawCentred(dc, area, picture.Image);
    } else {
        DrawName(dc, area, name);
    }
    SelectClipRgn(dc, nullptr);  // CS_OWNDC: the clipping would outlast this call
    if (palette) {
        SelectPalette(dc, previous, FALSE);
        DeleteObject(palette);
        ++Presenter.PalettesDeleted;
    }
    return dc.Release();
}

}  // namespace

int ShowPicture(HWND window, const char* name, const PreparedPicture& picture) {
    RECT client = {};
    GetClientRect(window, &client);
    return Present(window, client, ShowAreaOf(window), name, picture);
}

int ShowPictureOnMonitor(HWND window, int32_t monitor, const char* name, const PreparedPicture& picture) {
    const RECT area = MonitorShowAreaOf(window, monitor);
    return Present(window, area, area, name, picture);
}

const ImagePresenterState& PresenterState() { return Presenter; }
