// BMP files: the body after the 14-byte file header already has the packed DIB layout, so once
// its header has been checked it becomes the image block as it is, read with one call.
#include "imaging/bmp_loader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imaging/bmp_body.h"

namespace {

const long FileHeaderSize = 14;

PackedDib Fail(const char* reason) {
    SetLoadFailure(reason);
    return nullptr;
}

PackedDib ReadBmpBody(FILE* file) {
    unsigned char fileHeader[FileHeaderSize];
    const size_t got = fread(fileHeader, 1, sizeof fileHeader, file);
    if (got < 2 || fileHeader[0] != 'B' || fileHeader[1] != 'M') return Fail("not a BMP file");
    if (got < sizeof fileHeader) return Fail("file too short for its header");

    if (fseek(file, 0, SEEK_END) != 0) return Fail("cannot read file");
    const long end = ftell(file);
    if (end < FileHeaderSize) return Fail("cannot read file");
    const uint64_t bodyLength = static_cast<uint64_t>(end - FileHeaderSize);
    if (bodyLength > SIZE_MAX) return Fail("file too large");

    // Decide from the header alone, before the block for the whole body is allocated.
    unsigned char header[BmpLargestHeaderSize];
    const size_t headerBytes = bodyLength < sizeof header ? static_cast<size_t>(bodyLength) : sizeof header;
    if (fseek(file, FileHeaderSize, SEEK_SET) != 0 || fread(header, 1, headerBytes, file) != headerBytes) {
        return Fail("cannot read file");
    }
    if (const char* fault = FindBmpBodyFault(header, bodyLength)) return Fail(fault);

    PackedDib image = static_cast<PackedDib>(malloc(static_cast<size_t>(bodyLength)));
    if (!image) return Fail("out of memory");
    if (fseek(file, FileHeaderSize, SEEK_SET) != 0 ||
        fread(image, 1, static_cast<size_t>(bodyLength), file) != bodyLength ||
        memcmp(image, header, headerBytes) != 0) {  // the file changed under us: checks are void
        free(image);
        return Fail("cannot read file");
    }
    TurnBmpBottomUp(image);
    SetLoadSuccess(static_cast<size_t>(bodyLength));
    return image;
}

}  // namespace

PackedDib LoadBmpFile(const char* path) {
    FILE* file = fopen(path, "rb");
    if (!file) return Fail("cannot open file");
    PackedDib image = ReadBmpBody(file);
    fclose(file);
    return image;
}
