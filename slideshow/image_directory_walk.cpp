// The walk through the image directory, over the platform's directory listing.
#include "slideshow/image_directory_walk.h"

#include <cstring>

#include "platform/debug_output.h"
#include "platform/trace_labels.h"
#include "slideshow/file_type_table.h"
#include "slideshow/picture_library.h"
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

void CloseListing(ImageDirectoryWalk& walk) {
    walk.EntryPending = false;
    if (!walk.Listing) return;
    CloseDirectoryListing(walk.Listing);
    walk.Listing = nullptr;
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

namespace {

// The entry the listing stands on, through its loader; none when it does not load.
LoadResult TryCurrentEntry(ImageDirectoryWalk& walk, const LoadControl& control) {
    if (!walk.Listing) return NoImage(LoadFailure::DirectoryCannotBeListed);
    // A name that does not fit is passed over like one that does not load.
    if (walk.Entry.NameTooLong || !SetCandidatePath(walk, walk.Entry.FileName))
        return NoImage(LoadFailure::PathTooLong);
    // The extension runs from the last dot of the whole path, the directory part included.
    const char* extension = strrchr(walk.CandidatePath, '.');
    const ImageLoader loader = extension ? FindImageLoader(extension) : nullptr;
    if (!loader) return NoImage(LoadFailure::NotAPictureByExtension);
    char path[sizeof walk.CandidatePath];
    memcpy(path, walk.CandidatePath, sizeof path);
    ToPlatformPath(path, strlen(walk.ImageDir) - 1);
    return loader(path, control);
}

// Tries the entry the listing stands on, unless the control stops the walk first. A picture or a
// cut-short result ends the step; the walk then stands on that entry.
bool TryEntryEndsStep(ImageDirectoryWalk& walk, const LoadControl& control, LoadResult* result) {
    *result = LoadMayGoOn(control) ? TryCurrentEntry(walk, control) : CutShortLoad();
    walk.EntryPending = result->CutShort;
    return result->Image || result->CutShort;
}

// From the first entry of a newly opened listing.
LoadResult ScanFromFirstEntry(ImageDirectoryWalk& walk, const LoadControl& control) {
    OpenListing(walk);
    walk.EntryPending = false;
    LoadResult result = NoImage(LoadFailure::DirectoryCannotBeListed);
    while (walk.Listing) {
        if (TryEntryEndsStep(walk, control, &result)) return result;
        if (!NextDirectoryEntry(walk.Listing, &walk.Entry)) CloseListing(walk);
    }
    return result;
}

const uint32_t ListingPiece = 256;

bool LibraryWays(const ImageDirectoryWalk& walk) { return walk.Subfolders || walk.Shuffle; }

// A card drawn but never shown, its load cut short, is not counted as shown.
void PassOverPendingCard(ImageDirectoryWalk& walk) {
    if (walk.EntryPending && walk.Library && walk.Library->LastTried != NoPicture)
        walk.Library->Pictures.Items[walk.Library->LastTried].Passed = true;
}

void GiveUpLibrary(ImageDirectoryWalk& walk) {
    if (!walk.Library) return;
    SaveDeck(walk);
    FreePictureLibrary(walk.Library);
    walk.Library = nullptr;
}

bool LibraryFits(const ImageDirectoryWalk& walk) {
    const PictureLibrary& library = *walk.Library;
    return strcmp(library.ImageDir, walk.ImageDir) == 0 && library.Subfolders == walk.Subfolders &&
           library.Shuffle == walk.Shuffle;
}

// A kept deck when its file reads whole; else a new library, nothing listed yet (or none at all
// without memory for it).
bool MakeLibrary(ImageDirectoryWalk& walk) {
    walk.Library = NewPictureLibrary(walk.ImageDir, walk.Subfolders, walk.Shuffle);
    if (!walk.Library || !walk.Shuffle || !walk.StatePath[0]) return false;
    if (ReadDeckFile(*walk.Library, walk.StatePath) && walk.Library->Pictures.Count > 0) return true;
    FreePictureLibrary(walk.Library);
    walk.Library = NewPictureLibrary(walk.ImageDir, walk.Subfolders, walk.Shuffle);
    return false;
}

// Listing order: the picture after the one tried last, listing on while the first listing has
// not reached it yet; at the end, one wrap to the first per step.
uint32_t NextInListingOrder(PictureLibrary& library, bool* wrapped) {
    for (;;) {
        uint32_t next = library.Cursor == NoPicture ? 0 : library.Cursor + 1;
        while (next < library.Pictures.Count && library.Pictures.Items[next].Gone) ++next;
        if (next < library.Pictures.Count) return next;
        if (!library.ListedOnce) {
            ListMorePictures(library, StepListingEntries);
            continue;
        }
        if (*wrapped || library.Cursor == NoPicture) return NoPicture;
        *wrapped = true;
        library.Cursor = NoPicture;
    }
}

// The deck: the next card, listing on while nothing at all is known yet; one new round per step.
uint32_t NextCard(PictureLibrary& library, bool* newRound) {
    while (library.Order.Count == 0 && !library.ListedOnce) ListMorePictures(library, StepListingEntries);
    if (CardsLeftInRound(library) == 0) {
        if (*newRound) return NoPicture;
        *newRound = true;
    }
    return DrawCard(library);
}

LoadResult TryPicture(ImageDirectoryWalk& walk, uint32_t picture, const LoadControl& control) {
    const char* relative = PicturePath(*walk.Library, picture);
    SetCandidatePath(walk, relative);  // fits: a path that does not is never kept
    char path[sizeof walk.CandidatePath];
    memcpy(path, walk.CandidatePath, sizeof path);
    ToPlatformTreePath(path, strlen(walk.ImageDir) - 1);
    const ImageLoader loader = FindImageLoader(strrchr(relative, '.'));
    return LoadMayGoOn(control) ? loader(path, control) : CutShortLoad();
}

LoadResult AdvanceThroughLibrary(ImageDirectoryWalk& walk, const LoadControl& control) {
    if (!walk.Library) MakeLibrary(walk);
    if (!walk.Library) return NoImage(LoadFailure::NoLibraryMemory);
    PictureLibrary& library = *walk.Library;
    // A step's listing, in pieces, each after asking the control: input that would end the show
    // does not wait for it.
    for (uint32_t listed = 0; !walk.EntryPending && listed < StepListingEntries; listed += ListingPiece) {
        if (!LoadMayGoOn(control) || !ListMorePictures(library, ListingPiece)) break;
    }
    bool wrapped = false, newRound = false;
    for (;;) {
        uint32_t picture = library.LastTried;  // a load cut short is taken again first
        if (!walk.EntryPending)
            picture = library.Shuffle ? NextCard(library, &newRound) : NextInListingOrder(library, &wrapped);
        walk.EntryPending = false;
        if (picture == NoPicture) {
            if (library.LastTried == NoPicture) SetCandidatePath(walk, SearchPattern);
            walk.ListingFailed = library.TopUnlisted;
            return NoImage(library.TopUnlisted ? LoadFailure::DirectoryCannotBeListed : LoadFailure::NoPictureToShow);
        }
        walk.ListingFailed = false;
        library.LastTried = picture;
        if (!library.Shuffle) library.Cursor = picture;
        LoadResult result = TryPicture(walk, picture, control);
        if (result.CutShort) {
            walk.EntryPending = true;
            return result;
        }
        if (result.Image) {
            library.LastShown = picture;
            return result;
        }
        library.Pictures.Items[picture].Passed = true;
    }
}

RandomStart StartLibrary(ImageDirectoryWalk& walk, uint32_t seed) {
    PassOverPendingCard(walk);
    CloseListing(walk);
    const uint32_t startTick = TickCount();
    if (walk.Library && !LibraryFits(walk)) GiveUpLibrary(walk);
    const bool kept = walk.Library || MakeLibrary(walk);
    SeedRandom(seed);
    if (!walk.Library) {
        WriteTrace(TraceLabel::RandomFirstFile, startTick);
        return RandomStart{0, 0};
    }
    PictureLibrary& library = *walk.Library;
    if (!kept && !library.ListedOnce) {
        while (ListMorePictures(library, ListingPiece) && TickCount() - startTick < StartListingMs) {
        }
    }
    RandomStart pick = {LivePictureCount(library), 0};
    if (!library.Shuffle && library.Pictures.Count > 0) {
        pick.Skip = RandomBelow(library.Pictures.Count);
        library.Cursor = pick.Skip == 0 ? NoPicture : pick.Skip - 1;
    }
    WriteTrace(TraceLabel::RandomFirstFile, startTick);
    return pick;
}

}  // namespace

void SetWalkWays(ImageDirectoryWalk& walk, bool subfolders, bool shuffle, const char* statePath) {
    walk.Subfolders = subfolders;
    walk.Shuffle = shuffle;
    const size_t length = strnlen(statePath, sizeof walk.StatePath - 1);
    memcpy(walk.StatePath, statePath, length);
    walk.StatePath[length] = '\0';
}

bool SaveDeck(const ImageDirectoryWalk& walk) {
    if (!walk.Library || !walk.Library->Shuffle || !walk.StatePath[0]) return false;
    return WriteDeckFile(*walk.Library, walk.StatePath);
}

bool ListMoreOfLibrary(ImageDirectoryWalk& walk) {
    return walk.Library && ListMorePictures(*walk.Library, StepListingEntries);
}

void EndWalk(ImageDirectoryWalk& walk) {
    PassOverPendingCard(walk);
    CloseListing(walk);
    GiveUpLibrary(walk);
}

LoadResult AdvanceToNextImage(ImageDirectoryWalk& walk, const LoadControl& control) {
    if (LibraryWays(walk)) return AdvanceThroughLibrary(walk, control);
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
    if (LibraryWays(walk)) return StartLibrary(walk, seed);
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
