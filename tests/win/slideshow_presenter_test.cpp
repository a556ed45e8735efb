// PresentImage on a window of the test's own (own device context, like the saver's), read back
// through GDI: the palettes Prepare selects and Show gives back, and where Show draws.
//
// Usage:
//   slideshow_presenter_test palette   on any display; the palette checks need RC_PALETTE (8 bits)
//   slideshow_presenter_test layout    on a 24-bit display: centring, reduction, clipping, the label,
//                                      and all of them in a show area smaller than the window
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "imaging/packed_dib.h"
#include "platform/debug_output.h"
#include "platform/trace_labels.h"
#include "render/image_presenter.h"
#include "render/show_area.h"
#include "tests/win/check.h"
#include "tests/win/slideshow_test_window.h"

namespace {

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // The presenter draws through its own device context; the window only has to exist.
    if (message == WM_ERASEBKGND) return 1;
    return DefWindowProcA(window, message, wParam, lParam);
}

std::vector<std::string> Traces;
void CaptureTrace(const char* text) { Traces.push_back(text); }

bool Traced(const char* label) {
    for (const std::string& text : Traces)
        if (text == label) return true;
    return false;
}

COLORREF TableColour(int index) { return RGB(index, 255 - index, (index * 7) & 0xFF); }

// An 8-bit picture whose pixel in column x has colour-table index x % 256.
PackedDib ColumnIndexImage(int width, int height) {
    PackedDib image = CreatePackedDib(width, height, 8);
    unsigned char* table = image + DibInfoHeaderSize;
    for (int i = 0; i < 256; ++i) {
        const COLORREF colour = TableColour(i);
        table[4 * i] = GetBValue(colour);
        table[4 * i + 1] = GetGValue(colour);
        table[4 * i + 2] = GetRValue(colour);
        table[4 * i + 3] = 0x5A;  // the reserved byte must not reach the palette's flags
    }
    const int stride = static_cast<int>(DibStride(width, 8));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < stride; ++x) PackedDibBits(image)[y * stride + x] = static_cast<unsigned char>(x);
    return image;
}

// A 24-bit picture of vertical stripes, one stripe per colour.
PackedDib StripeImage(int width, int height, const std::vector<COLORREF>& colours) {
    PackedDib image = CreatePackedDib(width, height, 24);
    const int stride = static_cast<int>(DibStride(width, 24));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const COLORREF colour = colours[x * colours.size() / width];
            unsigned char* pixel = PackedDibBits(image) + y * stride + 3 * x;
            pixel[0] = GetBValue(colour);
            pixel[1] = GetGValue(colour);
            pixel[2] = GetRValue(colour);
        }
    }
    return image;
}

HPALETTE SelectedPalette(HWND window) {
    HDC dc = GetDC(window);
    HPALETTE palette = static_cast<HPALETTE>(GetCurrentObject(dc, OBJ_PAL));
    ReleaseDC(window, dc);
    return palette;
}

bool IsLivePalette(HPALETTE palette) { return palette && GetObjectType(palette) == OBJ_PAL; }

// --- palette ------------------------------------------------------------------------------------

// How many of the 8-bit test picture's table colours the system palette holds.
int ColoursInSystemPalette(HWND window) {
    HDC dc = GetDC(window);
    PALETTEENTRY system[256] = {};
    GetSystemPaletteEntries(dc, 0, 256, system);
    ReleaseDC(window, dc);
    std::set<COLORREF> systemColours;
    for (const PALETTEENTRY& e : system) systemColours.insert(RGB(e.peRed, e.peGreen, e.peBlue));
    int found = 0;
    for (int i = 0; i < 256; ++i) found += systemColours.count(TableColour(i)) ? 1 : 0;
    return found;
}

void CheckTablePalette(HWND window, PackedDib image) {
    const ImagePresenterState& presenter = PresenterState();
    const unsigned made = presenter.PalettesMade, deleted = presenter.PalettesDeleted;
    HGDIOBJ defaultPalette = GetStockObject(DEFAULT_PALETTE);

    PresentImage(window, "eight.bmp", image, PresentMode::Prepare);
    HPALETTE selected = SelectedPalette(window);
    Check(selected != defaultPalette, "8-bit: a palette of the image's own is selected");
    Check(selected == presenter.ImagePalette, "8-bit: the selected palette is the presenter's");
    CheckEqual(presenter.PalettesMade, made + 1, "8-bit: one palette made");
    PALETTEENTRY entries[256] = {};
    CheckEqual(GetPaletteEntries(selected, 0, 256, entries), 256, "8-bit: 256 entries");
    int equal = 0, flagsClear = 0;
    for (int i = 0; i < 256; ++i) {
        equal += RGB(entries[i].peRed, entries[i].peGreen, entries[i].peBlue) == TableColour(i);
        flagsClear += entries[i].peFlags == 0;
    }
    CheckEqual(equal, 256, "8-bit: entries equal the colour table, in its order");
    CheckEqual(flagsClear, 256, "8-bit: no flags from the table's reserved bytes");

    const int realizedBefore = ColoursInSystemPalette(window);
    PresentImage(window, "eight.bmp", image, PresentMode::Show);
    Check(!IsLivePalette(selected), "8-bit: Show deleted the palette");
    Check(SelectedPalette(window) == defaultPalette, "8-bit: Show selected the previous palette back");
    CheckEqual(presenter.PalettesDeleted, deleted + 1, "8-bit: one palette deleted");
    Check(presenter.PreviousPalette == nullptr, "8-bit: no palette held after Show");

    // Show realized the palette: its colours went into the system palette, as many as the display
    // had free (under Wine's 8-bit X server about 170 of the 236 that are not reserved).
    const int realizedAfter = ColoursInSystemPalette(window);
    printf("8-bit: %d of the 256 table colours in the system palette before Show, %d after\n", realizedBefore,
           realizedAfter);
    Check(realizedAfter >= realizedBefore + 100, "8-bit: Show realized the palette into the system palette");
}

void CheckQuantizedPalette(HWND window) {
    // Ten colours, well apart: the quantizer keeps each of them as it is.
    const std::vector<COLORREF> colours = {RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(0, 0, 255), RGB(255, 255, 0),
                                           RGB(0, 255, 255), RGB(255, 0, 255), RGB(128, 64, 0), RGB(0, 128, 64),
                                           RGB(64, 0, 128),  RGB(250, 250, 250)};
    PackedDib image = StripeImage(40, 6, colours);
    PresentImage(window, "stripes.bmp", image, PresentMode::Prepare);
    HPALETTE selected = SelectedPalette(window);
    PALETTEENTRY entries[256] = {};
    CheckEqual(GetPaletteEntries(selected, 0, 256, entries), 236, "24-bit: 236 entries");
    std::set<COLORREF> first, wanted(colours.begin(), colours.end());
    for (int i = 0; i < 10; ++i) first.insert(RGB(entries[i].peRed, entries[i].peGreen, entries[i].peBlue));
    Check(first == wanted, "24-bit: the first ten entries are the picture's ten colours");
    int black = 0;
    for (int i = 10; i < 236; ++i)
        black += entries[i].peRed == 0 && entries[i].peGreen == 0 && entries[i].peBlue == 0 && entries[i].peFlags == 0;
    CheckEqual(black, 226, "24-bit: the other entries black");
    PresentImage(window, "stripes.bmp", image, PresentMode::Show);
    Check(!IsLivePalette(selected), "24-bit: Show deleted the palette");
    free(image);
}

// A restart between a Prepare and its Show: the second Prepare gives the first palette up.
void CheckTwoPrepares(HWND window, PackedDib eightBit) {
    const ImagePresenterState& presenter = PresenterState();
    const unsigned made = presenter.PalettesMade, deleted = presenter.PalettesDeleted;
    PackedDib stripes = StripeImage(8, 2, {RGB(1, 2, 3), RGB(200, 100, 50)});
    PresentImage(window, "first", eightBit, PresentMode::Prepare);
    HPALETTE first = SelectedPalette(window);
    PresentImage(window, "second", stripes, PresentMode::Prepare);
    HPALETTE second = SelectedPalette(window);
    Check(!IsLivePalette(first), "two Prepares: the first palette is deleted");
    Check(IsLivePalette(second) && second == presenter.ImagePalette, "two Prepares: the second is selected");
    CheckEqual(presenter.PalettesMade - presenter.PalettesDeleted, 1, "two Prepares: exactly one palette held");
    CheckEqual(presenter.PalettesMade, made + 2, "two Prepares: two made");

    PresentImage(window, "second", stripes, PresentMode::Show);
    PresentImage(window, "second", stripes, PresentMode::Show);  // a second Show releases nothing more
    Check(!IsLivePalette(second), "Show: the second palette is deleted");
    CheckEqual(presenter.PalettesDeleted, deleted + 2, "two Shows: each palette deleted once");
    Check(SelectedPalette(window) == GetStockObject(DEFAULT_PALETTE), "the default palette is back");
    free(stripes);
}

// The teardown of a window whose prepared picture is never shown: the palette goes back without a
// Show, once.
void CheckPaletteReleasedWithoutShow(HWND window, PackedDib eightBit) {
    const ImagePresenterState& presenter = PresenterState();
    const unsigned deleted = presenter.PalettesDeleted;
    PresentImage(window, "eight.bmp", eightBit, PresentMode::Prepare);
    HPALETTE prepared = SelectedPalette(window);
    ReleasePreparedPalette(window);
    Check(!IsLivePalette(prepared), "teardown: the prepared palette is deleted");
    Check(SelectedPalette(window) == GetStockObject(DEFAULT_PALETTE), "teardown: the default palette is back");
    Check(presenter.PreviousPalette == nullptr, "teardown: no palette held");
    ReleasePreparedPalette(window);
    CheckEqual(presenter.PalettesDeleted, deleted + 1, "teardown: the palette deleted once");
    CheckEqual(presenter.PalettesMade, presenter.PalettesDeleted, "teardown: every palette made is deleted");
}

// Images that get no palette: none at all, and 16-bit pixels without a colour table.
void CheckNoPalette(HWND window) {
    const ImagePresenterState& presenter = PresenterState();
    const unsigned made = presenter.PalettesMade;
    PresentImage(window, "nothing", nullptr, PresentMode::Prepare);
    Check(presenter.PreviousPalette == nullptr, "no image: no palette held");
    PresentImage(window, "nothing", nullptr, PresentMode::Show);

    PackedDib sixteen = CreatePackedDib(4, 4, 24);
    PackedDibHeader(sixteen)->biBitCount = 16;  // a 24-bit block holds a 16-bit picture's rows
    memset(PackedDibBits(sixteen), 0x7F, DibStride(4, 16) * 4);
    PresentImage(window, "sixteen", sixteen, PresentMode::Prepare);
    Check(presenter.PreviousPalette == nullptr, "16-bit: no palette held");
    PresentImage(window, "sixteen", sixteen, PresentMode::Show);
    CheckEqual(presenter.PalettesMade, made, "no palette made for either");
    free(sixteen);
}

int PaletteMode() {
    HWND window = CreateSaverLikeWindow(PlainWindowProc, 320, 240, "Presenter Palette Test");
    if (!Check(window != nullptr, "window created")) return FinishChecks();
    HDC dc = GetDC(window);
    const bool palettes = (GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE) != 0;
    ReleaseDC(window, dc);
    printf("palette display: %s\n", palettes ? "yes" : "no");
    PackedDib eightBit = ColumnIndexImage(16, 16);
    if (palettes) {
        CheckTablePalette(window, eightBit);
        CheckQuantizedPalette(window);
        CheckTwoPrepares(window, eightBit);
        CheckPaletteReleasedWithoutShow(window, eightBit);
        CheckNoPalette(window);
    } else {
        // Without RC_PALETTE nothing is selected, realized or deleted.
        PresentImage(window, "eight.bmp", eightBit, PresentMode::Prepare);
        Check(SelectedPalette(window) == GetStockObject(DEFAULT_PALETTE), "no palette display: nothing selected");
        PresentImage(window, "eight.bmp", eightBit, PresentMode::Show);
        CheckEqual(PresenterState().PalettesMade, 0, "no palette display: no palette made");
        CheckEqual(PresenterState().PalettesDeleted, 0, "no palette display: none deleted");
    }
    free(eightBit);
    DestroyWindow(window);
    return FinishChecks();
}

// --- layout -------------------------------------------------------------------------------------

const int ClientWidth = 401;
const int ClientHeight = 301;

COLORREF Pixel(HWND window, int x, int y) {
    HDC dc = GetDC(window);
    const COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return colour;
}

// Whether the rectangle left..right-1 × top..bottom-1 holds colour and the pixels just outside it
// are black (where they lie in the window).
bool DrawnExactlyAt(HWND window, COLORREF colour, int left, int top, int right, int bottom) {
    const int xs[] = {left, (left + right) / 2, right - 1};
    const int ys[] = {top, (top + bottom) / 2, bottom - 1};
    for (int x : xs)
        for (int y : ys)
            if (Pixel(window, x, y) != colour) return false;
    const COLORREF black = RGB(0, 0, 0);
    if (left > 0 && Pixel(window, left - 1, top) != black) return false;
    if (top > 0 && Pixel(window, left, top - 1) != black) return false;
    if (right < ClientWidth && Pixel(window, right, bottom - 1) != black) return false;
    if (bottom < ClientHeight && Pixel(window, right - 1, bottom) != black) return false;
    return true;
}

void Present(HWND window, const char* name, PackedDib image) {
    Traces.clear();
    PresentImage(window, name, image, PresentMode::Prepare);
    PresentImage(window, name, image, PresentMode::Show);
}

void CheckLayout(HWND window) {
    const COLORREF green = RGB(10, 200, 30);
    PackedDib small = StripeImage(100, 51, {green});
    Present(window, "small", small);
    // (401 - 100) / 2 = 150 and (301 - 51) / 2 = 125: the odd pixel goes to the right and bottom.
    Check(DrawnExactlyAt(window, green, 150, 125, 250, 176), "smaller picture centred, offsets rounded down");
    Check(!Traced(TraceLabel::ProcessImage), "smaller picture: not reduced");
    Check(Traced(TraceLabel::StretchDIBits), "smaller picture: the draw is traced");
    free(small);

    const COLORREF blue = RGB(20, 40, 220);
    PackedDib exact = StripeImage(ClientWidth, ClientHeight, {blue});
    Present(window, "exact", exact);
    CheckEqual(ReadDibLayout(exact).width, ClientWidth, "picture of the client size: width kept");
    Check(!Traced(TraceLabel::ProcessImage), "picture of the client size: not reduced");
    Check(DrawnExactlyAt(window, blue, 0, 0, ClientWidth, ClientHeight), "picture of the client size at (0, 0)");
    free(exact);

    PackedDib wider = StripeImage(ClientWidth + 1, ClientHeight, {green});
    Present(window, "wider", wider);
    const DibLayout reduced = ReadDibLayout(wider);
    Check(Traced(TraceLabel::ProcessImage), "a pixel wider: reduced, and the reduction traced");
    CheckEqual(reduced.width, ClientWidth, "a pixel wider: reduced to the client width");
    Check(reduced.height < ClientHeight, "a pixel wider: the height follows the aspect ratio");
    const int top = (ClientHeight - reduced.height) / 2;
    Check(DrawnExactlyAt(window, green, 0, top, ClientWidth, top + reduced.height), "reduced picture centred");
    free(wider);

    // An 8-bit picture is never reduced (the reducer is asked, and leaves it): it is drawn at its
    // own size with its middle showing. (401 - 500) / 2 = -49 (toward zero), so the window's
    // column 0 shows the picture's column 49.
    PackedDib large = ColumnIndexImage(500, 400);
    Present(window, "large", large);
    CheckEqual(ReadDibLayout(large).width, 500, "8-bit larger picture: not reduced");
    CheckEqual(Pixel(window, 0, 0), TableColour(49), "8-bit larger picture: column 49 at the left edge");
    CheckEqual(Pixel(window, 400, 300), TableColour((400 + 49) % 256), "8-bit larger picture: clipped right");
    free(large);

    // Show draws in the area Prepare measured, even when the window changed in between.
    PackedDib moved = StripeImage(100, 51, {blue});
    PresentImage(window, "moved", moved, PresentMode::Prepare);
    SetWindowPos(window, nullptr, 0, 0, ClientWidth + 100, ClientHeight + 50, SWP_NOZORDER | SWP_NOMOVE);
    PresentImage(window, "moved", moved, PresentMode::Show);
    Check(DrawnExactlyAt(window, blue, 150, 125, 250, 176), "Show centres in the area of the last Prepare");
    SetWindowPos(window, nullptr, 0, 0, ClientWidth, ClientHeight, SWP_NOZORDER | SWP_NOMOVE);
    free(moved);
}

struct DrawnPixels {
    int White, Other;
    RECT Bounds;  // of every pixel that is not black, right and bottom included
};

DrawnPixels ReadDrawnPixels(HWND window) {
    DrawnPixels drawn = {0, 0, {ClientWidth, ClientHeight, 0, 0}};
    HDC dc = GetDC(window);
    for (int y = 0; y < ClientHeight; ++y) {
        for (int x = 0; x < ClientWidth; ++x) {
            const COLORREF colour = GetPixel(dc, x, y);
            if (colour == RGB(0, 0, 0)) continue;
            if (colour == RGB(255, 255, 255)) ++drawn.White;
            else ++drawn.Other;
            if (x < drawn.Bounds.left) drawn.Bounds.left = x;
            if (y < drawn.Bounds.top) drawn.Bounds.top = y;
            if (x > drawn.Bounds.right) drawn.Bounds.right = x;
            if (y > drawn.Bounds.bottom) drawn.Bounds.bottom = y;
        }
    }
    ReleaseDC(window, dc);
    const RECT& text = drawn.Bounds;
    printf("label: %d white pixels, %d others, in (%ld, %ld)-(%ld, %ld)\n", drawn.White, drawn.Other, text.left,
           text.top, text.right, text.bottom);
    return drawn;
}

void CheckLabel(HWND window) {
    Present(window, "Z:\\pictures\\broken.bmp", nullptr);
    const DrawnPixels drawn = ReadDrawnPixels(window);
    const RECT& text = drawn.Bounds;
    Check(drawn.White >= 50, "no picture: the name in white");
    Check(text.left <= 2 && text.top <= 4 && text.bottom < 30, "no picture: the name at the top-left corner");
    Check(!Traced(TraceLabel::StretchDIBits), "no picture: nothing drawn with StretchDIBits");
}

// The full-screen window over several monitors: the show keeps to the primary monitor's part of the
// window, here 200 x 150 at (41, 31), and everything else is black.
void CheckShowArea(HWND window) {
    const int left = 41, top = 31, right = 241, bottom = 181;
    const COLORREF blue = RGB(20, 40, 220), green = RGB(10, 200, 30);
    PackedDib whole = StripeImage(ClientWidth, ClientHeight, {blue});
    Present(window, "whole", whole);  // the window blue all over before the show area is recorded
    free(whole);
    RecordShowArea({left, top, right, bottom});

    PackedDib small = StripeImage(100, 51, {green});
    Present(window, "small", small);
    // 41 + (200 - 100) / 2 = 91 and 31 + (150 - 51) / 2 = 80.
    Check(DrawnExactlyAt(window, green, 91, 80, 191, 131), "show area: smaller picture centred in it");
    const COLORREF corners[] = {Pixel(window, 0, 0), Pixel(window, ClientWidth - 1, 0),
                                Pixel(window, 0, ClientHeight - 1), Pixel(window, ClientWidth - 1, ClientHeight - 1)};
    for (COLORREF corner : corners) CheckEqual(corner, RGB(0, 0, 0), "show area: the whole window filled black");
    free(small);

    PackedDib larger = StripeImage(ClientWidth, ClientHeight, {green});
    Present(window, "larger", larger);
    const DibLayout reduced = ReadDibLayout(larger);
    Check(Traced(TraceLabel::ProcessImage), "show area: a picture of the client's size is reduced");
    Check(reduced.width <= right - left && reduced.height <= bottom - top &&
              (reduced.width == right - left || reduced.height == bottom - top),
          "show area: the picture reduced to fit it");
    const int x = left + (right - left - reduced.width) / 2, y = top + (bottom - top - reduced.height) / 2;
    Check(DrawnExactlyAt(window, green, x, y, x + reduced.width, y + reduced.height),
          "show area: reduced picture centred in it");
    free(larger);

    // Not reduced: drawn from 41 + (200 - 500) / 2 = -109, and clipped to the show area.
    PackedDib large = ColumnIndexImage(500, 400);
    Present(window, "large", large);
    CheckEqual(Pixel(window, left, top), TableColour(left + 109), "8-bit larger picture: middle in the show area");
    CheckEqual(Pixel(window, right - 1, bottom - 1), TableColour((right - 1 + 109) % 256),
               "8-bit larger picture: up to the show area's far corner");
    const COLORREF outside[] = {Pixel(window, left - 1, 100), Pixel(window, right, 100), Pixel(window, 100, top - 1),
                                Pixel(window, 100, bottom)};
    for (COLORREF colour : outside) CheckEqual(colour, RGB(0, 0, 0), "8-bit larger picture: nothing outside");
    free(large);

    Present(window, "Z:\\pictures\\a folder with a name far too long for the area\\broken.bmp", nullptr);
    const DrawnPixels drawn = ReadDrawnPixels(window);
    const RECT& text = drawn.Bounds;
    Check(drawn.White >= 50, "show area: the name in white");
    Check(text.left >= left && text.left <= left + 2 && text.top >= top && text.top <= top + 4,
          "show area: the name at its top-left corner");
    Check(text.right < right && text.right >= right - 12, "show area: a long name cut at its right edge");

    RecordShowArea({0, 0, ClientWidth, ClientHeight});
}

int LayoutMode() {
    HWND window = CreateSaverLikeWindow(PlainWindowProc, ClientWidth, ClientHeight, "Presenter Layout Test");
    if (!Check(window != nullptr, "window created")) return FinishChecks();
    RECT client;
    GetClientRect(window, &client);
    if (!CheckEqual(client.right, ClientWidth, "client width") || !CheckEqual(client.bottom, ClientHeight, "client height"))
        return FinishChecks();
    SetDebugOutputSink(CaptureTrace);
    CheckLayout(window);
    CheckLabel(window);
    CheckShowArea(window);
    SetDebugOutputSink(nullptr);
    DestroyWindow(window);
    return FinishChecks();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    if (strcmp(argv[1], "palette") == 0) return PaletteMode();
    if (strcmp(argv[1], "layout") == 0) return LayoutMode();
    return 2;
}
