// The entries of one directory, in the order the platform lists them: FindFirstFileA,
// FindNextFileA and FindClose on Windows; opendir and readdir elsewhere, "." and ".." included.
// Nothing is filtered or sorted.
//
// Paths are in the Windows form on every platform: a directory that ends in a backslash, then a
// name or the pattern "*.*". Natively the last backslash of a pattern separates the directory from
// the pattern, which is ignored (every entry is listed, as "*.*" does on Windows), and
// ToPlatformPath turns the separating backslash of a file path into '/'.
#pragma once
#include <cstddef>

#include "platform/path_buffer.h"

struct DirectoryEntry {
    char FileName[PathBufferSize];
};

struct DirectoryListingHandle;
typedef DirectoryListingHandle* DirectoryListing;  // nullptr: not open

// Opens a listing of the directory that the pattern names and fills in its first entry; nullptr
// when the directory cannot be listed.
DirectoryListing OpenDirectoryListing(const char* pattern, DirectoryEntry* entry);

// Fills in the next entry; false at the end of the listing and for a listing that is not open.
bool NextDirectoryEntry(DirectoryListing listing, DirectoryEntry* entry);

void CloseDirectoryListing(DirectoryListing listing);

// Rewrites path, in place, into the form the platform's file calls take. separatorIndex is where
// the backslash that ends the directory part stands.
void ToPlatformPath(char* path, size_t separatorIndex);
