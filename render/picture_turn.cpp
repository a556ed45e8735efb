// Turning to stand upright: mirrors and the half turn swap pixels in place; the quarter turns and
// diagonal mirrors copy into a block of the turned shape, each stored row becoming a column.
#include "render/picture_turn.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

struct Rows {
    unsigned char* Bits;  // bottom row first
    size_t Stride;
    uint32_t Width;
    uint32_t Height;
};

Rows RowsOf(const DibPicture& picture) {
    const uint32_t width = static_cast<uint32_t>(picture.Layout.width);
    return {DibPictureBits(picture), static_cast<size_t>(DibStride(width, 24)), width,
            static_cast<uint32_t>(picture.Layout.height)};
}

unsigned char* Row(const Rows& rows, uint32_t fromBottom) { return rows.Bits + rows.Stride * fromBottom; }

void SwapPixel(unsigned char* a, unsigned char* b) {
    const unsigned char blue = a[0], green = a[1], red = a[2];
    a[0] = b[0];
    a[1] = b[1];
    a[2] = b[2];
    b[0] = blue;
    b[1] = green;
    b[2] = red;
}

void ReverseRowPixels(unsigned char* row, uint32_t width) {
    unsigned char* left = row;
    unsigned char* right = row + 3 * static_cast<size_t>(width) - 3;
    for (; left < right; left += 3, right -= 3) SwapPixel(left, right);
}

// Swaps two rows' pixels a stretch at a time, which copies faster than swapping byte by byte.
void SwapRows(unsigned char* a, unsigned char* b, size_t bytes) {
    unsigned char stretch[512];
    while (bytes > 0) {
        const size_t n = std::min(bytes, sizeof stretch);
        memcpy(stretch, a, n);
        memcpy(a, b, n);
        memcpy(b, stretch, n);
        a += n;
        b += n;
        bytes -= n;
    }
}

// Swaps two rows, the second one read from its right end: both rows of a half turn in one pass.
void SwapRowsMirrored(unsigned char* a, unsigned char* b, uint32_t width) {
    unsigned char* right = b + 3 * static_cast<size_t>(width) - 3;
    for (uint32_t x = 0; x < width; ++x, a += 3, right -= 3) SwapPixel(a, right);
}

void ClearPads(const Rows& rows) {
    const size_t pixelBytes = 3 * static_cast<size_t>(rows.Width);
    for (uint32_t y = 0; y < rows.Height; ++y) {
        memset(Row(rows, y) + pixelBytes, 0, rows.Stride - pixelBytes);
    }
}

// 2, 3 and 4: pixels swap ends within rows for the horizontal mirror, rows swap ends for the
// vertical one, both at once for the half turn.
void MirrorInPlace(const Rows& rows, bool leftRight, bool topBottom) {
    const size_t pixelBytes = 3 * static_cast<size_t>(rows.Width);
    if (!topBottom) {
        for (uint32_t y = 0; y < rows.Height; ++y) ReverseRowPixels(Row(rows, y), rows.Width);
        return;
    }
    for (uint32_t low = 0; low < rows.Height / 2; ++low) {
        unsigned char* high = Row(rows, rows.Height - 1 - low);
        if (leftRight) {
            SwapRowsMirrored(Row(rows, low), high, rows.Width);
        } else {
            SwapRows(Row(rows, low), high, pixelBytes);
        }
    }
    if (leftRight && rows.Height % 2 == 1) ReverseRowPixels(Row(rows, rows.Height / 2), rows.Width);
}

// 5 to 8. The stored pixel in column x of row y (both counted from the top) goes to column y of
// the upright picture, or y from its right side for 6 and 7, and to row x of it, or x from its
// bottom for 7 and 8. Stored rows are taken a band at a time, so that each upright row is written
// a run of pixels at a time rather than one pixel per row visited.
void CopyAcrossDiagonal(const Rows& from, const Rows& to, uint8_t orientation) {
    const bool fromRight = orientation == 6 || orientation == 7;
    const bool fromBottom = orientation == 7 || orientation == 8;
    const ptrdiff_t columnStep = fromRight ? -3 : 3;
    enum : uint32_t { Band = 16 };
    const unsigned char* band[Band];
    for (uint32_t bandTop = 0; bandTop < from.Height; bandTop += Band) {
        const uint32_t bandRows = std::min<uint32_t>(Band, from.Height - bandTop);
        for (uint32_t i = 0; i < bandRows; ++i) band[i] = Row(from, from.Height - 1 - bandTop - i);
        const uint32_t firstColumn = fromRight ? from.Height - 1 - bandTop : bandTop;
        for (uint32_t x = 0; x < from.Width; ++x) {
            unsigned char* target = Row(to, fromBottom ? x : to.Height - 1 - x) + 3 * static_cast<size_t>(firstColumn);
            const size_t sourceOffset = 3 * static_cast<size_t>(x);
            for (uint32_t i = 0; i < bandRows; ++i, target += columnStep) {
                memcpy(target, band[i] + sourceOffset, 3);
            }
        }
    }
}

}  // namespace

bool OrientationSwapsSides(uint8_t orientation) { return orientation >= 5 && orientation <= 8; }

DibPicture TurnUpright(DibPicture picture, uint8_t orientation) {
    if (picture.Block == nullptr || orientation < 2 || orientation > 8) return picture;
    const DibLayout& layout = picture.Layout;
    if (layout.bitCount != 24 || layout.compression != DibCompressionRgb || layout.width <= 0 || layout.height <= 0) {
        return picture;
    }
    const Rows stored = RowsOf(picture);
    if (!OrientationSwapsSides(orientation)) {
        MirrorInPlace(stored, orientation != 4, orientation != 2);
        ClearPads(stored);
        return picture;
    }
    const DibPicture upright = CreateDibPicture(stored.Height, stored.Width, 24);
    if (!upright.Block) return picture;
    PackedDibHeader(upright.Block)->biXPelsPerMeter = PackedDibHeader(picture.Block)->biYPelsPerMeter;
    PackedDibHeader(upright.Block)->biYPelsPerMeter = PackedDibHeader(picture.Block)->biXPelsPerMeter;
    const Rows turned = RowsOf(upright);
    ClearPads(turned);
    CopyAcrossDiagonal(stored, turned, orientation);
    free(picture.Block);
    return upright;
}
