// Directory listing on Windows: the find-file calls, one entry at a time; the W calls on NT,
// found at run time, the A calls on 9x.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "platform/directory_listing.h"
#include "platform/wide_text_win32.h"

namespace {

static_assert(sizeof(WIN32_FIND_DATAA{}.cFileName) == PathBufferSize,
              "an entry name must fit exactly as the platform gives it");

typedef HANDLE(WINAPI* FindFirstFileWCall)(LPCWSTR, WIN32_FIND_DATAW*);
typedef BOOL(WINAPI* FindNextFileWCall)(HANDLE, WIN32_FIND_DATAW*);

}  // namespace

struct DirectoryListingHandle {
    HANDLE Find;
    FindNextFileWCall FindNextW;  // nullptr: the A calls
};

namespace {

void CopyAttributes(DWORD attributes, DirectoryEntry* entry) {
    entry->IsDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry->IsHidden = (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
    entry->IsLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

void CopyEntry(const WIN32_FIND_DATAA& found, DirectoryEntry* entry) {
    memcpy(entry->FileName, found.cFileName, sizeof entry->FileName);
    entry->FileName[sizeof entry->FileName - 1] = '\0';
    entry->NameTooLong = false;
    CopyAttributes(found.dwFileAttributes, entry);
}

void CopyEntry(const WIN32_FIND_DATAW& found, DirectoryEntry* entry) {
    entry->NameTooLong = !TextFromWidePath(found.cFileName, entry->FileName, sizeof entry->FileName);
    if (entry->NameTooLong) entry->FileName[0] = '\0';
    CopyAttributes(found.dwFileAttributes, entry);
}

DirectoryListing NewListing(HANDLE find, FindNextFileWCall findNextW) {
    DirectoryListingHandle* listing = static_cast<DirectoryListingHandle*>(malloc(sizeof(DirectoryListingHandle)));
    if (!listing) {
        FindClose(find);
        return nullptr;
    }
    listing->Find = find;
    listing->FindNextW = findNextW;
    return listing;
}

DirectoryListing OpenWideListing(const char* pattern, DirectoryEntry* entry) {
    const FindFirstFileWCall findFirstW =
        reinterpret_cast<FindFirstFileWCall>(LoadedModuleFunction("kernel32.dll", "FindFirstFileW"));
    const FindNextFileWCall findNextW =
        reinterpret_cast<FindNextFileWCall>(LoadedModuleFunction("kernel32.dll", "FindNextFileW"));
    wchar_t widePattern[PathBufferSize];
    if (!findFirstW || !findNextW || !WidePathFromText(pattern, widePattern)) return nullptr;
    WIN32_FIND_DATAW found;
    HANDLE find = findFirstW(widePattern, &found);
    if (find == INVALID_HANDLE_VALUE) return nullptr;
    CopyEntry(found, entry);
    return NewListing(find, findNextW);
}

}  // namespace

DirectoryListing OpenDirectoryListing(const char* pattern, DirectoryEntry* entry) {
    if (UsesWideCalls()) return OpenWideListing(pattern, entry);
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(pattern, &found);
    if (find == INVALID_HANDLE_VALUE) return nullptr;
    CopyEntry(found, entry);
    return NewListing(find, nullptr);
}

bool NextDirectoryEntry(DirectoryListing listing, DirectoryEntry* entry) {
    if (!listing) return false;
    if (listing->FindNextW) {
        WIN32_FIND_DATAW found;
        if (!listing->FindNextW(listing->Find, &found)) return false;
        CopyEntry(found, entry);
        return true;
    }
    WIN32_FIND_DATAA found;
    if (!FindNextFileA(listing->Find, &found)) return false;
    CopyEntry(found, entry);
    return true;
}

void CloseDirectoryListing(DirectoryListing listing) {
    if (!listing) return;
    FindClose(listing->Find);
    free(listing);
}

bool IdentifyListedDirectory(DirectoryListing, DirectoryIdentity*) { return false; }

void ToPlatformPath(char*, size_t) {}

void ToPlatformTreePath(char*, size_t) {}
