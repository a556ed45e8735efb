// PNG fuzz inputs get every whole chunk's CRC made right first, as libpng's own fuzzer skips the
// check: otherwise almost every change would end at the check.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <vector>

inline uint32_t FuzzBigEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}

// Makes every whole chunk's CRC right; returns the bytes of image data the chunks hold.
inline uint64_t FixChunkCrcs(std::vector<uint8_t>& png) {
    uint64_t data = 0;
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = FuzzBigEndian32(&png[at]);
        if (length > png.size() - at - 12) break;
        const uLong crc = crc32(0, &png[at + 4], 4 + length);
        for (int i = 0; i < 4; ++i) png[at + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        if (memcmp(&png[at + 4], "IDAT", 4) == 0) data += length;
        at += 12 + static_cast<size_t>(length);
    }
    return data;
}
