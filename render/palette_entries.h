// The colours of the logical palette an image gets on a palette display, in the platform's
// LOGPALETTE layout, built without the platform: the image's own colour table when it has one,
// else up to OctreeColorLimit colours from the octree quantizer for a 24-bit picture.
#pragma once
#include <cstddef>
#include <cstdint>

#include "imaging/packed_dib.h"

// Same layout as PALETTEENTRY and LOGPALETTE.
struct PaletteEntry {
    uint8_t peRed;
    uint8_t peGreen;
    uint8_t peBlue;
    uint8_t peFlags;
};

struct LogPalette {
    uint16_t palVersion;
    uint16_t palNumEntries;
    PaletteEntry palPalEntry[1];
};

enum : uint32_t {
    OctreeColorLimit = 236,  // leaves room for the 20 colours the system keeps
    OctreeDepth = 8,
};

inline size_t LogPaletteSize(uint32_t entryCount) {
    return offsetof(LogPalette, palPalEntry) + sizeof(PaletteEntry) * (entryCount > 0 ? entryCount : 1);
}

// A malloc'd palette record for the image (palVersion 0x300), or none when the image gets no
// palette or the heap has no room. The caller frees it.
LogPalette* CreateBIPaletteEntries(const unsigned char* image);
// The same for an image whose layout is already read.
LogPalette* CreateBIPaletteEntries(const unsigned char* image, const DibLayout& layout);

// The fixed ramp of OctreeColorLimit colours for a 24-bit image the quantizer cannot read.
void FillColorRamp(PaletteEntry* entries);
