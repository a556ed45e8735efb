// Fit-to-screen reduction: shrinks a 24-bit packed DIB in place to fit a target size, keeping its
// aspect ratio. Each output pixel is the truncated mean down a run of source rows of the truncated
// means along a run of source pixels; the runs come from one weight array over the longer side.
#pragma once
#include <cstdint>

#include "imaging/packed_dib.h"

class ImageReducer {
public:
    ImageReducer() : Weights(nullptr) {}
    virtual ~ImageReducer();
    ImageReducer(const ImageReducer&) = delete;  // owns its weight array while it works
    ImageReducer& operator=(const ImageReducer&) = delete;

    // Afterwards an uncompressed 24-bit image holds the reduced picture: its width and height
    // fields say the new size and its rows lie at the new row length; the block keeps its size.
    // Other images, negative sizes and targets that would enlarge either side leave it unchanged,
    // as does a failed allocation.
    void ProcessImage(PackedDib image, int32_t targetWidth, int32_t targetHeight);

private:
    int32_t* Weights;  // one entry per pixel of the longer side, for the length of one call
};
