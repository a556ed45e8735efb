// The outcomes a loader can give.
#include "imaging/image_loader.h"

#include <cctype>
#include <cstdio>

LoadResult LoadedImage(PackedDib image, size_t blockSize) {
    LoadResult result = {};
    result.Image = image;
    result.BlockSize = blockSize;
    result.Orientation = 1;
    return result;
}

LoadResult NoImage(const char* reason) {
    LoadResult result = {};
    snprintf(result.Reason, sizeof result.Reason, "%s", reason ? reason : "");
    result.Orientation = 1;
    return result;
}

LoadResult CutShortLoad() {
    LoadResult result = NoImage("load cut short");
    result.CutShort = true;
    return result;
}

void LowerFirstLetter(char* reason) {
    if (reason[0] && islower(static_cast<unsigned char>(reason[1]))) {
        reason[0] = static_cast<char>(tolower(static_cast<unsigned char>(reason[0])));
    }
}
