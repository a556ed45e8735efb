// The file-type table: the extensions the slideshow shows and their loaders.
#include "slideshow/file_type_table.h"

#include <cstring>

#include "imaging/bmp_loader.h"
#include "imaging/jpeg_decoder.h"
#include "imaging/png_loader.h"
#include "imaging/system_decoders.h"
#include "imaging/webp_loader.h"

const FileType FileTypeTable[FileTypeCount] = {
    {".bmp", LoadBmpFile}, {".jpg", LoadJpegFile},  {".jpeg", LoadJpegFile},
    {".png", LoadPngFile}, {".webp", LoadWebpFile},
};

namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringAsciiCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        if (AsciiLower(*a) != AsciiLower(*b)) return false;
    }
    return *a == *b;
}

}  // namespace

ImageLoader FindImageLoaderInTable(const char* extension) {
    for (const FileType& row : FileTypeTable) {
        if (EqualIgnoringAsciiCase(extension, row.Extension)) return row.Loader;
    }
    return nullptr;
}

ImageLoader FindImageLoader(const char* extension) {
    const ImageLoader own = FindImageLoaderInTable(extension);
    return own ? own : SystemDecoderFor(extension);
}

ImageLoader FindImageLoaderForPath(const char* path) {
    const char* extension = strrchr(path, '.');
    return extension ? FindImageLoader(extension) : nullptr;
}
