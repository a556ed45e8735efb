// The walk through the image directory: the listing in the platform's order, one loadable entry
// per call, a random start and a wrap from the last entry to the first. Nothing is cached: the
// walk keeps an open listing and its current entry and loads one image when asked.
//
// Two further ways, each off unless set (SetWalkWays): Subfolders takes every picture below the
// directory, in the tree's listing order from a random start; Shuffle deals them as a deck, every
// picture once in random order before any repeats, kept from one run to the next in a deck file.
// Either way the walk holds a picture library (picture_library.h) instead of an open listing.
#pragma once
#include <cstdint>

#include "imaging/image_loader.h"
#include "platform/directory_listing.h"
#include "platform/path_buffer.h"

struct PictureLibrary;

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

    bool Subfolders;
    bool Shuffle;
    char StatePath[PathBufferSize];  // the deck file; "" keeps the deck for this run only
    PictureLibrary* Library;         // owned; made at the first start with either way on
};

// The further ways and the deck file, in force from the next PickRandomStart. A library made for
// other settings is given up then (its deck written first).
void SetWalkWays(ImageDirectoryWalk& walk, bool subfolders, bool shuffle, const char* statePath);

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
// With the further ways: keeps the library made for the same settings, else reads the deck file
// or lists the tree for at most StartListingMs (what is listed by then is what the first picture
// is drawn from: all of it for any but a very large tree); Count is the pictures known, Skip the
// random start in listing order (0 for the deck). The listing goes on in the later steps.
RandomStart PickRandomStart(ImageDirectoryWalk& walk, uint32_t seed);

// The next loadable entry after the current one, wrapping once at the end of the listing; none
// after a whole pass finds nothing. The image belongs to the caller. The control is asked before
// each entry and by the loaders; when it stops the walk, the result is cut short and the walk
// stands on the entry it had not finished, which the next call tries first.
// With the further ways: lists up to StepListingEntries more of the tree first (less when the
// control says stop), then takes the next
// picture of the listing order or the deck; a picture that does not load is passed over and not
// counted as shown. None after the listing order has wrapped once, or the deck has started a new
// round once, without a picture.
LoadResult AdvanceToNextImage(ImageDirectoryWalk& walk, const LoadControl& control);

enum {
    StartListingMs = 400,       // the longest a fresh start lists before the first draw
    StepListingEntries = 4096,  // the most each later step lists of the tree
};

// Lists StepListingEntries more of the tree, for a caller with time to spare between pictures;
// false without a library or once a whole listing has just finished.
bool ListMoreOfLibrary(ImageDirectoryWalk& walk);

// Writes the deck to its file (with Shuffle and a deck file), as it stands; false when it could
// not be written, the old file then left as it was.
bool SaveDeck(const ImageDirectoryWalk& walk);

// The walk's end: the deck written to its file, the listings closed, the library freed.
void EndWalk(ImageDirectoryWalk& walk);
