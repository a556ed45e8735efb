// The rows of any picture the drawing call takes, read bottom-up one at a time as 24-bit
// blue-green-red pixels, as the drawing call shows them on black: colour-table indices through the
// table (an index past it is black), 16 and 32 bits through their masks, run-length data decoded
// (pixels it never sets are black).
#pragma once
#include <cstdint>

#include "imaging/packed_dib.h"

struct TrueColourRows {
    DibLayout Layout;
    const unsigned char* Bits;
    uint64_t Stride;      // of uncompressed rows
    uint32_t Row;         // the next row to read, from the bottom
    uint32_t Table[256];  // blue, green, red in the low three bytes
    uint32_t Masks[3];    // red, green, blue
    // Run-length data: where the next code is, and where its pixels go.
    const unsigned char* Code;
    const unsigned char* CodeEnd;
    uint32_t CodeX;
    uint32_t CodeY;
    bool CodeDone;
};

// False for pictures this cannot read: other bit counts and compressions, top-down rows, sizes
// below 1.
bool OpenTrueColourRows(const DibPicture& picture, TrueColourRows* rows);

// Writes the next row's 3 × width bytes.
void ReadTrueColourRow(TrueColourRows* rows, unsigned char* out);
