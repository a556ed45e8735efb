// Directory listing on POSIX systems: readdir's own order, the dot entries included.
// 64-bit directory offsets even in 32-bit builds: ext4 hands out 64-bit hash offsets to a 64-bit
// kernel interface (qemu-user's), which 32-bit readdir reports as an overflow and ends the listing.
#define _FILE_OFFSET_BITS 64
#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/directory_listing.h"

struct DirectoryListingHandle {
    DIR* Stream;
    std::string Directory;  // with its final '/'
};

namespace {

bool ReadEntry(DirectoryListingHandle& listing, DirectoryEntry* entry) {
    const dirent* found = readdir(listing.Stream);
    if (!found) return false;
    const size_t length = strlen(found->d_name);
    entry->NameTooLong = length >= sizeof entry->FileName;
    if (entry->NameTooLong) {
        entry->FileName[0] = '\0';
    } else {
        memcpy(entry->FileName, found->d_name, length + 1);
    }
    entry->IsHidden = found->d_name[0] == '.';
    entry->IsLink = false;
    entry->IsDirectory = found->d_type == DT_DIR;
    if (found->d_type == DT_LNK || found->d_type == DT_UNKNOWN) {
        struct stat target;
        const std::string path = listing.Directory + found->d_name;
        entry->IsDirectory = stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
    }
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
    DirectoryListingHandle* listing = new DirectoryListingHandle{stream, directory};
    if (!ReadEntry(*listing, entry)) {  // Windows reports a listing without entries as a failure
        CloseDirectoryListing(listing);
        return nullptr;
    }
    return listing;
}

bool NextDirectoryEntry(DirectoryListing listing, DirectoryEntry* entry) {
    return listing && ReadEntry(*listing, entry);
}

void CloseDirectoryListing(DirectoryListing listing) {
    if (!listing) return;
    closedir(listing->Stream);
    delete listing;
}

bool IdentifyListedDirectory(DirectoryListing listing, DirectoryIdentity* identity) {
    struct stat status;
    if (!listing || fstat(dirfd(listing->Stream), &status) != 0) return false;
    identity->Device = static_cast<uint64_t>(status.st_dev);
    identity->Node = static_cast<uint64_t>(status.st_ino);
    return true;
}

void ToPlatformPath(char* path, size_t separatorIndex) {
    if (path[separatorIndex] == '\\') path[separatorIndex] = '/';
}

void ToPlatformTreePath(char* path, size_t separatorIndex) {
    for (char* c = path + separatorIndex; *c; ++c)
        if (*c == '\\') *c = '/';
}
