// The BMP loader on arbitrary file contents.
#include <cstdlib>

#include "fuzz_image_checks.h"
#include "fuzz_input_file.h"
#include "imaging/bmp_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = FuzzInputPath(".bmp");
    if (!WriteFuzzInput(path, data, size)) return 0;
    PackedDib image = LoadBmpFile(path.c_str());
    if (image) CheckLoadedImage(image);
    free(image);
    return 0;
}
