// Unsigned integers read from bytes in a stated order, whatever the machine's own: BMP and DIB
// headers are little-endian, JPEG segment lengths big-endian, TIFF (EXIF) either.
#pragma once
#include <cstdint>

inline uint16_t ReadLittleU16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t ReadLittleU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

inline uint16_t ReadBigU16(const unsigned char* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

inline uint32_t ReadBigU32(const unsigned char* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
