// Directory listing on Windows: the find-file calls, one entry at a time.
#include <windows.h>

#include <cstring>

#include "platform/directory_listing.h"

namespace {

static_assert(sizeof(WIN32_FIND_DATAA{}.cFileName) == PathBufferSize,
              "an entry name must fit exactly as the platform gives it");

void CopyName(const WIN32_FIND_DATAA& found, DirectoryEntry* entry) {
    memcpy(entry->FileName, found.cFileName, sizeof entry->FileName);
    entry->FileName[sizeof entry->FileName - 1] = '\0';
}

HANDLE FindHandle(DirectoryListing listing) { return reinterpret_cast<HANDLE>(listing); }

}  // namespace

DirectoryListing OpenDirectoryListing(const char* pattern, DirectoryEntry* entry) {
    WIN32_FIND_DATAA found;
    HANDLE handle = FindFirstFileA(pattern, &found);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    CopyName(found, entry);
    return reinterpret_cast<DirectoryListing>(handle);
}

bool NextDirectoryEntry(DirectoryListing listing, DirectoryEntry* entry) {
    if (!listing) return false;
    WIN32_FIND_DATAA found;
    if (!FindNextFileA(FindHandle(listing), &found)) return false;
    CopyName(found, entry);
    return true;
}

void CloseDirectoryListing(DirectoryListing listing) {
    if (listing) FindClose(FindHandle(listing));
}

void ToPlatformPath(char*, size_t) {}
