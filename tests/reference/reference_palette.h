// The palette entries of a display palette, built the plain way with the reference quantizer:
// the oracle of the production palette construction.
#pragma once

#include "render/palette_entries.h"

namespace reference {

// Same contract as ::CreateBIPaletteEntries.
LogPalette* CreateBIPaletteEntries(const unsigned char* image);

}  // namespace reference
