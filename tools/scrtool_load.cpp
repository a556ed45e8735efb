// scrtool load: one file through the file-type table, as the slideshow's walk would load it.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "slideshow/file_type_table.h"
#include "tools/scrtool_commands.h"

namespace {

int LoadUsage() {
    fputs("usage: scrtool load FILE [--out OUT.bmp]\n", stderr);
    return 2;
}

}  // namespace

LoadResult LoadAsTheWalkWould(const char* path, const LoadControl& control) {
    const ImageLoader loader = FindImageLoaderForPath(path);
    if (!loader) return NoImage(LoadFailure::NotAPictureByExtension);
    return loader(path, control);
}

int RunLoad(int argc, char** argv) {
    const char* path = nullptr;
    const char* outPath = nullptr;
    for (int i = 0; i < argc; ++i) {
        if (strcmp(argv[i], "--out") == 0) {
            if (++i == argc || outPath) return LoadUsage();
            outPath = argv[i];
        } else if (!path) {
            path = argv[i];
        } else {
            return LoadUsage();
        }
    }
    if (!path) return LoadUsage();

    const LoadResult loaded = LoadAsTheWalkWould(path);
    PackedDib image = loaded.Image;
    if (!image) {
        printf("none: %s\n", loaded.Reason);
        return 0;
    }
    return ReportPicture(image, loaded.BlockSize, outPath);
}

int ReportPicture(PackedDib image, size_t blockSize, const char* outPath) {
    const DibLayout layout = ReadDibLayout(image);
    printf("ok %d %d %u\n", static_cast<int>(layout.width), static_cast<int>(layout.height),
           static_cast<unsigned>(layout.bitCount));
    int status = 0;
    if (outPath && !WriteBmpFile(outPath, image, blockSize)) {
        fprintf(stderr, "scrtool: cannot write %s\n", outPath);
        status = 1;
    }
    free(image);
    return status;
}
