// PreparePicture and ShowPicture on a window of the test's own (own device context, like the
// saver's), read back through GDI: the palette a picture gets for its drawing, and where it goes.
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
#include "render/display_palette_win32.h"
#include "render/image_presenter_win32.h"
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

// The picture prepared for the window as it is now; the image stays the caller's (a picture
// turned as stored keeps its block), its palette entries are the returned picture's.
PreparedPicture Prepared(HWND window, PackedDib image) {
    const RECT area = ShowAreaOf(window);
    return PreparePicture(image, 1, area.right - area.left, area.bottom - area.top, IsPaletteDisplay(window));
}

void ShowAndRelease(HWND window, const char* name, PreparedPicture& picture) {
    ShowPicture(window, name, picture);
    ReleasePreparedPicture(picture);
}

// The palette the entries make, read back entry by entry.
std::vector<PALETTEENTRY> PaletteOf(const PreparedPicture& picture) {
    HPALETTE palette = CreateLogicalPalette(picture.Palette);
    std::vector<PALETTEENTRY> entries(256);
    entries.resize(palette ? GetPaletteEntries(palette, 0, 256, entries.data()) : 0);
    if (palette) DeleteObject(palette);
    return entries;
}

void CheckTablePalette(HWND window) {
    HGDIOBJ defaultPalette = GetStockObject(DEFAULT_PALETTE);

    const PaletteCount beforePrepare = PalettesCounted();
    PreparedPicture picture = Prepared(window, ColumnIndexImage(16, 16));
    CheckEqual(PalettesCounted().Made, beforePrepare.Made, "8-bit: preparing makes no palette object");
    const std::vector<PALETTEENTRY> entries = PaletteOf(picture);
    CheckEqual(static_cast<long long>(entries.size()), 256, "8-bit: 256 entries");
    int equal = 0, flagsClear = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        equal += RGB(entries[i].peRed, entries[i].peGreen, entries[i].peBlue) == TableColour(static_cast<int>(i));
        flagsClear += entries[i].peFlags == 0;
    }
    CheckEqual(equal, 256, "8-bit: entries equal the colour table, in its order");
    CheckEqual(flagsClear, 256, "8-bit: no flags from the table's reserved bytes");

    const int realizedBefore = ColoursInSystemPalette(window);
    const PaletteCount beforeShow = PalettesCounted();
    ShowAndRelease(window, "eight.bmp", picture);
    CheckEqual(PalettesCounted().Made, beforeShow.Made + 1, "8-bit: the show made one palette");
    CheckEqual(PalettesCounted().Deleted, beforeShow.Deleted + 1, "8-bit: and deleted it");
    Check(SelectedPalette(window) == defaultPalette, "8-bit: the previous palette selected back");

    // The show realized the palette: its colours went into the system palette, as many as the
    // display had free (under Wine's 8-bit X server about 170 of the 236 that are not reserved).
    const int realizedAfter = ColoursInSystemPalette(window);
    printf("8-bit: %d of the 256 table colours in the system palette before the show, %d after\n", realizedBefore,
           realizedAfter);
    Check(realizedAfter >= realizedBefore + 100, "8-bit: the show realized the palette into the system palette");
}

void CheckQuantizedPalette(HWND window) {
    // Ten colours, well apart: the quantizer keeps each of them as it is.
    const std::vector<COLORREF> colours = {RGB(255, 0, 0),   RGB(0, 255, 0),    RGB(0, 0, 255),  RGB(255, 255, 0),
                                           RGB(0, 255, 255), RGB(255, 0, 255),  RGB(128, 64, 0), RGB(0, 128, 64),
                                           RGB(64, 0, 128),  RGB(250, 250, 250)};
    PreparedPicture picture = Prepared(window, StripeImage(40, 6, colours));
    const std::vector<PALETTEENTRY> entries = PaletteOf(picture);
    if (!CheckEqual(static_cast<long long>(entries.size()), 236, "24-bit: 236 entries")) return;
    std::set<COLORREF> first, wanted(colours.begin(), colours.end());
    for (int i = 0; i < 10; ++i) first.insert(RGB(entries[i].peRed, entries[i].peGreen, entries[i].peBlue));
    Check(first == wanted, "24-bit: the first ten entries are the picture's ten colours");
    int black = 0;
    for (int i = 10; i < 236; ++i)
        black += entries[i].peRed == 0 && entries[i].peGreen == 0 && entries[i].peBlue == 0 && entries[i].peFlags == 0;
    CheckEqual(black, 226, "24-bit: the other entries black");
    ShowAndRelease(window, "stripes.bmp", picture);
    Check(SelectedPalette(window) == GetStockObject(DEFAULT_PALETTE), "24-bit: the default palette is back");
}

// Pictures that get no palette: none at all, and 16-bit pixels without a colour table; and a
// picture prepared but never shown (the teardown) holds no palette object.
void CheckNoPalette(HWND window) {
    const long made = PalettesCounted().Made;
    PreparedPicture nothing = Prepared(window, nullptr);
    Check(nothing.Palette == nullptr, "no image: no palette entries");
    ShowAndRelease(window, "nothing", nothing);

    PackedDib sixteen = CreatePackedDib(4, 4, 24);
    PackedDibHeader(sixteen)->biBitCount = 16;  // a 24-bit block holds a 16-bit picture's rows
    memset(PackedDibBits(sixteen), 0x7F, DibStride(4, 16) * 4);
    PreparedPicture noTable = Prepared(window, sixteen);
    Check(noTable.Palette == nullptr, "16-bit: no palette entries");
    ShowAndRelease(window, "sixteen", noTable);

    PreparedPicture unshown = Prepared(window, ColumnIndexImage(16, 16));
    ReleasePreparedPicture(unshown);
    CheckEqual(PalettesCounted().Made, made, "no palette made for any of them");
    Check(SelectedPalette(window) == GetStockObject(DEFAULT_PALETTE), "the default palette stays selected");
}

int PaletteMode() {
    HWND window = CreateSaverLikeWindow(PlainWindowProc, 320, 240, "Presenter Palette Test");
    if (!Check(window != nullptr, "window created")) return FinishChecks();
    HDC dc = GetDC(window);
    const bool palettes = (GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE) != 0;
    ReleaseDC(window, dc);
    printf("palette display: %s\n", palettes ? "yes" : "no");
    if (palettes) {
        CheckTablePalette(window);
        CheckQuantizedPalette(window);
        CheckNoPalette(window);
    } else {
        // Without RC_PALETTE no entries are built, and nothing is selected, realized or deleted.
        PreparedPicture picture = Prepared(window, ColumnIndexImage(16, 16));
        Check(picture.Palette == nullptr, "no palette display: no palette entries");
        ShowAndRelease(window, "eight.bmp", picture);
        Check(SelectedPalette(window) == GetStockObject(DEFAULT_PALETTE), "no palette display: nothing selected");
        CheckEqual(PalettesCounted().Made, 0, "no palette display: no palette made");
        CheckEqual(PalettesCounted().Deleted, 0, "no palette display: none deleted");
    }
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

// Returns the picture as drawn, the caller's to free: the image reduced in place, or the new block
// that replaced it (pictures of other depths are reduced into a 24-bit one).
PackedDib Present(HWND window, const char* name, PackedDib image) {
    Traces.clear();
    PreparedPicture picture = Prepared(window, image);
    ShowPicture(window, name, picture);
    free(picture.Palette);
    return picture.Image.Block;
}

// Whether the picture lies in the area, centred (offsets rounded down), with black around it.
bool DrawnCentredIn(HWND window, PackedDib drawn, int left, int top, int right, int bottom) {
    const DibLayout layout = ReadDibLayout(drawn);
    const int x = left + (right - left - layout.width) / 2, y = top + (bottom - top - layout.height) / 2;
    const COLORREF black = RGB(0, 0, 0);
    return layout.width <= right - left && layout.height <= bottom - top &&
           (layout.width == right - left || layout.height == bottom - top) && Pixel(window, x, y) != black &&
           Pixel(window, x + layout.width - 1, y + layout.height - 1) != black &&
           (x == left || Pixel(window, x - 1, y) == black) && (y == top || Pixel(window, x, y - 1) == black) &&
           (x + layout.width == right || Pixel(window, x + layout.width, y) == black);
}

void CheckLayout(HWND window) {
    const COLORREF green = RGB(10, 200, 30);
    PackedDib small = StripeImage(100, 51, {green});
    small = Present(window, "small", small);
    // (401 - 100) / 2 = 150 and (301 - 51) / 2 = 125: the odd pixel goes to the right and bottom.
    Check(DrawnExactlyAt(window, green, 150, 125, 250, 176), "smaller picture centred, offsets rounded down");
    Check(!Traced(TraceLabel::ProcessImage), "smaller picture: not reduced");
    Check(Traced(TraceLabel::StretchDIBits), "smaller picture: the draw is traced");
    free(small);

    const COLORREF blue = RGB(20, 40, 220);
    PackedDib exact = StripeImage(ClientWidth, ClientHeight, {blue});
    exact = Present(window, "exact", exact);
    CheckEqual(ReadDibLayout(exact).width, ClientWidth, "picture of the client size: width kept");
    Check(!Traced(TraceLabel::ProcessImage), "picture of the client size: not reduced");
    Check(DrawnExactlyAt(window, blue, 0, 0, ClientWidth, ClientHeight), "picture of the client size at (0, 0)");
    free(exact);

    PackedDib wider = StripeImage(ClientWidth + 1, ClientHeight, {green});
    wider = Present(window, "wider", wider);
    const DibLayout reduced = ReadDibLayout(wider);
    Check(Traced(TraceLabel::ProcessImage), "a pixel wider: reduced, and the reduction traced");
    CheckEqual(reduced.width, ClientWidth, "a pixel wider: reduced to the client width");
    Check(reduced.height < ClientHeight, "a pixel wider: the height follows the aspect ratio");
    const int top = (ClientHeight - reduced.height) / 2;
    Check(DrawnExactlyAt(window, green, 0, top, ClientWidth, top + reduced.height), "reduced picture centred");
    free(wider);

    // A picture of another depth is fitted all the same, into a 24-bit block.
    PackedDib large = ColumnIndexImage(500, 400);
    large = Present(window, "large", large);
    CheckEqual(ReadDibLayout(large).bitCount, 24, "8-bit larger picture: reduced into 24 bits");
    Check(DrawnCentredIn(window, large, 0, 0, ClientWidth, ClientHeight), "8-bit larger picture: fitted and centred");
    free(large);

    // The show centres in the window as it is when it draws, whatever it was when the picture was
    // prepared: (501 - 100) / 2 = 200 and (351 - 51) / 2 = 150.
    PackedDib moved = StripeImage(100, 51, {blue});
    PreparedPicture picture = Prepared(window, moved);
    SetWindowPos(window, nullptr, 0, 0, ClientWidth + 100, ClientHeight + 50, SWP_NOZORDER | SWP_NOMOVE);
    ShowPicture(window, "moved", picture);
    Check(Pixel(window, 200, 150) == blue && Pixel(window, 299, 200) == blue &&
              Pixel(window, 199, 150) == RGB(0, 0, 0) && Pixel(window, 300, 200) == RGB(0, 0, 0),
          "the show centres in the window's area at the time it draws");
    SetWindowPos(window, nullptr, 0, 0, ClientWidth, ClientHeight, SWP_NOZORDER | SWP_NOMOVE);
    ReleasePreparedPicture(picture);
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
            if (colour == RGB(255, 255, 255))
                ++drawn.White;
            else
                ++drawn.Other;
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
    whole = Present(window, "whole", whole);  // the window blue all over before the show area is recorded
    free(whole);
    RecordShowArea({left, top, right, bottom});

    PackedDib small = StripeImage(100, 51, {green});
    small = Present(window, "small", small);
    // 41 + (200 - 100) / 2 = 91 and 31 + (150 - 51) / 2 = 80.
    Check(DrawnExactlyAt(window, green, 91, 80, 191, 131), "show area: smaller picture centred in it");
    const COLORREF corners[] = {Pixel(window, 0, 0), Pixel(window, ClientWidth - 1, 0),
                                Pixel(window, 0, ClientHeight - 1), Pixel(window, ClientWidth - 1, ClientHeight - 1)};
    for (COLORREF corner : corners) CheckEqual(corner, RGB(0, 0, 0), "show area: the whole window filled black");
    free(small);

    PackedDib larger = StripeImage(ClientWidth, ClientHeight, {green});
    larger = Present(window, "larger", larger);
    const DibLayout reduced = ReadDibLayout(larger);
    Check(Traced(TraceLabel::ProcessImage), "show area: a picture of the client's size is reduced");
    Check(reduced.width <= right - left && reduced.height <= bottom - top &&
              (reduced.width == right - left || reduced.height == bottom - top),
          "show area: the picture reduced to fit it");
    const int x = left + (right - left - reduced.width) / 2, y = top + (bottom - top - reduced.height) / 2;
    Check(DrawnExactlyAt(window, green, x, y, x + reduced.width, y + reduced.height),
          "show area: reduced picture centred in it");
    free(larger);

    // A picture of another depth is fitted to the show area too, and nothing lies outside it.
    PackedDib large = ColumnIndexImage(500, 400);
    large = Present(window, "large", large);
    Check(DrawnCentredIn(window, large, left, top, right, bottom), "8-bit larger picture: fitted to the show area");
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
    if (!CheckEqual(client.right, ClientWidth, "client width") ||
        !CheckEqual(client.bottom, ClientHeight, "client height"))
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
    CountPalettes();
    if (argc < 2) return 2;
    if (strcmp(argv[1], "palette") == 0) return PaletteMode();
    if (strcmp(argv[1], "layout") == 0) return LayoutMode();
    return 2;
}
