// scrtool fit: a BMP file reduced as the presenter reduces it for a client area, written back out.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "imaging/bmp_loader.h"
#include "render/picture_fit.h"
#include "tools/scrtool_commands.h"

namespace {

int FitUsage() {
    fputs("usage: scrtool fit IN.bmp WIDTH HEIGHT OUT.bmp\n", stderr);
    return 2;
}

}  // namespace

bool ParseSize(const char* text, int32_t* value) {
    char* end = nullptr;
    errno = 0;
    const long parsed = strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < INT32_MIN || parsed > INT32_MAX) return false;
    *value = static_cast<int32_t>(parsed);
    return true;
}

int RunFit(int argc, char** argv) {
    int32_t width, height;
    if (argc != 4 || !ParseSize(argv[1], &width) || !ParseSize(argv[2], &height)) return FitUsage();
    const LoadResult loaded = LoadBmpFile(argv[0], NeverStop);
    PackedDib image = loaded.Image;
    if (!image) {
        printf("none: %s\n", loaded.Reason);
        return 1;
    }
    const size_t blockSize = loaded.BlockSize;
    const DibPicture fitted = FitPicture(ReadDibPicture(image), 1, width, height);
    image = fitted.Block;
    printf("fit %d %d\n", static_cast<int>(fitted.Layout.width), static_cast<int>(fitted.Layout.height));
    int status = 0;
    if (!WriteBmpFile(argv[3], image, blockSize)) {
        fprintf(stderr, "scrtool: cannot write %s\n", argv[3]);
        status = 1;
    }
    free(image);
    return status;
}
