// The WebP loader on arbitrary file contents. Kept fast: a canvas of more than 65536 pixels that
// the loader would take (addressable) is passed over, since a few bytes of lossless data or an
// animation's header can ask for megabytes of image, and every pixel costs the checks' time.
#include <webp/decode.h>

#include <cstdlib>

#include "fuzz_image_checks.h"
#include "fuzz_input_file.h"
#include "imaging/webp_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data, size, &features) == VP8_STATUS_OK &&
        static_cast<uint64_t>(features.width) * static_cast<uint64_t>(features.height) > (1u << 16) &&
        DibSizeIsAddressable(static_cast<uint64_t>(features.width), static_cast<uint64_t>(features.height), 24)) {
        return 0;
    }
    const std::string& path = FuzzInputPath(".webp");
    if (!WriteFuzzInput(path, data, size)) return 0;
    const LoadResult loaded = LoadWebpFile(path.c_str(), NeverStop);
    if (loaded.Image) CheckDecodedJpeg(loaded.Image, loaded.BlockSize);  // 24-bit, no table, zero pads
    free(loaded.Image);
    return 0;
}
