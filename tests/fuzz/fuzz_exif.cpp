// The EXIF reader (orientation, date taken) on arbitrary APP1 payloads; the input buffer is
// exactly as long as the payload, so any read past its end trips AddressSanitizer.
#include <cstdlib>

#include "imaging/exif_orientation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t orientation = ExifOrientation(data, size);
    if (orientation < 1 || orientation > 8) abort();
    ExifDate date = {};
    if (ExifDateTaken(data, size, &date) &&
        (date.Year < 1 || date.Month < 1 || date.Month > 12 || date.Day < 1 || date.Day > 31))
        abort();
    return 0;
}
