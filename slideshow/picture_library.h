// The pictures below the image directory, for the walk's two further ways: every picture at any
// depth (subfolders), and a deck that shows each picture once in random order before any repeats
// (shuffle). The tree is listed a bounded number of entries at a time, so that a show can start
// from what is listed while the listing goes on; a finished listing starts again from the top
// after a rest, to find what was added and to drop what is gone. Each picture costs its path
// relative to the image directory in one text pool, a small record, a hash slot and a place in
// the deck.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/directory_listing.h"
#include "platform/path_buffer.h"

enum : uint32_t {
    NoPicture = 0xFFFFFFFFu,
    RelistPauseMs = 10 * 60 * 1000,  // how soon pictures added to the tree are found
};

// A growing array of plain records in one heap block. A growth that finds no memory is a result:
// the caller goes on without the item (a picture not kept is one not shown, never a crash).
template <typename T>
struct PlainArray {
    T* Items;
    uint32_t Count;
    uint32_t Capacity;
};

template <typename T>
bool AppendItems(PlainArray<T>& array, const T* items, uint32_t count) {
    if (count > UINT32_MAX / 2 - array.Count) return false;
    if (array.Count + count > array.Capacity) {
        uint32_t capacity = array.Capacity ? array.Capacity : 256;
        while (capacity < array.Count + count) capacity *= 2;
        T* grown = static_cast<T*>(realloc(array.Items, sizeof(T) * capacity));
        if (!grown) return false;
        array.Items = grown;
        array.Capacity = capacity;
    }
    memcpy(array.Items + array.Count, items, sizeof(T) * count);
    array.Count += count;
    return true;
}

template <typename T>
bool AppendItem(PlainArray<T>& array, const T& item) {
    return AppendItems(array, &item, 1);
}

template <typename T>
void ReleaseItems(PlainArray<T>& array) {
    free(array.Items);
    array = PlainArray<T>{nullptr, 0, 0};
}

struct LibraryPicture {
    uint32_t PathOffset;   // into Paths: relative to the image directory, '\' between folders
    uint32_t LastListing;  // the listing that last found it; 0 for one only read from the deck file
    bool Gone;             // a whole listing passed without finding it
    bool Passed;           // drawn this round but did not load: not counted as shown
};

struct PictureLibrary {
    char ImageDir[PathBufferSize + 1];  // ends in a backslash
    uint32_t ImageDirLength;
    bool Subfolders;
    bool Shuffle;

    PlainArray<LibraryPicture> Pictures;  // in the order first found
    PlainArray<char> Paths;
    PlainArray<uint32_t> Slots;  // open addressing over the paths: picture index + 1, 0 empty

    // The deck: Order[0, Drawn) drawn this round (in the order drawn), the rest still to come.
    // Shuffle only.
    PlainArray<uint32_t> Order;
    uint32_t Drawn;
    uint32_t LastShown;  // NoPicture before the first
    uint32_t Cursor;     // listing order: the picture tried last, NoPicture before the first
    uint32_t LastTried;  // the picture whose load the walk tried last, NoPicture before the first

    // The listing under way.
    uint32_t Listing;  // its number, from 1
    bool ListedOnce;   // a whole listing has finished
    bool TopUnlisted;  // the image directory itself could not be listed the last time it was tried
    // A finished listing rests RelistPauseMs before the next one begins, so a large tree is not
    // read over and over while nothing changes.
    bool Resting;
    uint32_t FinishedAt;                  // tick count
    PlainArray<char> FolderPaths;         // relative folder paths, each ending in '\' ("" the top)
    PlainArray<uint32_t> PendingFolders;  // offsets into FolderPaths
    PlainArray<DirectoryIdentity> ListedFolders;
    DirectoryListing Open;
    DirectoryEntry Entry;
    uint32_t OpenFolder;  // offset into FolderPaths
    uint32_t FirstChild;  // where the open folder's subfolders begin in PendingFolders
};

// nullptr without memory for it.
PictureLibrary* NewPictureLibrary(const char* imageDir, bool subfolders, bool shuffle);
void FreePictureLibrary(PictureLibrary* library);

// 30 random bits from the slideshow's generator, reduced to [0, count).
uint32_t RandomBelow(uint32_t count);

const char* PicturePath(const PictureLibrary& library, uint32_t picture);

// Lists up to entryBudget more entries. False once the listing under way has finished, and while
// the finished one rests; the next listing begins after that.
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
// Read into a new library; false when the file is missing, damaged or made for another folder or
// another way, and the library must then be given up.
bool ReadDeckFile(PictureLibrary& library, const char* path);
// Written as a new file beside path, then put in its place.
bool WriteDeckFile(const PictureLibrary& library, const char* path);
