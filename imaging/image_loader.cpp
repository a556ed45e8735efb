// The outcomes a loader can give.
#include "imaging/image_loader.h"

#include <cctype>
#include <cstdio>

#include "platform/file_access.h"

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

LoadResult LoadFromFile(const char* path, const LoadControl& control, FileReader read) {
    FILE* file = OpenPathForReading(path);
    if (!file) return NoImage("cannot open file");
    LoadResult result = read(file, control);
    fclose(file);
    return result;
}

uint64_t FileLength(FILE* file) {
    if (fseek(file, 0, SEEK_END) != 0) return 0;
    const long end = ftell(file);
    if (fseek(file, 0, SEEK_SET) != 0) return 0;
    return end > 0 ? static_cast<uint64_t>(end) : 0;
}

void LowerFirstLetter(char* reason) {
    if (reason[0] && islower(static_cast<unsigned char>(reason[1]))) {
        reason[0] = static_cast<char>(tolower(static_cast<unsigned char>(reason[0])));
    }
}
