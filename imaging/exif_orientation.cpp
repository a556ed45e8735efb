// EXIF orientation and date taken: the TIFF header in either byte order, then the entries of the
// first image directory and, for the date, of the EXIF directory it points to. Directory chains
// are never followed, so a loop in them cannot hold the reader.
#include "imaging/exif_orientation.h"

#include <cstring>

#include "imaging/byte_order.h"

namespace {

enum : uint32_t {
    TiffHeaderSize = 8,  // byte order, 42, offset of the first directory
    EntrySize = 12,      // tag, type, count, value (or its offset)
    OrientationTag = 0x0112,
    ExifDirectoryTag = 0x8769,
    DateTimeOriginalTag = 0x9003,
    TypeAscii = 2,
    TypeShort = 3,
    TypeLong = 4,
    DateTextSize = 20,  // "YYYY:MM:DD HH:MM:SS" and its terminator
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

// The TIFF structure of an APP1 payload; false for anything that is not one.
bool OpenTiff(const unsigned char* app1, size_t length, TiffBytes* tiff) {
    if (!StartsWithExifHeader(app1, length) || length - ExifHeaderSize < TiffHeaderSize) return false;
    *tiff = {app1 + ExifHeaderSize, length - ExifHeaderSize, false};
    if (tiff->Start[0] == 'M' && tiff->Start[1] == 'M') {
        tiff->BigEndian = true;
    } else if (tiff->Start[0] != 'I' || tiff->Start[1] != 'I') {
        return false;
    }
    return Read16(*tiff, 2) == 42;
}

// The offset of the entry with tag in the directory at offset directory, or 0 when the directory
// does not fit the structure or has no such entry. A directory inside the header would read the
// header as its entries. Every comparison subtracts from the length, which is at least the
// header's 8 bytes: nothing overflows.
size_t FindEntry(const TiffBytes& tiff, uint32_t directory, uint32_t tag) {
    if (directory < TiffHeaderSize || directory > tiff.Length - 2) return 0;
    const uint32_t entries = Read16(tiff, directory);
    if (entries > (tiff.Length - directory - 2) / EntrySize) return 0;
    // Writers are meant to sort the entries by tag, not all do: every entry is looked at.
    for (uint32_t i = 0; i < entries; ++i) {
        const size_t entry = directory + 2 + static_cast<size_t>(i) * EntrySize;
        if (Read16(tiff, entry) == tag) return entry;
    }
    return 0;
}

// Two to four decimal digits, all of them digits.
bool ReadDigits(const unsigned char* text, int count, int32_t* value) {
    *value = 0;
    for (int i = 0; i < count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        *value = *value * 10 + (text[i] - '0');
    }
    return true;
}

}  // namespace

bool StartsWithExifHeader(const unsigned char* app1, size_t length) {
    return app1 != nullptr && length >= ExifHeaderSize && memcmp(app1, "Exif\0\0", ExifHeaderSize) == 0;
}

uint8_t ExifOrientation(const unsigned char* app1, size_t length) {
    TiffBytes tiff;
    if (!OpenTiff(app1, length, &tiff)) return 1;
    const size_t entry = FindEntry(tiff, Read32(tiff, 4), OrientationTag);
    if (entry == 0) return 1;
    // One SHORT, which the value field holds in its first two bytes.
    if (Read16(tiff, entry + 2) != TypeShort || Read32(tiff, entry + 4) != 1) return 1;
    const uint32_t orientation = Read16(tiff, entry + 8);
    return orientation >= 2 && orientation <= 8 ? static_cast<uint8_t>(orientation) : 1;
}

bool ExifDateTaken(const unsigned char* app1, size_t length, ExifDate* date) {
    TiffBytes tiff;
    if (!OpenTiff(app1, length, &tiff)) return false;
    const size_t pointer = FindEntry(tiff, Read32(tiff, 4), ExifDirectoryTag);
    // One LONG, or one IFD (type 13) from writers that name it so: the value is the same.
    if (pointer == 0 || Read32(tiff, pointer + 4) != 1) return false;
    const uint32_t pointerType = Read16(tiff, pointer + 2);
    if (pointerType != TypeLong && pointerType != 13) return false;
    const size_t entry = FindEntry(tiff, Read32(tiff, pointer + 8), DateTimeOriginalTag);
    if (entry == 0 || Read16(tiff, entry + 2) != TypeAscii || Read32(tiff, entry + 4) != DateTextSize) return false;
    const uint32_t at = Read32(tiff, entry + 8);
    if (at > tiff.Length || tiff.Length - at < DateTextSize) return false;
    // "YYYY:MM:DD HH:MM:SS"; cameras without a clock write blanks or zeros, which are no date.
    const unsigned char* text = tiff.Start + at;
    ExifDate read = {};
    if (!ReadDigits(text, 4, &read.Year) || text[4] != ':' || !ReadDigits(text + 5, 2, &read.Month) || text[7] != ':' ||
        !ReadDigits(text + 8, 2, &read.Day))
        return false;
    if (read.Year == 0 || read.Month < 1 || read.Month > 12 || read.Day < 1 || read.Day > 31) return false;
    *date = read;
    return true;
}
