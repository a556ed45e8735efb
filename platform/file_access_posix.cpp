// Files on POSIX systems: the C library's calls on the path as it is.
#include <sys/stat.h>

#include <cstdio>
#include <ctime>

#include "platform/file_access.h"

FILE* OpenPathForReading(const char* path) { return fopen(path, "rb"); }

FILE* OpenPathForWriting(const char* path) { return fopen(path, "wb"); }

bool ReplaceWithNewFile(const char* newPath, const char* path) { return rename(newPath, path) == 0; }

void RemovePath(const char* path) { remove(path); }

bool FileLastWriteDay(FILE* file, LocalDay* day) {
    struct stat status;
    if (fstat(fileno(file), &status) != 0) return false;
    struct tm local;
    if (!localtime_r(&status.st_mtime, &local)) return false;
    *day = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
    return true;
}
