// scrtool prepare FILE WIDTH HEIGHT [--out OUT.bmp]: the picture the presenter would draw in a
// client area of WIDTH × HEIGHT, loaded as the walk loads it, fitted and turned upright.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/picture_fit.h"
#include "tools/scrtool_commands.h"

namespace {

int PrepareUsage() {
    fputs("usage: scrtool prepare FILE WIDTH HEIGHT [--out OUT.bmp]\n", stderr);
    return 2;
}

}  // namespace

int RunPrepare(int argc, char** argv) {
    const char* positional[3] = {};
    int count = 0;
    const char* outPath = nullptr;
    for (int i = 0; i < argc; ++i) {
        if (strcmp(argv[i], "--out") == 0) {
            if (++i == argc || outPath) return PrepareUsage();
            outPath = argv[i];
        } else if (count < 3) {
            positional[count++] = argv[i];
        } else {
            return PrepareUsage();
        }
    }
    int32_t width, height;
    if (count != 3 || !ParseSize(positional[1], &width) || !ParseSize(positional[2], &height)) {
        return PrepareUsage();
    }

    const LoadResult loaded = LoadAsTheWalkWould(positional[0]);
    if (!loaded.Image) {
        printf("none: %s\n", loaded.Reason);
        return 0;
    }
    PackedDib image = FitPicture(loaded.Image, loaded.Orientation, width, height);
    const DibLayout layout = ReadDibLayout(image);
    printf("ok %d %d %u\n", static_cast<int>(layout.width), static_cast<int>(layout.height),
           static_cast<unsigned>(layout.bitCount));
    // A picture reduced in place keeps its whole block, as scrtool fit writes it; a turned one is
    // a new block of exactly its rows.
    const size_t blockSize = image == loaded.Image
                                 ? loaded.BlockSize
                                 : layout.bitsOffset + static_cast<size_t>(DibStride(layout.width, layout.bitCount)) *
                                                           static_cast<size_t>(layout.height);
    int status = 0;
    if (outPath && !WriteBmpFile(outPath, image, blockSize)) {
        fprintf(stderr, "scrtool: cannot write %s\n", outPath);
        status = 1;
    }
    free(image);
    return status;
}
