// The EXIF orientation reader on arbitrary APP1 payloads; the input buffer is exactly as long as
// the payload, so any read past its end trips AddressSanitizer.
#include <cstdlib>

#include "imaging/exif_orientation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t orientation = ExifOrientation(data, size);
    if (orientation < 1 || orientation > 8) abort();
    return 0;
}
