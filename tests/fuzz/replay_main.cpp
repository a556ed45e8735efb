// Runs a fuzz target once over every file of the directories given, outside libFuzzer, so that
// the sanitizer build replays kept crashers and seeds as an ordinary test.
#include <dirent.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    bytes.clear();
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    fclose(f);
    return true;
}

int main(int argc, char** argv) {
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        DIR* dir = opendir(argv[i]);
        if (!dir) continue;  // a target may have no crashers kept yet
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.') continue;
            std::vector<uint8_t> bytes;
            if (!ReadFile(std::string(argv[i]) + "/" + entry->d_name, bytes)) continue;
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++replayed;
        }
        closedir(dir);
    }
    printf("replayed %d inputs\n", replayed);
    return replayed > 0 ? 0 : 1;
}
