// Fit-to-screen reduction: shrinks a 24-bit packed DIB in place to fit a target size, keeping its
// aspect ratio. Each output pixel is the truncated mean down a run of source rows of the truncated
// means along a run of source pixels; the runs come from one weight array over the longer side.
#pragma once
#include <cstdint>

#include "imaging/packed_dib.h"

class ImageReducer {
public:
    virtual ~ImageReducer();

    // Afterwards an uncompressed 24-bit image holds the reduced picture: its width and height
    // fields say the new size and its rows lie at the new row length; the block keeps its size.
    // Other images, negative sizes and targets that would enlarge either side leave it unchanged,
    // as does a failed allocation.
    void ProcessImage(PackedDib image, int32_t targetWidth, int32_t targetHeight);

    // The same for a new size already decided: each side from 1 (or 0) to the source's. The
    // picture's layout then says the new size.
    void ReduceTo(DibPicture& picture, int32_t newWidth, int32_t newHeight);
};

// Any other picture the drawing call takes (1, 4, 8, 16 or 32 bits, colour table, bit fields,
// run-length data) reduced to newWidth × newHeight (each side 1 to the source's) as ReduceTo
// reduces its 24-bit expansion, read a few rows at a time: a new 24-bit block, or none when there
// is no memory for it. The picture is left as it was.
DibPicture ReduceToTrueColour(const DibPicture& picture, int32_t newWidth, int32_t newHeight);
