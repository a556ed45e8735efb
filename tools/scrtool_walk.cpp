// scrtool walk DIR --seed S --ticks N [--subfolders] [--shuffle [--state FILE]]: the slideshow's
// walk through DIR with the real loaders, as the controller drives it. ImageDir is DIR with a
// backslash appended (natively that backslash separates DIR from the entry names); the random
// start is seeded with S as the tick count; then N + 1 calls of AdvanceToNextImage. Prints
// "pick n=COUNT k=SKIP" (only without the further ways), then per call its number from 0, the
// path CandidatePath holds after ImageDir ("*.*" for the search pattern; folders separated by
// '\') and "image" or "none", each line as soon as it is known. The deck is kept in FILE.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "slideshow/image_directory_walk.h"
#include "tools/scrtool_commands.h"

namespace {

bool ParseCount(const char* text, unsigned long max, unsigned long* value) {
    if (!text || *text < '0' || *text > '9') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed > max) return false;
    *value = static_cast<unsigned long>(parsed);
    return true;
}

const char* CandidateName(const ImageDirectoryWalk& walk) {
    // A directory too long for its pattern is never listed: CandidatePath holds the pattern, cut.
    if (!ImageDirCanBeListed(walk)) return "*.*";
    return walk.CandidatePath + strlen(walk.ImageDir);
}

// The walk's record is large (a listing entry and three path buffers): one for the command.
ImageDirectoryWalk Walk;

}  // namespace

int RunWalk(int argc, char** argv) {
    const char* dir = nullptr;
    unsigned long seed = 0, ticks = 0;
    bool haveSeed = false, haveTicks = false, subfolders = false, shuffle = false;
    const char* statePath = "";
    for (int i = 0; i < argc; ++i) {
        if (strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            haveSeed = ParseCount(argv[++i], 0xFFFFFFFFul, &seed);
            if (!haveSeed) return 2;
        } else if (strcmp(argv[i], "--ticks") == 0 && i + 1 < argc) {
            haveTicks = ParseCount(argv[++i], 0x7FFFFFFEul, &ticks);
            if (!haveTicks) return 2;
        } else if (strcmp(argv[i], "--subfolders") == 0) {
            subfolders = true;
        } else if (strcmp(argv[i], "--shuffle") == 0) {
            shuffle = true;
        } else if (strcmp(argv[i], "--state") == 0 && i + 1 < argc) {
            statePath = argv[++i];
        } else if (!dir) {
            dir = argv[i];
        } else {
            return 2;
        }
    }
    if (!dir || !haveSeed || !haveTicks || (statePath[0] && !shuffle)) return 2;

    SetImageDir(Walk, dir);
    SetWalkWays(Walk, subfolders, shuffle, statePath);
    const RandomStart pick = PickRandomStart(Walk, static_cast<uint32_t>(seed));
    if (!subfolders && !shuffle)
        printf("pick n=%lu k=%lu\n", static_cast<unsigned long>(pick.Count), static_cast<unsigned long>(pick.Skip));
    fflush(stdout);
    for (unsigned long call = 0; call <= ticks; ++call) {
        const LoadResult loaded = AdvanceToNextImage(Walk, NeverStop);
        printf("%lu %s %s\n", call, CandidateName(Walk), loaded.Image ? "image" : "none");
        fflush(stdout);
        free(loaded.Image);
    }
    EndWalk(Walk);
    return 0;
}
