// Files named by the platform's path texts (see directory_listing.h): on Windows NT the wide
// calls, so that a name outside the ANSI code page opens; on 9x and natively the C library's.
#pragma once
#include <cstdio>

// fopen's modes "rb" and "wb"; nullptr when the file cannot be opened or the path is too long for
// the platform.
FILE* OpenPathForReading(const char* path);
FILE* OpenPathForWriting(const char* path);

// Puts the complete file at newPath in the place of path, replacing what was there: at once where
// the platform can (rename, MoveFileEx), else by deleting the old one first (Windows 9x).
bool ReplaceWithNewFile(const char* newPath, const char* path);

void RemovePath(const char* path);

// A calendar day in the local time zone.
struct LocalDay {
    int Year;
    int Month;  // 1 to 12
    int Day;    // 1 to 31
};

// The day the open file was last written, in local time; false when the platform cannot say.
bool FileLastWriteDay(FILE* file, LocalDay* day);
