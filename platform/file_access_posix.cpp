// Files on POSIX systems: the C library's calls on the path as it is.
#include <cstdio>

#include "platform/file_access.h"

FILE* OpenPathForReading(const char* path) { return fopen(path, "rb"); }

FILE* OpenPathForWriting(const char* path) { return fopen(path, "wb"); }

bool ReplaceWithNewFile(const char* newPath, const char* path) { return rename(newPath, path) == 0; }

void RemovePath(const char* path) { remove(path); }
