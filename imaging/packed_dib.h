// The one in-memory image record: a packed DIB, that is header, colour table and bottom-up pixel
// rows in one malloc'd block, laid out as a BMP file after its 14-byte file header. Whoever holds
// the pointer owns the block and releases it with free().
#pragma once
#include <cstdint>

typedef unsigned char* PackedDib;

// The 40-byte information header; same layout and field names as the platform's BITMAPINFOHEADER.
struct DibInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(DibInfoHeader) == 40, "information header must stay 40 bytes");

enum : uint32_t {
    DibCoreHeaderSize = 12,
    DibInfoHeaderSize = 40,
    DibCompressionRgb = 0,
    DibCompressionRle8 = 1,
    DibCompressionRle4 = 2,
    DibCompressionBitfields = 3,
    DibCompressionJpeg = 4,
    DibCompressionPng = 5,
    DibCompressionAlphaBitfields = 6,
};

// What every reader of an image needs from its header, whichever header form the block carries
// (core, information, or one of the later forms). Offsets count from the block's start.
struct DibLayout {
    uint32_t headerSize;
    int32_t width;
    int32_t height;  // positive: bottom-up rows
    uint16_t bitCount;
    uint32_t compression;  // DibCompressionRgb for the core header
    uint32_t maskBytes;    // bit-field masks between a 40-byte header and the colour table
    uint32_t colorTableOffset;
    uint32_t colorEntrySize;  // 3 after the core header, 4 otherwise
    uint32_t colorCount;
    uint32_t bitsOffset;
};

// Reads the header; the block must hold at least as many bytes as the header says it has.
DibLayout ReadDibLayout(const unsigned char* image);

// A block with its header read once: what a picture is handed on as from its load to the screen.
// Each step that resizes the block or replaces it hands on a layout that says so, so the header is
// not read again on the way.
struct DibPicture {
    PackedDib Block;   // owned by whoever holds the record; none: no picture
    DibLayout Layout;  // all zero without a block
};

DibPicture ReadDibPicture(PackedDib block);
inline unsigned char* DibPictureBits(const DibPicture& picture) { return picture.Block + picture.Layout.bitsOffset; }

// Default colour-table size for a bit count: 2, 16 or 256 entries for 1, 4 and 8 bits, else 0.
uint32_t DefaultColorCount(uint32_t bitCount);

// Bytes of one row: the pixel bits filled up to a multiple of 4 bytes, computed in 64 bits.
uint64_t DibStride(uint64_t width, uint64_t bitCount);

// Whether an image of this size fits the sizes every build can address: bit count × width + 31
// and stride × height both at most 2^31 − 1.
bool DibSizeIsAddressable(uint64_t width, uint64_t height, uint64_t bitCount);

// Allocates an information-header image with room for its colour table and rows (neither is
// initialised). The bit count is normalised to 1, 4, 8 or 24. Returns none when the size is not
// addressable or the heap has no block for it.
PackedDib CreatePackedDib(uint32_t width, uint32_t height, uint16_t bitCount);
// The same, with the layout it was made with.
DibPicture CreateDibPicture(uint32_t width, uint32_t height, uint16_t bitCount);

unsigned char* PackedDibBits(PackedDib image);
const unsigned char* PackedDibBits(const unsigned char* image);
uint16_t PackedDibColorCount(const unsigned char* image);

inline DibInfoHeader* PackedDibHeader(PackedDib image) { return reinterpret_cast<DibInfoHeader*>(image); }
inline const DibInfoHeader* PackedDibHeader(const unsigned char* image) {
    return reinterpret_cast<const DibInfoHeader*>(image);
}
