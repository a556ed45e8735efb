// scrtool prepare FILE WIDTH HEIGHT [--whole] [--out OUT.bmp]: the picture the presenter would
// draw in a client area of WIDTH × HEIGHT, loaded as the saver's worker loads it, its rows reduced
// as they are decoded, then turned upright. --whole: the picture is loaded whole first and
// reduced after, the same pixels at the cost of the whole picture's memory.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/picture_fit.h"
#include "render/streamed_reduction.h"
#include "tools/scrtool_commands.h"

namespace {

int PrepareUsage() {
    fputs("usage: scrtool prepare FILE WIDTH HEIGHT [--whole] [--out OUT.bmp]\n", stderr);
    return 2;
}

}  // namespace

int RunPrepare(int argc, char** argv) {
    const char* positional[3] = {};
    int count = 0;
    const char* outPath = nullptr;
    bool whole = false;
    for (int i = 0; i < argc; ++i) {
        if (strcmp(argv[i], "--whole") == 0) {
            whole = true;
        } else if (strcmp(argv[i], "--out") == 0) {
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

    StreamedReduction reduction;
    OpenStreamedReduction(&reduction, width, height);
    const LoadResult loaded =
        LoadAsTheWalkWould(positional[0], LoadControl{nullptr, nullptr, whole ? nullptr : &reduction.Sink});
    CloseStreamedReduction(&reduction);
    if (!loaded.Image) {
        printf("none: %s\n", loaded.Reason);
        return 0;
    }
    const DibPicture prepared = FitPicture(ReadDibPicture(loaded.Image), loaded.Orientation, width, height);
    if (prepared.Block == loaded.Image) return ReportPicture(prepared.Block, loaded.BlockSize, outPath);
    // A picture reduced in place keeps its whole block, as scrtool fit writes it; a turned one is
    // a new block of exactly its rows.
    const DibLayout& layout = prepared.Layout;
    const size_t rowBytes = static_cast<size_t>(DibStride(layout.width, layout.bitCount)) * layout.height;
    return ReportPicture(prepared.Block, layout.bitsOffset + rowBytes, outPath);
}
