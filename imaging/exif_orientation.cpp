// EXIF orientation: the TIFF header in either byte order, then the entries of the first image
// directory. Directory chains are never followed, so a loop in them cannot hold the reader.
#include "imaging/exif_orientation.h"

#include <cstring>

#include "imaging/byte_order.h"

namespace {

enum : uint32_t {
    TiffHeaderSize = 8,  // byte order, 42, offset of the first directory
    EntrySize = 12,      // tag, type, count, value (or its offset)
    OrientationTag = 0x0112,
    TypeShort = 3,
};

// The TIFF structure; offsets count from its first byte. Callers check each read's bounds.
struct TiffBytes {
    const unsigned char* Start;
    size_t Length;
    bool BigEndian;
};

uint32_t Read16(const TiffBytes& tiff, size_t at) {
    const unsigned char* p = tiff.Start + at;
    return tiff.BigEndian ? ReadBigU16(p) : ReadLittleU16(p);
}

uint32_t Read32(const TiffBytes& tiff, size_t at) {
    const unsigned char* p = tiff.Start + at;
    return tiff.BigEndian ? ReadBigU32(p) : ReadLittleU32(p);
}

}  // namespace

bool StartsWithExifHeader(const unsigned char* app1, size_t length) {
    return app1 != nullptr && length >= ExifHeaderSize &&
           memcmp(app1, "Exif\0\0", ExifHeaderSize) == 0;
}

uint8_t ExifOrientation(const unsigned char* app1, size_t length) {
    if (!StartsWithExifHeader(app1, length) || length - ExifHeaderSize < TiffHeaderSize) return 1;
    TiffBytes tiff = {app1 + ExifHeaderSize, length - ExifHeaderSize, false};
    if (tiff.Start[0] == 'M' && tiff.Start[1] == 'M') {
        tiff.BigEndian = true;
    } else if (tiff.Start[0] != 'I' || tiff.Start[1] != 'I') {
        return 1;
    }
    if (Read16(tiff, 2) != 42) return 1;

    // A directory inside the header would read the header as its entries. Every comparison
    // below subtracts from the length, which is at least the header's 8 bytes: nothing overflows.
    const uint32_t directory = Read32(tiff, 4);
    if (directory < TiffHeaderSize || directory > tiff.Length - 2) return 1;
    const uint32_t entries = Read16(tiff, directory);
    if (entries > (tiff.Length - directory - 2) / EntrySize) return 1;

    // Writers are meant to sort the entries by tag, not all do: every entry is looked at.
    for (uint32_t i = 0; i < entries; ++i) {
        const size_t entry = directory + 2 + static_cast<size_t>(i) * EntrySize;
        if (Read16(tiff, entry) != OrientationTag) continue;
        // One SHORT, which the value field holds in its first two bytes.
        if (Read16(tiff, entry + 2) != TypeShort || Read32(tiff, entry + 4) != 1) return 1;
        const uint32_t orientation = Read16(tiff, entry + 8);
        return orientation >= 2 && orientation <= 8 ? static_cast<uint8_t>(orientation) : 1;
    }
    return 1;
}
