// The JPEG file loader (the library's stdio source) on arbitrary file contents.
#include <cstdlib>

#include "fuzz_image_checks.h"
#include "fuzz_input_file.h"
#include "fuzz_jpeg_size_filter.h"
#include "imaging/jpeg_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!JpegWorthDecoding(data, size)) return 0;
    const std::string& path = FuzzInputPath(".jpg");
    if (!WriteFuzzInput(path, data, size)) return 0;
    const LoadResult loaded = LoadJpegFile(path.c_str(), NeverStop);
    if (loaded.Image) CheckDecodedJpeg(loaded.Image, loaded.BlockSize);
    free(loaded.Image);
    return 0;
}
