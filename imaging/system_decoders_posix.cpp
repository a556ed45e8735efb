// No imaging component here: the kinds Windows decodes load nowhere but on Windows, and say so.
#include "imaging/system_decoders.h"

#include <strings.h>

namespace {

const char* const WindowsDecodes[] = {".heic", ".heif", ".avif", ".tif", ".tiff", ".gif", ".jxr", ".wdp",
                                      ".hdp",  ".dng",  ".cr2",  ".nef", ".arw",  ".orf", ".rw2", ".ico"};

LoadResult LoadOnWindowsOnly(const char*, const LoadControl&) { return NoImage(LoadFailure::WicLackingHere); }

}  // namespace

ImageLoader SystemDecoderFor(const char* extension) {
    for (const char* known : WindowsDecodes) {
        if (strcasecmp(extension, known) == 0) return LoadOnWindowsOnly;
    }
    return nullptr;
}

int SystemDecoderExtensionCount() { return 0; }

const char* SystemDecoderExtension(int) { return ""; }
