#include "imaging/bmp_file.h"

#include <cstdint>
#include <cstdio>

#include "imaging/packed_dib.h"

namespace {

void PutU32(unsigned char* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

bool WriteBmpFile(const char* path, const unsigned char* image, size_t blockSize) {
    unsigned char fileHeader[14] = {'B', 'M'};
    PutU32(fileHeader + 2, static_cast<uint32_t>(sizeof fileHeader + blockSize));
    PutU32(fileHeader + 10, static_cast<uint32_t>(sizeof fileHeader + ReadDibLayout(image).bitsOffset));
    FILE* file = fopen(path, "wb");
    if (!file) return false;
    const bool written = fwrite(fileHeader, 1, sizeof fileHeader, file) == sizeof fileHeader &&
                         fwrite(image, 1, blockSize, file) == blockSize;
    return fclose(file) == 0 && written;
}
