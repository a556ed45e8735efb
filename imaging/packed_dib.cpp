// Packed DIB: creation and the header arithmetic that says where the colour table and rows are.
#include "imaging/packed_dib.h"

#include <cstdlib>
#include <cstring>

#include "imaging/byte_order.h"

namespace {

uint16_t NormalisedBitCount(uint16_t bitCount) {
    if (bitCount <= 1) return 1;
    if (bitCount <= 4) return 4;
    if (bitCount <= 8) return 8;
    if (bitCount <= 24) return 24;
    return 4;  // as the classic DIB helpers do: anything wider is not ours to create
}

}  // namespace

uint32_t DefaultColorCount(uint32_t bitCount) {
    switch (bitCount) {
        case 1: return 2;
        case 4: return 16;
        case 8: return 256;
        default: return 0;
    }
}

uint64_t DibStride(uint64_t width, uint64_t bitCount) { return ((width * bitCount + 31) >> 5) << 2; }

bool DibSizeIsAddressable(uint64_t width, uint64_t height, uint64_t bitCount) {
    const uint64_t limit = 0x7FFFFFFFu;
    if (width > limit || height > limit || bitCount > 64) return false;
    if (bitCount * width + 31 > limit) return false;
    return DibStride(width, bitCount) * height <= limit;
}

DibLayout ReadDibLayout(const unsigned char* image) {
    DibLayout layout = {};
    layout.headerSize = ReadLittleU32(image);
    if (layout.headerSize == DibCoreHeaderSize) {
        layout.width = ReadLittleU16(image + 4);
        layout.height = ReadLittleU16(image + 6);
        layout.bitCount = ReadLittleU16(image + 10);
        layout.compression = DibCompressionRgb;
        layout.colorEntrySize = 3;
        layout.colorCount = DefaultColorCount(layout.bitCount);
    } else {
        layout.width = static_cast<int32_t>(ReadLittleU32(image + 4));
        layout.height = static_cast<int32_t>(ReadLittleU32(image + 8));
        layout.bitCount = ReadLittleU16(image + 14);
        layout.compression = ReadLittleU32(image + 16);
        layout.colorEntrySize = 4;
        const uint32_t used = ReadLittleU32(image + 32);
        layout.colorCount = used != 0 ? used : DefaultColorCount(layout.bitCount);
        // Only the 40-byte header keeps its masks outside itself; the later forms hold them.
        if (layout.headerSize == DibInfoHeaderSize) {
            if (layout.compression == DibCompressionBitfields) layout.maskBytes = 12;
            if (layout.compression == DibCompressionAlphaBitfields) layout.maskBytes = 16;
        }
    }
    layout.colorTableOffset = layout.headerSize + layout.maskBytes;
    layout.bitsOffset = layout.colorTableOffset + layout.colorEntrySize * layout.colorCount;
    return layout;
}

DibPicture ReadDibPicture(PackedDib block) {
    if (!block) return {};
    return {block, ReadDibLayout(block)};
}

PackedDib CreatePackedDib(uint32_t width, uint32_t height, uint16_t bitCount) {
    return CreateDibPicture(width, height, bitCount).Block;
}

DibPicture CreateDibPicture(uint32_t width, uint32_t height, uint16_t bitCount) {
    const uint16_t bits = NormalisedBitCount(bitCount);
    if (!DibSizeIsAddressable(width, height, bits)) return {};
    const uint32_t entries = DefaultColorCount(bits);
    const uint32_t stride = static_cast<uint32_t>(DibStride(width, bits));
    const size_t blockSize = DibInfoHeaderSize + 4u * entries + static_cast<size_t>(stride) * height;

    DibInfoHeader header = {};
    header.biSize = DibInfoHeaderSize;
    header.biWidth = static_cast<int32_t>(width);
    header.biHeight = static_cast<int32_t>(height);
    header.biPlanes = 1;
    header.biBitCount = bits;
    header.biCompression = DibCompressionRgb;
    header.biSizeImage = (width * bits * height) >> 3;  // 32-bit on purpose: pad bytes not counted
    header.biXPelsPerMeter = 2834;
    header.biYPelsPerMeter = 2834;

    PackedDib image = static_cast<PackedDib>(malloc(blockSize));
    if (!image) return {};
    memcpy(image, &header, sizeof header);
    DibLayout layout = {};
    layout.headerSize = DibInfoHeaderSize;
    layout.width = header.biWidth;
    layout.height = header.biHeight;
    layout.bitCount = bits;
    layout.compression = DibCompressionRgb;
    layout.colorTableOffset = DibInfoHeaderSize;
    layout.colorEntrySize = 4;
    layout.colorCount = entries;
    layout.bitsOffset = DibInfoHeaderSize + 4u * entries;
    return {image, layout};
}

unsigned char* PackedDibBits(PackedDib image) { return image + ReadDibLayout(image).bitsOffset; }

const unsigned char* PackedDibBits(const unsigned char* image) { return image + ReadDibLayout(image).bitsOffset; }

uint16_t PackedDibColorCount(const unsigned char* image) {
    return static_cast<uint16_t>(ReadDibLayout(image).colorCount);
}
