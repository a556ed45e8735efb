// The whole road of a file to the screen, for cost as much as for faults: loaded as the walk loads
// it (by its kind, told from its first bytes), fitted to a 1920 × 1080 area and turned upright,
// with no filter on the sizes its header claims. Run with libFuzzer's per-input limits of time and
// memory (scripts/fuzz sets them), a slow or greedy input is a finding like a crash.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_image_checks.h"
#include "fuzz_input_file.h"
#include "fuzz_png_crcs.h"
#include "platform/debug_output.h"
#include "render/picture_fit.h"
#include "slideshow/file_type_table.h"

namespace {

const int32_t AreaWidth = 1920, AreaHeight = 1080;

void DropTrace(const char*) {}

const char* ExtensionFor(const std::vector<uint8_t>& bytes) {
    static const uint8_t pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return ".bmp";
    if (bytes.size() >= 8 && memcmp(bytes.data(), pngSignature, 8) == 0) return ".png";
    return ".jpg";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    const char* extension = ExtensionFor(bytes);
    if (strcmp(extension, ".png") == 0) FixChunkCrcs(bytes);
    // One path per kind: the walk picks the loader by the extension.
    static std::string paths[3];
    std::string& path = paths[extension[1] == 'b' ? 0 : extension[1] == 'p' ? 1 : 2];
    if (path.empty()) path = FuzzInputPath("") + extension;
    if (!WriteFuzzInput(path, bytes.data(), bytes.size())) return 0;
    const LoadResult loaded = FindImageLoaderForPath(path.c_str())(path.c_str(), NeverStop);
    remove(path.c_str());
    if (!loaded.Image) return 0;
    CheckLoadedImage(loaded.Image, loaded.BlockSize);

    SetDebugOutputSink(DropTrace);
    const DibPicture shown = FitPicture(ReadDibPicture(loaded.Image), loaded.Orientation, AreaWidth, AreaHeight);
    SetDebugOutputSink(nullptr);
    // What is drawn: within the area, no side 0, and a 24-bit block whenever it was reduced; the
    // layout handed on with it is its header's.
    const DibLayout layout = ReadDibLayout(shown.Block);
    if (layout.width < 1 || layout.height < 1 || layout.width > AreaWidth || layout.height > AreaHeight) abort();
    if (shown.Layout.width != layout.width || shown.Layout.height != layout.height ||
        shown.Layout.bitCount != layout.bitCount || shown.Layout.bitsOffset != layout.bitsOffset)
        abort();
    if (shown.Block != loaded.Image) {
        if (layout.bitCount != 24) abort();
        CheckLoadedImage(shown.Block, layout.bitsOffset + DibStride(layout.width, 24) * layout.height);
    }
    free(shown.Block);
    return 0;
}
