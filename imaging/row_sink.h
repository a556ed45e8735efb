// Where a loader may hand a picture's rows as it decodes them, instead of holding the whole
// picture: the reduction to the screen takes them a band at a time and keeps only the result. The
// loaders know nothing of the reduction; it is reached through these few calls.
#pragma once
#include <cstdint>

#include "imaging/packed_dib.h"

struct RowSink {
    void* Context;
    // The size a picture of width × height, standing as orientation says, is reduced to; false
    // when it needs no reduction, and the loader then makes the whole block as without a sink.
    bool (*Fit)(void* context, int32_t width, int32_t height, uint8_t orientation, int32_t* newWidth,
                int32_t* newHeight);
    // Readies the sink for the rows of a picture of width × height (both at least 1); false when
    // it needs no reduction or finds no memory, and the loader makes the whole block. *bandRows:
    // how many rows a band holds.
    bool (*Begin)(void* context, int32_t width, int32_t height, uint8_t orientation, uint32_t* bandRows);
    // Row i of the band: room for the row's 3 × width bytes, blue, green, red.
    unsigned char* (*BandRow)(void* context, uint32_t i);
    // The band's first count rows are the picture's rows from first on, counted from the bottom,
    // going up, or going down when downward. The rows that one output row is made from must come
    // together, in one band or in bands one after the other.
    void (*TakeBand)(void* context, uint32_t first, uint32_t count, bool downward);
    // The reduced picture, owned by the caller, or none when rows were missing or memory ran out.
    PackedDib (*Finish)(void* context);
};
