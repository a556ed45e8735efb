// The walk through the image directory, over the platform's directory listing.
#include "slideshow/image_directory_walk.h"

#include <cstring>

#include "platform/debug_output.h"
#include "slideshow/file_type_table.h"
#include "slideshow/random_generator.h"

namespace {

const char SearchPattern[] = "*.*";

// CandidatePath = ImageDir followed by tail, cut to what the buffer holds. Returns whether it fit.
bool SetCandidatePath(ImageDirectoryWalk& walk, const char* tail) {
    const size_t dirLength = strlen(walk.ImageDir);
    const size_t tailLength = strlen(tail);
    const size_t room = sizeof walk.CandidatePath - 1;
    const size_t dirCopied = dirLength < room ? dirLength : room;
    memcpy(walk.CandidatePath, walk.ImageDir, dirCopied);
    const size_t tailCopied = tailLength < room - dirCopied ? tailLength : room - dirCopied;
    memcpy(walk.CandidatePath + dirCopied, tail, tailCopied);
    walk.CandidatePath[dirCopied + tailCopied] = '\0';
    return dirCopied + tailCopied == dirLength + tailLength;
}

// Opens the listing on ImageDir with the search pattern, which stays in CandidatePath.
void OpenListing(ImageDirectoryWalk& walk) {
    const bool fits = SetCandidatePath(walk, SearchPattern);
    walk.Listing = fits ? OpenDirectoryListing(walk.CandidatePath, &walk.Entry) : nullptr;
}

}  // namespace

void SetImageDir(ImageDirectoryWalk& walk, const char* baseDir) {
    const size_t limit = WalkPathSize - 1;  // what the setting itself can hold
    size_t length = strnlen(baseDir, limit);
    memcpy(walk.ImageDir, baseDir, length);
    if (length == 0 || walk.ImageDir[length - 1] != '\\') walk.ImageDir[length++] = '\\';
    walk.ImageDir[length] = '\0';
}

bool ImageDirCanBeListed(const ImageDirectoryWalk& walk) {
    return strlen(walk.ImageDir) + strlen(SearchPattern) < sizeof walk.CandidatePath;
}

PackedDib TryCurrentEntry(ImageDirectoryWalk& walk) {
    if (!walk.Listing) return nullptr;
    // A name that does not fit is passed over like one that does not load.
    if (!SetCandidatePath(walk, walk.Entry.FileName)) return nullptr;
    // The extension runs from the last dot of the whole path, the directory part included.
    const char* extension = strrchr(walk.CandidatePath, '.');
    if (!extension) return nullptr;
    const ImageLoader loader = FindImageLoader(extension);
    if (!loader) return nullptr;
    char path[sizeof walk.CandidatePath];
    memcpy(path, walk.CandidatePath, sizeof path);
    ToPlatformPath(path, strlen(walk.ImageDir) - 1);
    return loader(path);
}

PackedDib ScanFromFirstEntry(ImageDirectoryWalk& walk) {
    OpenListing(walk);
    while (walk.Listing) {
        PackedDib image = TryCurrentEntry(walk);
        if (image) return image;
        if (!NextDirectoryEntry(walk.Listing, &walk.Entry)) CloseListing(walk);
    }
    return nullptr;
}

PackedDib AdvanceToNextImage(ImageDirectoryWalk& walk) {
    if (!walk.Listing) return ScanFromFirstEntry(walk);
    // The entry the listing stands on was tried (or skipped to) already: move on before trying.
    for (;;) {
        if (!NextDirectoryEntry(walk.Listing, &walk.Entry)) {
            CloseListing(walk);
            return ScanFromFirstEntry(walk);
        }
        PackedDib image = TryCurrentEntry(walk);
        if (image) return image;
    }
}

RandomStart PickRandomStart(ImageDirectoryWalk& walk, uint32_t seed) {
    CloseListing(walk);
    const uint32_t startTick = TickCount();

    RandomStart pick = {0, 0};
    OpenListing(walk);
    while (NextDirectoryEntry(walk.Listing, &walk.Entry)) ++pick.Count;
    CloseListing(walk);

    SeedRandom(seed);
    // With no entry after the first there is nothing to pick from: start at the first.
    if (pick.Count > 0) pick.Skip = static_cast<uint32_t>(NextRandom()) % pick.Count;

    OpenListing(walk);
    for (uint32_t i = 0; i < pick.Skip; ++i) NextDirectoryEntry(walk.Listing, &walk.Entry);

    WriteTrace("RandomFirstFile ", startTick);
    return pick;
}

void CloseListing(ImageDirectoryWalk& walk) {
    if (!walk.Listing) return;
    CloseDirectoryListing(walk.Listing);
    walk.Listing = nullptr;
}
