// The presenter puts one image on the saver window in two steps: Prepare fits it to the show area
// (render/show_area.h) and, on a palette display, builds and selects its palette, drawing nothing;
// Show fills the client area black and draws the prepared image centred in the show area (or, with
// no image, the name in white at its top-left corner), then gives the palette back. The slow work
// is all in Prepare, so the slideshow prepares an image one interval before it shows it.
#pragma once
#include <windows.h>

#include <cstdint>

#include "imaging/packed_dib.h"

enum class PresentMode { Prepare = 0, Show = 1 };

// The image stays the caller's; Prepare may reduce it in place, and it must not change between
// Prepare and Show. Both steps take and release the window's device context; the window's class
// must have CS_OWNDC so that the palette Prepare selects is still selected at Show. Returns what
// ReleaseDC returned.
int PresentImage(HWND window, const char* name, PackedDib image, PresentMode mode);

// Prepare for a picture that is to be turned upright as orientation says (the loader's reading;
// 1: as stored). The turn may put the picture in a new block and free the old one: the picture to
// Show, and to free, is the one returned.
PackedDib PreparePicture(HWND window, PackedDib image, uint8_t orientation);

// Gives back the palette the last Prepare selected when no Show has followed it, drawing nothing:
// the teardown of a window whose prepared picture is never shown.
void ReleasePreparedPalette(HWND window);

// The window's show area in its client coordinates, as of now.
RECT ShowAreaOf(HWND window);

struct ImagePresenterState {
    RECT ClientRect;             // measured by the last Prepare; Show fills it
    RECT ShowRect;               // measured by the last Prepare; Show draws in it
    HPALETTE ImagePalette;       // made by Prepare for the prepared image
    HPALETTE PreviousPalette;    // selected before ImagePalette; none: no palette is held
    uint32_t PalettesMade;       // every palette Prepare made, and every one it or Show deleted:
    uint32_t PalettesDeleted;    // equal whenever no palette is held
};

// For tests: the presenter's one record, read-only.
const ImagePresenterState& PresenterState();
