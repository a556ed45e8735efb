// Directory listing on POSIX systems: readdir's own order, the dot entries included.
// 64-bit directory offsets even in 32-bit builds: ext4 hands out 64-bit hash offsets to a 64-bit
// kernel interface (qemu-user's), which 32-bit readdir reports as an overflow and ends the listing.
#define _FILE_OFFSET_BITS 64
#include <dirent.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/directory_listing.h"

struct DirectoryListingHandle {
    DIR* Stream;
};

namespace {

bool ReadEntry(DIR* stream, DirectoryEntry* entry) {
    const dirent* found = readdir(stream);
    if (!found) return false;
    strncpy(entry->FileName, found->d_name, sizeof entry->FileName - 1);
    entry->FileName[sizeof entry->FileName - 1] = '\0';
    return true;
}

}  // namespace

DirectoryListing OpenDirectoryListing(const char* pattern, DirectoryEntry* entry) {
    const char* separator = strrchr(pattern, '\\');
    if (!separator) return nullptr;  // no directory part: nothing a Windows path would name
    std::string directory(pattern, separator);
    directory += '/';
    DIR* stream = opendir(directory.c_str());
    if (!stream) return nullptr;
    if (!ReadEntry(stream, entry)) {  // Windows reports a listing without entries as a failure
        closedir(stream);
        return nullptr;
    }
    DirectoryListingHandle* listing = static_cast<DirectoryListingHandle*>(malloc(sizeof(DirectoryListingHandle)));
    if (!listing) {
        closedir(stream);
        return nullptr;
    }
    listing->Stream = stream;
    return listing;
}

bool NextDirectoryEntry(DirectoryListing listing, DirectoryEntry* entry) {
    return listing && ReadEntry(listing->Stream, entry);
}

void CloseDirectoryListing(DirectoryListing listing) {
    if (!listing) return;
    closedir(listing->Stream);
    free(listing);
}

void ToPlatformPath(char* path, size_t separatorIndex) {
    if (path[separatorIndex] == '\\') path[separatorIndex] = '/';
}
