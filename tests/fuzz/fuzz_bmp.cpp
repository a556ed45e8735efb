// The BMP loader on arbitrary file contents.
#include <cstdlib>

#include "fuzz_image_checks.h"
#include "fuzz_input_file.h"
#include "imaging/bmp_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = FuzzInputPath(".bmp");
    if (!WriteFuzzInput(path, data, size)) return 0;
    const LoadResult loaded = LoadBmpFile(path.c_str(), NeverStop);
    if (loaded.Image) CheckLoadedImage(loaded.Image, loaded.BlockSize);
    free(loaded.Image);
    return 0;
}
