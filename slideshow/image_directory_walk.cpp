// The walk through the image directory, over the platform's directory listing.
#include "slideshow/image_directory_walk.h"

#include <cstring>

#include "platform/debug_output.h"
#include "platform/trace_labels.h"
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
    walk.ListingFailed = walk.Listing == nullptr;
}

}  // namespace

void SetImageDir(ImageDirectoryWalk& walk, const char* baseDir) {
    const size_t limit = PathBufferSize - 1;  // what the setting itself can hold
    size_t length = strnlen(baseDir, limit);
    memcpy(walk.ImageDir, baseDir, length);
    if (length == 0 || walk.ImageDir[length - 1] != '\\') walk.ImageDir[length++] = '\\';
    walk.ImageDir[length] = '\0';
}

bool ImageDirCanBeListed(const ImageDirectoryWalk& walk) {
    return strlen(walk.ImageDir) + strlen(SearchPattern) < sizeof walk.CandidatePath;
}

LoadResult TryCurrentEntry(ImageDirectoryWalk& walk, const LoadControl& control) {
    if (!walk.Listing) return NoImage("directory cannot be listed");
    // A name that does not fit is passed over like one that does not load.
    if (!SetCandidatePath(walk, walk.Entry.FileName)) return NoImage("path too long");
    // The extension runs from the last dot of the whole path, the directory part included.
    const char* extension = strrchr(walk.CandidatePath, '.');
    const ImageLoader loader = extension ? FindImageLoader(extension) : nullptr;
    if (!loader) return NoImage("not a picture by its extension");
    char path[sizeof walk.CandidatePath];
    memcpy(path, walk.CandidatePath, sizeof path);
    ToPlatformPath(path, strlen(walk.ImageDir) - 1);
    return loader(path, control);
}

namespace {

// Tries the entry the listing stands on, unless the control stops the walk first. A picture or a
// cut-short result ends the step; the walk then stands on that entry.
bool TryEntryEndsStep(ImageDirectoryWalk& walk, const LoadControl& control, LoadResult* result) {
    *result = LoadMayGoOn(control) ? TryCurrentEntry(walk, control) : CutShortLoad();
    walk.EntryPending = result->CutShort;
    return result->Image || result->CutShort;
}

}  // namespace

LoadResult ScanFromFirstEntry(ImageDirectoryWalk& walk, const LoadControl& control) {
    OpenListing(walk);
    walk.EntryPending = false;
    LoadResult result = NoImage("directory cannot be listed");
    while (walk.Listing) {
        if (TryEntryEndsStep(walk, control, &result)) return result;
        if (!NextDirectoryEntry(walk.Listing, &walk.Entry)) CloseListing(walk);
    }
    return result;
}

LoadResult AdvanceToNextImage(ImageDirectoryWalk& walk, const LoadControl& control) {
    if (!walk.Listing) return ScanFromFirstEntry(walk, control);
    LoadResult result;
    if (walk.EntryPending && TryEntryEndsStep(walk, control, &result)) return result;
    // The entry the listing stands on was tried (or skipped to) already: move on before trying.
    for (;;) {
        if (!NextDirectoryEntry(walk.Listing, &walk.Entry)) {
            CloseListing(walk);
            return ScanFromFirstEntry(walk, control);
        }
        if (TryEntryEndsStep(walk, control, &result)) return result;
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

    WriteTrace(TraceLabel::RandomFirstFile, startTick);
    return pick;
}

void CloseListing(ImageDirectoryWalk& walk) {
    walk.EntryPending = false;
    if (!walk.Listing) return;
    CloseDirectoryListing(walk.Listing);
    walk.Listing = nullptr;
}
