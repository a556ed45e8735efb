// scrtool palette: the logical palette a 256-colour display gets for a BMP file, one RRGGBB line
// per entry, or "none".
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imaging/bmp_loader.h"
#include "render/palette_entries.h"
#include "render/picture_fit.h"
#include "tools/scrtool_commands.h"

namespace {

int PaletteUsage() {
    fputs("usage: scrtool palette IN.bmp [--fit WIDTH HEIGHT]\n", stderr);
    return 2;
}

}  // namespace

int RunPalette(int argc, char** argv) {
    const char* path = nullptr;
    bool fit = false;
    int32_t width = 0, height = 0;
    for (int i = 0; i < argc; ++i) {
        if (strcmp(argv[i], "--fit") == 0) {
            if (fit || i + 2 >= argc || !ParseSize(argv[i + 1], &width) || !ParseSize(argv[i + 2], &height)) {
                return PaletteUsage();
            }
            fit = true;
            i += 2;
        } else if (!path) {
            path = argv[i];
        } else {
            return PaletteUsage();
        }
    }
    if (!path) return PaletteUsage();

    const LoadResult loaded = LoadBmpFile(path, NeverStop);
    PackedDib image = loaded.Image;
    if (!image) {
        fprintf(stderr, "none: %s\n", loaded.Reason);
        return 1;
    }
    if (fit) image = FitPicture(ReadDibPicture(image), 1, width, height).Block;
    LogPalette* palette = CreateBIPaletteEntries(image);
    if (!palette) {
        puts("none");
    } else {
        for (uint32_t i = 0; i < palette->palNumEntries; ++i) {
            const PaletteEntry& e = palette->palPalEntry[i];
            printf("%02X%02X%02X\n", e.peRed, e.peGreen, e.peBlue);
        }
    }
    free(palette);
    free(image);
    return 0;
}
