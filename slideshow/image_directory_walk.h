// The walk through the image directory: the listing in the platform's order, one loadable entry
// per call, a random start and a wrap from the last entry to the first. Nothing is cached: the
// walk keeps an open listing and its current entry and loads one image when asked.
#pragma once
#include <cstdint>

#include "imaging/image_loader.h"
#include "platform/directory_listing.h"
#include "platform/path_buffer.h"

struct ImageDirectoryWalk {
    // Always ends in a backslash. One byte longer than a path buffer so that a 259-character
    // setting keeps its backslash; a directory that long cannot be listed (its pattern does not fit
    // CandidatePath), and is treated as one that cannot.
    char ImageDir[PathBufferSize + 1];
    DirectoryListing Listing;  // nullptr: not open
    DirectoryEntry Entry;
    // ImageDir and "*.*" while a listing is opened, else ImageDir and the name of the entry last
    // tried. When either does not fit, as much of it as fits: the label still says something.
    char CandidatePath[PathBufferSize];
    // The entry the listing stands on was not tried to the end: the walk or its load was cut
    // short there, so the next step tries it before it moves on.
    bool EntryPending;
    // The last opening of the listing failed: the folder is missing or out of reach for now.
    bool ListingFailed;
};

// The image directory from the BaseDir setting: a backslash is appended when the text is empty or
// does not end in one. Text beyond what ImageDir holds is cut; such a directory cannot be listed.
void SetImageDir(ImageDirectoryWalk& walk, const char* baseDir);

// Whether ImageDir followed by the search pattern fits CandidatePath; a directory for which it
// does not is never listed, and CandidatePath then only ever holds the pattern, cut short.
bool ImageDirCanBeListed(const ImageDirectoryWalk& walk);

struct RandomStart {
    uint32_t Count;  // n: the entries after the first (0 when the directory cannot be listed)
    uint32_t Skip;   // k: the entries skipped after the first
};

// Counts the directory, seeds the slideshow's generator with seed (the tick count), skips to a
// random entry and writes the "RandomFirstFile " trace. Leaves the listing open at entry k + 1,
// or not open.
RandomStart PickRandomStart(ImageDirectoryWalk& walk, uint32_t seed);

// The next loadable entry after the current one, wrapping once at the end of the listing; none
// after a whole pass finds nothing. The image belongs to the caller. The control is asked before
// each entry and by the loaders; when it stops the walk, the result is cut short and the walk
// stands on the entry it had not finished, which the next call tries first.
LoadResult AdvanceToNextImage(ImageDirectoryWalk& walk, const LoadControl& control);

// From the first entry of a newly opened listing.
LoadResult ScanFromFirstEntry(ImageDirectoryWalk& walk, const LoadControl& control);

// The entry the listing stands on, through its loader; none when it does not load.
LoadResult TryCurrentEntry(ImageDirectoryWalk& walk, const LoadControl& control);

void CloseListing(ImageDirectoryWalk& walk);
