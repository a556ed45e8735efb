// The image presenter: the fill, the palette and the draw on the saver window's device context.
#include "render/image_presenter_win32.h"

#include <cstring>

#include "platform/debug_output.h"
#include "platform/handle_scopes_win32.h"
#include "platform/trace_labels.h"
#include "platform/wide_text_win32.h"
#include "render/display_palette_win32.h"
#include "render/show_area.h"
#include "render/slide_overlay.h"

namespace {

// Draws the picture centred in the area; returns where it went.
PixelRect DrawCentred(HDC dc, const RECT& area, const DibPicture& image) {
    const DibLayout& layout = image.Layout;
    // Truncating division: an image larger than the area gets negative offsets and its middle shows.
    const int32_t x = area.left + (area.right - layout.width - area.left) / 2;
    const int32_t y = area.top + (area.bottom - layout.height - area.top) / 2;
    const uint32_t startTick = TickCount();
    StretchDIBits(dc, x, y, layout.width, layout.height, 0, 0, layout.width, layout.height, DibPictureBits(image),
                  reinterpret_cast<const BITMAPINFO*>(image.Block), DIB_RGB_COLORS, SRCCOPY);
    WriteTrace(TraceLabel::StretchDIBits, startTick);
    const int32_t height = layout.height < 0 ? -layout.height : layout.height;
    return {x, y, x + layout.width, y + height};
}

// The backdrop is the area's size: a plain copy, not timed (the picture's draw is).
void DrawBackdrop(HDC dc, const RECT& area, const DibPicture& backdrop) {
    const DibLayout& layout = backdrop.Layout;
    StretchDIBits(dc, area.left, area.top, layout.width, layout.height, 0, 0, layout.width, layout.height,
                  DibPictureBits(backdrop), reinterpret_cast<const BITMAPINFO*>(backdrop.Block), DIB_RGB_COLORS,
                  SRCCOPY);
}

typedef BOOL(WINAPI* TextOutWCall)(HDC, int, int, LPCWSTR, int);

// The caption's text at (x, y) with its top centred there: on NT the UTF-8 of the folder's name
// through TextOutW (Windows 95 has it too, but its text is the ANSI code page's).
void WriteCaptionText(HDC dc, int x, int y, const char* text) {
    if (UsesWideCalls()) {
        const TextOutWCall textOut = reinterpret_cast<TextOutWCall>(LoadedModuleFunction("gdi32.dll", "TextOutW"));
        wchar_t wide[PathBufferSize + 40];
        const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, PathBufferSize + 40);
        if (textOut && length > 1) {
            textOut(dc, x, y, wide, length - 1);
            return;
        }
    }
    TextOutA(dc, x, y, text, static_cast<int>(strlen(text)));
}

// Light letters with a dark edge, readable on any picture: the text in near-black all around,
// then in near-white over it.
void DrawCaption(HDC dc, const RECT& area, const PixelRect& picture, const char* caption) {
    const PixelRect showArea = {area.left, area.top, area.right, area.bottom};
    const int32_t lineHeight = CaptionLineHeight(showArea);
    const CaptionPlace place = PlaceCaption(showArea, picture, lineHeight);
    if (!place.Shown) return;
    HFONT font =
        CreateFontA(-lineHeight * 3 / 4, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, "Arial");
    HGDIOBJ previousFont = font ? SelectObject(dc, font) : nullptr;
    // CS_OWNDC: what is set here would outlast the call, so all of it is put back.
    const UINT previousAlign = SetTextAlign(dc, TA_CENTER | TA_TOP | TA_NOUPDATECP);
    SetBkMode(dc, TRANSPARENT);
    const int x = (area.left + area.right) / 2, y = place.Top;
    const int edge = lineHeight >= 24 ? 2 : 1;
    SetTextColor(dc, RGB(16, 16, 16));
    for (int dy = -edge; dy <= edge; dy += edge) {
        for (int dx = -edge; dx <= edge; dx += edge) {
            if (dx || dy) WriteCaptionText(dc, x + dx, y + dy, caption);
        }
    }
    SetTextColor(dc, RGB(248, 248, 240));
    WriteCaptionText(dc, x, y, caption);
    SetTextAlign(dc, previousAlign);
    if (previousFont) SelectObject(dc, previousFont);
    if (font) DeleteObject(font);
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
    *previous = SelectPalette(dc, palette, FALSE);
    if (!*previous) {
        DeleteObject(palette);
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

void DrawSlide(HDC dc, const RECT& area, const char* name, const PreparedPicture& picture, const char* caption) {
    // What does not fit the show area stays off the other monitors.
    IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
    if (picture.Image.Block) {
        if (picture.Backdrop.Block) DrawBackdrop(dc, area, picture.Backdrop);
        const PixelRect placed = DrawCentred(dc, area, picture.Image);
        if (caption && caption[0]) DrawCaption(dc, area, placed, caption);
    } else {
        DrawName(dc, area, name);
    }
    SelectClipRgn(dc, nullptr);  // CS_OWNDC: the clipping would outlast this call
}

namespace {

// Fills fill black and draws the slide in area.
int Present(HWND window, const RECT& fill, const RECT& area, const char* name, const PreparedPicture& picture,
            const char* caption) {
    WindowDc dc(window, GetDC(window));
    HPALETTE previous = nullptr;
    HPALETTE palette = SelectPicturePalette(dc, picture.Palette, &previous);
    FillRect(dc, &fill, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    if (palette) RealizePalette(dc);
    DrawSlide(dc, area, name, picture, caption);
    if (palette) {
        SelectPalette(dc, previous, FALSE);
        DeleteObject(palette);
    }
    return dc.Release();
}

}  // namespace

int ShowPicture(HWND window, const char* name, const PreparedPicture& picture, const char* caption) {
    RECT client = {};
    GetClientRect(window, &client);
    return Present(window, client, ShowAreaOf(window), name, picture, caption);
}

int ShowPictureOnMonitor(HWND window, int32_t monitor, const char* name, const PreparedPicture& picture,
                         const char* caption) {
    const RECT area = MonitorShowAreaOf(window, monitor);
    return Present(window, area, area, name, picture, caption);
}
