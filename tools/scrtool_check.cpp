// scrtool check: what the slideshow would make of every entry of a directory, in listing order,
// so that a user can learn why a picture is not shown. With --subfolders every folder below it
// too, as the walk lists them: a folder's entries, then its subfolders in the order they came,
// each entry named by its path from DIR with '\' between folders.
#define _FILE_OFFSET_BITS 64
#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "slideshow/file_type_table.h"
#include "tools/scrtool_commands.h"

namespace {

void PrintVerdict(const std::string& directory, const std::string& label, const char* name) {
    // The walk decides on the whole path, so "." and ".." are judged by their names like any entry.
    const std::string path = directory + "/" + name;
    if (!FindImageLoaderForPath(path.c_str())) {
        printf("%s\tskipped (not a picture by its extension)\n", label.c_str());
        return;
    }
    const LoadResult loaded = LoadAsTheWalkWould(path.c_str());
    PackedDib image = loaded.Image;
    if (!image) {
        printf("%s\tcannot load: %s\n", label.c_str(), loaded.Reason);
        return;
    }
    const DibLayout layout = ReadDibLayout(image);
    printf("%s\tpicture %d %d %u\n", label.c_str(), static_cast<int>(layout.width), static_cast<int>(layout.height),
           static_cast<unsigned>(layout.bitCount));
    free(image);
}

struct TreeCheck {
    std::string Top;
    std::set<std::pair<dev_t, ino_t>> Listed;  // folders reached once already, through links too
};

// One folder below the top (relative "" for the top itself, else ending in '\').
void CheckFolder(TreeCheck& check, const std::string& relative) {
    std::string directory = check.Top;
    if (!relative.empty()) directory += '/';
    for (char c : relative) directory += c == '\\' ? '/' : c;
    DIR* listing = opendir(directory.c_str());
    if (!listing) return;
    struct stat status;
    if (fstat(dirfd(listing), &status) == 0 && !check.Listed.insert({status.st_dev, status.st_ino}).second) {
        closedir(listing);
        return;
    }
    std::vector<std::string> subfolders;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        const std::string label = relative + name;
        struct stat target;
        const bool folder = stat((directory + "/" + name).c_str(), &target) == 0 && S_ISDIR(target.st_mode);
        if (!folder || name == "." || name == "..") {
            PrintVerdict(directory, label, name.c_str());
        } else if (name[0] == '.') {
            printf("%s\tskipped (hidden folder)\n", label.c_str());
        } else {
            printf("%s\tfolder\n", label.c_str());
            subfolders.push_back(label + "\\");
        }
    }
    closedir(listing);
    for (const std::string& subfolder : subfolders) CheckFolder(check, subfolder);
}

}  // namespace

int RunCheck(int argc, char** argv) {
    const bool subfolders = argc == 2 && strcmp(argv[1], "--subfolders") == 0;
    if (argc != 1 && !subfolders) {
        fputs("usage: scrtool check DIR [--subfolders]\n", stderr);
        return 2;
    }
    DIR* listing = opendir(argv[0]);
    if (!listing) {
        fprintf(stderr, "scrtool: cannot list %s\n", argv[0]);
        return 1;
    }
    if (subfolders) {
        closedir(listing);
        TreeCheck check = {argv[0], {}};
        CheckFolder(check, "");
        return 0;
    }
    while (const dirent* entry = readdir(listing)) PrintVerdict(argv[0], entry->d_name, entry->d_name);
    closedir(listing);
    return 0;
}
