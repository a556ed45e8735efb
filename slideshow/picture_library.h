// The pictures below the image directory, for the walk's two further ways: every picture at any
// depth (subfolders), and a deck that shows each picture once in random order before any repeats
// (shuffle). The tree is listed a bounded number of entries at a time, so that a show can start
// from what is listed while the listing goes on; a finished listing starts again from the top, to
// find what was added and to drop what is gone. Each picture costs its path relative to the image
// directory in one text pool, a small record, a hash slot and a place in the deck.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/directory_listing.h"
#include "platform/path_buffer.h"

enum : uint32_t { NoPicture = 0xFFFFFFFFu };

struct LibraryPicture {
    uint32_t PathOffset;  // into Paths: relative to the image directory, '\' between folders
    uint32_t LastListing;  // the listing that last found it; 0 for one only read from the deck file
    bool Gone;             // a whole listing passed without finding it
    bool Passed;           // drawn this round but did not load: not counted as shown
};

struct PictureLibrary {
    std::string ImageDir;  // ends in a backslash
    bool Subfolders;
    bool Shuffle;

    std::vector<LibraryPicture> Pictures;  // in the order first found
    std::vector<char> Paths;
    std::vector<uint32_t> Slots;  // open addressing over the paths: picture index + 1, 0 empty

    // The deck: Order[0, Drawn) drawn this round, the rest still to come. Shuffle only.
    std::vector<uint32_t> Order;
    uint32_t Drawn;
    uint32_t LastShown;  // NoPicture before the first
    uint32_t Cursor;     // listing order: the picture tried last, NoPicture before the first
    uint32_t LastTried;  // the picture whose load the walk tried last, NoPicture before the first

    // The listing under way.
    uint32_t Listing;     // its number, from 1
    bool ListedOnce;      // a whole listing has finished
    std::vector<char> FolderPaths;        // relative folder paths, each ending in '\' ("" the top)
    std::vector<uint32_t> PendingFolders;  // offsets into FolderPaths
    std::vector<DirectoryIdentity> ListedFolders;
    DirectoryListing Open;
    DirectoryEntry Entry;
    uint32_t OpenFolder;     // offset into FolderPaths
    uint32_t FirstChild;     // where the open folder's subfolders begin in PendingFolders
};

PictureLibrary* NewPictureLibrary(const char* imageDir, bool subfolders, bool shuffle);
void FreePictureLibrary(PictureLibrary* library);

// 30 random bits from the slideshow's generator, reduced to [0, count).
uint32_t RandomBelow(uint32_t count);

const char* PicturePath(const PictureLibrary& library, uint32_t picture);

// Lists up to entryBudget more entries. False once the listing under way has finished (the next
// call begins the next one).
bool ListMorePictures(PictureLibrary& library, uint32_t entryBudget);

// Pictures not known to be gone.
uint32_t LivePictureCount(const PictureLibrary& library);

// Draws the next card of the round, starting a new round when this one is through; NoPicture
// when the deck holds nothing. The first card of a round is never the picture shown last when
// there is another.
uint32_t DrawCard(PictureLibrary& library);

// Cards still to come in this round.
uint32_t CardsLeftInRound(const PictureLibrary& library);

// The deck file: the library's folder, its pictures and which of them were shown this round.
// Reading into a new library; false (and the library unchanged in meaning: empty) when the file is
// missing, damaged or made for another folder or another way.
bool ReadDeckFile(PictureLibrary& library, const char* path);
// Written as a new file beside path, then put in its place.
bool WriteDeckFile(const PictureLibrary& library, const char* path);
