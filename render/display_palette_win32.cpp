// CreateBIPalette: the portable entries handed to the platform as one logical palette.
#include "render/display_palette.h"

#include <cstdlib>

#include "render/palette_entries.h"

static_assert(sizeof(PaletteEntry) == sizeof(PALETTEENTRY), "the entries are handed over as they are");
static_assert(offsetof(LogPalette, palPalEntry) == offsetof(LOGPALETTE, palPalEntry), "same layout");

HPALETTE CreateBIPalette(const unsigned char* image) {
    if (!image) return nullptr;
    LogPalette* entries = CreateBIPaletteEntries(image);
    if (!entries) return nullptr;
    HPALETTE palette = CreatePalette(reinterpret_cast<const LOGPALETTE*>(entries));
    free(entries);
    return palette;
}
