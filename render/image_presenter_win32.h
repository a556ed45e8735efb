// The presenter puts a prepared picture (render/prepared_picture.h) on the saver window: it fills
// the client area black and draws the picture centred in the show area (render/show_area.h), or,
// with no picture, the name in white at the area's top-left corner; a show on one monitor of
// several fills and draws that monitor's area alone. On a palette display the
// picture's palette is made from its entries, selected and realized for the drawing, and given
// back and deleted after it, so nothing is held between two calls. The slow work was all done
// before, off the window's thread: this costs a fill and a draw.
#pragma once
#include <windows.h>

#include <cstdint>

#include "render/prepared_picture.h"

// The picture stays the caller's. Takes and releases the window's device context; returns what
// ReleaseDC returned. With a picture, its backdrop goes under it and the caption (none or "": no
// caption) over it.
int ShowPicture(HWND window, const char* name, const PreparedPicture& picture, const char* caption = nullptr);

// The drawing of ShowPicture inside the area of dc, without the black fill and the palette: for
// the fade, which composes the next slide off screen.
void DrawSlide(HDC dc, const RECT& area, const char* name, const PreparedPicture& picture, const char* caption);

// The same for the show on one monitor of a show on every monitor (render/show_area.h): only
// that monitor's area is filled and drawn, so the other monitors keep their pictures.
int ShowPictureOnMonitor(HWND window, int32_t monitor, const char* name, const PreparedPicture& picture,
                         const char* caption = nullptr);

// Whether the window's display draws through a palette (RC_PALETTE): pictures for it need their
// palette's entries.
bool IsPaletteDisplay(HWND window);

// The window's show area in its client coordinates, as of now: the primary monitor's, or that of
// the show on one monitor.
RECT ShowAreaOf(HWND window);
RECT MonitorShowAreaOf(HWND window, int32_t monitor);
