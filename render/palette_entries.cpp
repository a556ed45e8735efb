// Palette entries for a palette display: the colour table as it stands, or the quantizer's colours
// for a 24-bit picture without one. Any header form counts: its table starts where the layout
// says, with 3-byte entries after the core header.
#include "render/palette_entries.h"

#include <cstdlib>

#include "imaging/packed_dib.h"
#include "render/octree_quantizer.h"

namespace {

LogPalette* NewLogPalette(uint32_t entryCount) {
    LogPalette* palette = static_cast<LogPalette*>(calloc(1, LogPaletteSize(entryCount)));
    if (!palette) return nullptr;
    palette->palVersion = 0x300;
    palette->palNumEntries = static_cast<uint16_t>(entryCount);
    return palette;
}

}  // namespace

void FillColorRamp(PaletteEntry* entries) {
    for (uint32_t i = 0; i < OctreeColorLimit; ++i) {
        entries[i].peRed = static_cast<uint8_t>(32 * (i % 8));
        entries[i].peGreen = static_cast<uint8_t>(32 * ((i / 8) % 8));
        entries[i].peBlue = static_cast<uint8_t>(64 * (i / 64));
        entries[i].peFlags = 0;
    }
}

LogPalette* CreateBIPaletteEntries(const unsigned char* image) {
    return image ? CreateBIPaletteEntries(image, ReadDibLayout(image)) : nullptr;
}

LogPalette* CreateBIPaletteEntries(const unsigned char* image, const DibLayout& layout) {
    if (!image) return nullptr;
    const uint16_t colorCount = static_cast<uint16_t>(layout.colorCount);
    if (colorCount != 0) {
        LogPalette* palette = NewLogPalette(colorCount);
        if (!palette) return nullptr;
        // Pixel index i maps to entry i; the table's fourth byte never reaches the palette.
        const unsigned char* entry = image + layout.colorTableOffset;
        for (uint32_t i = 0; i < colorCount; ++i, entry += layout.colorEntrySize) {
            palette->palPalEntry[i] = {entry[2], entry[1], entry[0], 0};
        }
        return palette;
    }
    if (layout.bitCount != 24) return nullptr;  // 16- and 32-bit pixels without a table get none

    // Always OctreeColorLimit entries; those past the colours found stay black.
    LogPalette* palette = NewLogPalette(OctreeColorLimit);
    if (!palette) return nullptr;
    OctreeQuantizer quantizer(OctreeColorLimit, OctreeDepth);
    if (!quantizer.AddImage(image, layout)) {
        FillColorRamp(palette->palPalEntry);
        return palette;
    }
    unsigned char table[4 * OctreeColorLimit];
    quantizer.GetColorTable(table);
    for (uint32_t i = 0; i < quantizer.GetColorCount(); ++i) {
        palette->palPalEntry[i] = {table[4 * i + 2], table[4 * i + 1], table[4 * i], 0};
    }
    return palette;
}
