// The JPEG memory loader (the program's own memory source) on arbitrary bytes; the input buffer
// is exactly as long as the stream, so any read past its end trips AddressSanitizer.
#include <cstdlib>

#include "fuzz_image_checks.h"
#include "fuzz_jpeg_size_filter.h"
#include "imaging/jpeg_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX || !JpegWorthDecoding(data, size)) return 0;
    const LoadResult loaded = LoadJpegMemory(data, static_cast<uint32_t>(size), NeverStop);
    if (loaded.Image) CheckDecodedJpeg(loaded.Image, loaded.BlockSize);
    free(loaded.Image);
    return 0;
}
