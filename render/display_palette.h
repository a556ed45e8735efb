// The logical palette an image gets on a palette display: CreatePalette over the entries that
// palette_entries.h builds. Windows only.
#pragma once
#include <windows.h>

// A new palette that the caller deletes with DeleteObject, or none when the image gets no palette
// (no image, 16- or 32-bit pixels without a colour table) or the system cannot make one.
HPALETTE CreateBIPalette(const unsigned char* image);
