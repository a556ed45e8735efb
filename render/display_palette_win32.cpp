// The portable entries handed to the platform as one logical palette.
#include "render/display_palette_win32.h"

#include <cstddef>

static_assert(sizeof(PaletteEntry) == sizeof(PALETTEENTRY), "the entries are handed over as they are");
static_assert(offsetof(LogPalette, palPalEntry) == offsetof(LOGPALETTE, palPalEntry), "same layout");

HPALETTE CreateLogicalPalette(const LogPalette* entries) {
    if (!entries) return nullptr;
    return CreatePalette(reinterpret_cast<const LOGPALETTE*>(entries));
}
