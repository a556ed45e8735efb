// The embedded logo: the bytes of a "JPEG" resource of the program's own module, decoded in place.
#include <windows.h>

#include "imaging/jpeg_decoder.h"
#include "imaging/jpeg_resource.h"

LoadResult LoadJpegResource(const char* name) {
    // The resource's bytes belong to the mapped module: read-only, valid for the whole run, never
    // released, so the decoder reads them where they are.
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(module, name, "JPEG");
    if (!info) return NoImage(LoadFailure::NoLogoResource);
    HGLOBAL loaded = LoadResource(module, info);
    if (!loaded) return NoImage(LoadFailure::NoLogoResource);
    const void* bytes = LockResource(loaded);
    const DWORD length = SizeofResource(module, info);
    if (!bytes || length == 0) return NoImage(LoadFailure::NoLogoResource);
    return LoadJpegMemory(static_cast<const unsigned char*>(bytes), length, NeverStop);
}
