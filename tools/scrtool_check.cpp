// scrtool check: what the slideshow would make of every entry of a directory, in listing order,
// so that a user can learn why a picture is not shown.
#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "slideshow/file_type_table.h"
#include "tools/scrtool_commands.h"

namespace {

void PrintVerdict(const std::string& directory, const char* name) {
    // The walk decides on the whole path, so "." and ".." are judged by their names like any entry.
    const std::string path = directory + "/" + name;
    if (!FindImageLoaderForPath(path.c_str())) {
        printf("%s\tskipped (not a picture by its extension)\n", name);
        return;
    }
    const LoadResult loaded = LoadAsTheWalkWould(path.c_str());
    PackedDib image = loaded.Image;
    if (!image) {
        printf("%s\tcannot load: %s\n", name, loaded.Reason);
        return;
    }
    const DibLayout layout = ReadDibLayout(image);
    printf("%s\tpicture %d %d %u\n", name, static_cast<int>(layout.width), static_cast<int>(layout.height),
           static_cast<unsigned>(layout.bitCount));
    free(image);
}

}  // namespace

int RunCheck(int argc, char** argv) {
    if (argc != 1) {
        fputs("usage: scrtool check DIR\n", stderr);
        return 2;
    }
    DIR* listing = opendir(argv[0]);
    if (!listing) {
        fprintf(stderr, "scrtool: cannot list %s\n", argv[0]);
        return 1;
    }
    while (const dirent* entry = readdir(listing)) PrintVerdict(argv[0], entry->d_name);
    closedir(listing);
    return 0;
}
