// The file loaders take a path, so the fuzz targets hand them their input as a file: one per
// process, in memory-backed /dev/shm where there is one.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

inline std::string& FuzzInputPathStore() {
    static std::string path;
    return path;
}

inline void RemoveFuzzInput() { remove(FuzzInputPathStore().c_str()); }

inline const std::string& FuzzInputPath(const char* extension) {
    std::string& path = FuzzInputPathStore();
    if (path.empty()) {
        const char* directory = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        path = std::string(directory) + "/saver-fuzz-" + std::to_string(getpid()) + extension;
        atexit(RemoveFuzzInput);
    }
    return path;
}

inline bool WriteFuzzInput(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = size == 0 || fwrite(data, 1, size, file) == size;
    return fclose(file) == 0 && written;
}
