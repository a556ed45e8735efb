// The image presenter: Prepare and Show on the saver window's own device context.
#include "render/image_presenter.h"

#include <cstring>

#include "platform/debug_output.h"
#include "platform/handle_scopes_win32.h"
#include "platform/trace_labels.h"
#include "render/display_palette.h"
#include "render/picture_fit.h"
#include "render/show_area.h"

namespace {

ImagePresenterState Presenter = {};

// Selects the palette that was there before ImagePalette back and deletes ImagePalette.
void ReleaseImagePalette(HDC dc) {
    SelectPalette(dc, Presenter.PreviousPalette, FALSE);
    DeleteObject(Presenter.ImagePalette);
    ++Presenter.PalettesDeleted;
    Presenter.ImagePalette = nullptr;
    Presenter.PreviousPalette = nullptr;
}

void SelectImagePalette(HDC dc, const unsigned char* image) {
    const uint32_t startTick = TickCount();
    Presenter.ImagePalette = CreateBIPalette(image);
    WriteTrace(TraceLabel::CreateBIPalette, startTick);
    if (!Presenter.ImagePalette) {
        Presenter.PreviousPalette = nullptr;
        return;
    }
    ++Presenter.PalettesMade;
    Presenter.PreviousPalette = SelectPalette(dc, Presenter.ImagePalette, FALSE);
    if (!Presenter.PreviousPalette) {
        // Not selected, so nothing would ever give it back: delete it now.
        DeleteObject(Presenter.ImagePalette);
        ++Presenter.PalettesDeleted;
        Presenter.ImagePalette = nullptr;
    }
}

// The palette is made from the picture as it will be drawn: reduced and turned.
PackedDib Prepare(HWND window, HDC dc, PackedDib image, uint8_t orientation, bool mayReplace) {
    // A palette still held means the show restarted between a Prepare and its Show.
    if (Presenter.PreviousPalette) ReleaseImagePalette(dc);
    GetClientRect(window, &Presenter.ClientRect);
    Presenter.ShowRect = ShowAreaOf(window);
    const RECT& area = Presenter.ShowRect;
    image = FitPicture(image, orientation, area.right - area.left, area.bottom - area.top, mayReplace);
    if (GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE) {
        SelectImagePalette(dc, image);
    } else {
        Presenter.PreviousPalette = nullptr;
    }
    return image;
}

void DrawCentred(HDC dc, const unsigned char* image) {
    const RECT& area = Presenter.ShowRect;
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

void DrawName(HDC dc, const char* name) {
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, Presenter.ShowRect.left, Presenter.ShowRect.top, name, static_cast<int>(strlen(name)));
}

void Show(HDC dc, const char* name, const unsigned char* image) {
    FillRect(dc, &Presenter.ClientRect, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    if (Presenter.PreviousPalette) RealizePalette(dc);
    // What does not fit the show area stays off the other monitors.
    const RECT& area = Presenter.ShowRect;
    IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
    if (image) {
        DrawCentred(dc, image);
    } else {
        DrawName(dc, name);
    }
    SelectClipRgn(dc, nullptr);  // CS_OWNDC: the clipping would outlast this Show
    if (Presenter.PreviousPalette) ReleaseImagePalette(dc);
}

}  // namespace

RECT ShowAreaOf(HWND window) {
    RECT client = {};
    GetClientRect(window, &client);
    const PixelRect area = ShowAreaIn({client.left, client.top, client.right, client.bottom});
    return {area.Left, area.Top, area.Right, area.Bottom};
}

int PresentImage(HWND window, const char* name, PackedDib image, PresentMode mode) {
    WindowDc dc(window, GetDC(window));
    if (mode == PresentMode::Prepare) {
        Prepare(window, dc, image, 1, false);  // the caller keeps its block
    } else {
        Show(dc, name, image);
    }
    return dc.Release();
}

PackedDib PreparePicture(HWND window, PackedDib image, uint8_t orientation) {
    WindowDc dc(window, GetDC(window));
    return Prepare(window, dc, image, orientation, true);
}

void ReleasePreparedPalette(HWND window) {
    if (!Presenter.PreviousPalette) return;
    WindowDc dc(window, GetDC(window));
    ReleaseImagePalette(dc);
}

const ImagePresenterState& PresenterState() { return Presenter; }
