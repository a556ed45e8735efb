// The entries of one directory, in the order the platform lists them: on Windows NT
// FindFirstFileW and FindNextFileW with every name turned into UTF-8, on Windows 9x
// FindFirstFileA and FindNextFileA; opendir and readdir elsewhere, "." and ".." included. Nothing
// is filtered or sorted.
//
// Paths are in the Windows form on every platform: a directory that ends in a backslash, then a
// name or the pattern "*.*". Natively the last backslash of a pattern separates the directory from
// the pattern, which is ignored (every entry is listed, as "*.*" does on Windows), and
// ToPlatformPath turns the separating backslash of a file path into '/'. Path texts are the
// platform's: UTF-8 on Windows NT and natively, the ANSI code page on Windows 9x.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/path_buffer.h"

struct DirectoryEntry {
    char FileName[PathBufferSize];  // "" when NameTooLong
    bool IsDirectory;
    // Hidden or system on Windows; natively a name that starts with a dot.
    bool IsHidden;
    // A junction or a symbolic link on Windows. Natively links are followed and IsDirectory says
    // where they lead; a loop is caught by the folder's identity instead.
    bool IsLink;
    // The name does not fit FileName in the platform's path text: it must be passed over, since
    // any part of it would name another file.
    bool NameTooLong;
};

struct DirectoryListingHandle;
typedef DirectoryListingHandle* DirectoryListing;  // nullptr: not open

// Opens a listing of the directory that the pattern names and fills in its first entry; nullptr
// when the directory cannot be listed.
DirectoryListing OpenDirectoryListing(const char* pattern, DirectoryEntry* entry);

// Fills in the next entry; false at the end of the listing and for a listing that is not open.
bool NextDirectoryEntry(DirectoryListing listing, DirectoryEntry* entry);

void CloseDirectoryListing(DirectoryListing listing);

// What tells the listed directory apart from every other one reached by another path (a link's),
// or false where the platform gives nothing cheap (Windows, where links are not followed).
struct DirectoryIdentity {
    uint64_t Device, Node;
};
bool IdentifyListedDirectory(DirectoryListing listing, DirectoryIdentity* identity);

// Rewrites path, in place, into the form the platform's file calls take. separatorIndex is where
// the backslash that ends the directory part stands.
void ToPlatformPath(char* path, size_t separatorIndex);

// The same for a path whose part after separatorIndex runs through folders: every backslash from
// separatorIndex on separates.
void ToPlatformTreePath(char* path, size_t separatorIndex);
