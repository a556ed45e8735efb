// BMP body validation: every rule here stands between a hostile file and code that would read or
// draw past the block.
#include "imaging/bmp_body.h"

#include <algorithm>

#include "imaging/byte_order.h"
#include "imaging/packed_dib.h"

namespace {

bool IsKnownHeaderSize(uint32_t size) {
    switch (size) {
        case 12:
        case 40:
        case 52:
        case 56:
        case 64:
        case 108:
        case 124: return true;
        default: return false;
    }
}

// The OS/2 2.x header: the same first fields as the information header, but compression 3 means
// Huffman coding there, not bit-field masks.
const uint32_t Os2InfoHeaderSize = 64;

bool IsKnownBitCount(uint32_t headerSize, uint16_t bits) {
    if (headerSize == DibCoreHeaderSize) return bits == 1 || bits == 4 || bits == 8 || bits == 24;
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

bool CompressionFits(uint32_t headerSize, uint32_t compression, uint16_t bits) {
    switch (compression) {
        case DibCompressionRgb: return true;
        case DibCompressionRle8: return bits == 8;
        case DibCompressionRle4: return bits == 4;
        case DibCompressionBitfields:
        case DibCompressionAlphaBitfields: return (bits == 16 || bits == 32) && headerSize != Os2InfoHeaderSize;
        default: return false;  // JPEG and PNG bodies are for printers, not for drawing
    }
}

// Pixels a run-length picture may have whatever its data: a few milliseconds of drawing.
const uint64_t RunLengthFreePixels = 1u << 24;

bool IsRunLength(uint32_t compression) {
    return compression == DibCompressionRle8 || compression == DibCompressionRle4;
}

}  // namespace

LoadFailure FindBmpBodyFault(const unsigned char* header, uint64_t bodyLength) {
    if (bodyLength < 4) return LoadFailure::FileTooShortForHeader;
    const uint32_t headerSize = ReadLittleU32(header);
    if (!IsKnownHeaderSize(headerSize)) return LoadFailure::UnsupportedHeaderSize;
    if (bodyLength < headerSize) return LoadFailure::FileTooShortForHeader;

    const DibLayout layout = ReadDibLayout(header);
    const bool core = headerSize == DibCoreHeaderSize;
    const uint16_t planes = core ? ReadLittleU16(header + 8) : ReadLittleU16(header + 12);
    if (layout.width <= 0) return LoadFailure::WidthNotPositive;
    if (layout.height == 0) return LoadFailure::HeightIsZero;
    if (planes != 1) return LoadFailure::PlanesNotOne;
    if (!IsKnownBitCount(headerSize, layout.bitCount)) return LoadFailure::UnsupportedBitCount;
    if (!CompressionFits(headerSize, layout.compression, layout.bitCount)) {
        return LoadFailure::CompressionDoesNotFitBitCount;
    }
    // The colour count decides where the rows begin; bound it before any offset arithmetic.
    if (layout.bitCount <= 8 && layout.colorCount > DefaultColorCount(layout.bitCount)) {
        return LoadFailure::ColourTableLargerThanBitCount;
    }
    if (layout.colorCount > 0xFFFF) return LoadFailure::ColourTableTooLarge;
    if (IsRunLength(layout.compression) && layout.height < 0) return LoadFailure::TopDownRunLength;

    const uint64_t height = layout.height < 0 ? -static_cast<int64_t>(layout.height) : layout.height;
    if (!DibSizeIsAddressable(static_cast<uint64_t>(layout.width), height, layout.bitCount)) {
        return LoadFailure::ImageTooLarge;
    }
    const uint64_t rowsOffset = layout.bitsOffset;
    if (rowsOffset > bodyLength) return LoadFailure::FileTooShortForColourTable;
    const uint64_t rowBytes = bodyLength - rowsOffset;
    if (IsRunLength(layout.compression)) {
        // The drawing call decodes exactly biSizeImage bytes of run-length data.
        const uint32_t runLengthBytes = ReadLittleU32(header + 20);
        if (runLengthBytes == 0 || runLengthBytes > rowBytes) {
            return LoadFailure::RunLengthSizeDoesNotFit;
        }
        // A code of two bytes gives at most 255 pixels; a few bytes can also skip rows or end
        // the picture, so a large picture's data must pay at least a byte for 255 of its pixels.
        const uint64_t pixels = static_cast<uint64_t>(layout.width) * height;
        if (pixels > RunLengthFreePixels && runLengthBytes < (pixels - RunLengthFreePixels) / 255) {
            return LoadFailure::FileTooShortForSize;
        }
        return LoadFailure::None;
    }
    if (DibStride(static_cast<uint64_t>(layout.width), layout.bitCount) * height > rowBytes) {
        return LoadFailure::FileTooShortForRows;
    }
    return LoadFailure::None;
}

void TurnBmpBottomUp(unsigned char* body) {
    const DibLayout layout = ReadDibLayout(body);
    if (layout.height >= 0 || IsRunLength(layout.compression)) return;
    const uint32_t height = static_cast<uint32_t>(-static_cast<int64_t>(layout.height));
    const size_t stride = static_cast<size_t>(DibStride(static_cast<uint64_t>(layout.width), layout.bitCount));
    unsigned char* rows = body + layout.bitsOffset;
    for (uint32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        std::swap_ranges(rows + top * stride, rows + (top + 1) * stride, rows + bottom * stride);
    }
    const uint32_t positive = height;
    for (int i = 0; i < 4; ++i) body[8 + i] = static_cast<unsigned char>(positive >> (8 * i));
}
