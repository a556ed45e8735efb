// Turning a picture to stand upright as its EXIF orientation says: 2 mirrored left to right,
// 3 turned half round, 4 mirrored top to bottom, 5 mirrored across the diagonal from the top left,
// 6 to be turned a quarter clockwise, 7 mirrored across the other diagonal, 8 to be turned a
// quarter counter-clockwise. Cheapest on the reduced picture, which the fit aims at the turned
// size.
#pragma once
#include <cstdint>

#include "imaging/packed_dib.h"

// Whether the upright picture's width is the stored picture's height (5 to 8).
bool OrientationSwapsSides(uint8_t orientation);

// The upright picture of an uncompressed 24-bit image, with its layout; its pad bytes are zero. 2 to 4 turn the
// pixels in place and return the same block. 5 to 8 return a new 40-byte-header block and free the
// old one, or, when there is no room for the new one, the old block as it was: a picture shown
// sideways beats none. Other images and other orientations come back unchanged. The caller owns
// whichever block comes back.
DibPicture TurnUpright(DibPicture picture, uint8_t orientation);
