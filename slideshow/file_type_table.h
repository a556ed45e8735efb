// Which loader reads which file: decided by the extension alone, compared without regard to the
// case of ASCII letters.
#pragma once
#include "imaging/image_loader.h"

struct FileType {
    char Extension[12];  // with its leading dot, lower case, NUL-padded
    ImageLoader Loader;
};

enum { FileTypeCount = 5 };
extern const FileType FileTypeTable[FileTypeCount];

// extension: the text from a path's last dot to its end, the dot included. The loader of the
// first row whose extension equals it as a whole, else the platform's decoder that claims it
// (imaging/system_decoders.h), or nullptr.
ImageLoader FindImageLoader(const char* extension);
// The table's rows alone.
ImageLoader FindImageLoaderInTable(const char* extension);

// The loader the directory walk would call for this path: the extension runs from the last dot of
// the whole path, the directory part included. nullptr without a dot or a matching row.
ImageLoader FindImageLoaderForPath(const char* path);
