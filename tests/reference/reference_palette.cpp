// Palette entries step by step: the colour table when there is one, else the quantizer's colours
// for a 24-bit picture (the fixed ramp when it refuses the picture), else none.
#include "tests/reference/reference_palette.h"

#include <cstdlib>

#include "imaging/packed_dib.h"
#include "tests/reference/reference_octree.h"

namespace reference {

LogPalette* CreateBIPaletteEntries(const unsigned char* image) {
    if (!image) return nullptr;
    const DibLayout layout = ReadDibLayout(image);
    const uint16_t n = PackedDibColorCount(image);
    if (n != 0) {
        LogPalette* palette = static_cast<LogPalette*>(calloc(1, LogPaletteSize(n)));
        if (!palette) return nullptr;
        palette->palVersion = 0x300;
        palette->palNumEntries = n;
        const unsigned char* table = image + layout.colorTableOffset;
        for (uint32_t i = 0; i < n; ++i) {
            const unsigned char* entry = table + i * layout.colorEntrySize;
            palette->palPalEntry[i].peRed = entry[2];
            palette->palPalEntry[i].peGreen = entry[1];
            palette->palPalEntry[i].peBlue = entry[0];
            palette->palPalEntry[i].peFlags = 0;
        }
        return palette;
    }
    if (layout.bitCount != 24) return nullptr;

    LogPalette* palette = static_cast<LogPalette*>(calloc(1, LogPaletteSize(OctreeColorLimit)));
    if (!palette) return nullptr;
    palette->palVersion = 0x300;
    palette->palNumEntries = OctreeColorLimit;
    OctreeQuantizer quantizer(OctreeColorLimit, OctreeDepth);
    if (quantizer.AddImage(image)) {
        unsigned char table[4 * OctreeColorLimit];
        quantizer.GetColorTable(table);
        for (uint32_t i = 0; i < quantizer.GetColorCount(); ++i) {
            palette->palPalEntry[i].peRed = table[4 * i + 2];
            palette->palPalEntry[i].peGreen = table[4 * i + 1];
            palette->palPalEntry[i].peBlue = table[4 * i];
            palette->palPalEntry[i].peFlags = 0;
        }
    } else {
        for (uint32_t i = 0; i < OctreeColorLimit; ++i) {
            palette->palPalEntry[i].peRed = static_cast<uint8_t>(32 * (i % 8));
            palette->palPalEntry[i].peGreen = static_cast<uint8_t>(32 * ((i / 8) % 8));
            palette->palPalEntry[i].peBlue = static_cast<uint8_t>(64 * (i / 64));
            palette->palPalEntry[i].peFlags = 0;
        }
    }
    return palette;
}

}  // namespace reference
