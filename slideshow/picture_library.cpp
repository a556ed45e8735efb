// The picture library: the tree listed step by step, the pictures kept as paths in one pool, the
// deck drawn at random from what is still to come, and the deck file. Plain heap blocks only: a
// failed allocation leaves a picture out, and nothing here throws.
#include "slideshow/picture_library.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/debug_output.h"
#include "platform/file_access.h"
#include "slideshow/file_type_table.h"
#include "slideshow/random_generator.h"

namespace {

const char SearchPattern[] = "*.*";
const uint32_t FirstSum = 2166136261u;

// FNV-1a, for the path slots and the deck file's sum.
void SumText(uint32_t* sum, const char* text) {
    for (; *text; ++text) *sum = (*sum ^ static_cast<unsigned char>(*text)) * 16777619u;
}

uint32_t HashText(const char* text) {
    uint32_t hash = FirstSum;
    SumText(&hash, text);
    return hash;
}

uint32_t FindPicture(const PictureLibrary& library, const char* path) {
    if (library.Slots.Count == 0) return NoPicture;
    const uint32_t mask = library.Slots.Count - 1;
    for (uint32_t slot = HashText(path) & mask;; slot = (slot + 1) & mask) {
        const uint32_t held = library.Slots.Items[slot];
        if (held == 0) return NoPicture;
        if (strcmp(PicturePath(library, held - 1), path) == 0) return held - 1;
    }
}

void PlaceInSlots(PictureLibrary& library, uint32_t picture) {
    const uint32_t mask = library.Slots.Count - 1;
    uint32_t slot = HashText(PicturePath(library, picture)) & mask;
    while (library.Slots.Items[slot] != 0) slot = (slot + 1) & mask;
    library.Slots.Items[slot] = picture + 1;
}

// Keeps the slots at most half full, a power of two of them.
bool MakeRoomInSlots(PictureLibrary& library) {
    if ((library.Pictures.Count + 1) * 2 <= library.Slots.Count) return true;
    const uint32_t count = library.Slots.Count ? library.Slots.Count * 2 : 1024;
    uint32_t* slots = static_cast<uint32_t*>(calloc(count, sizeof(uint32_t)));
    if (!slots) return false;
    free(library.Slots.Items);
    library.Slots = PlainArray<uint32_t>{slots, count, count};
    for (uint32_t picture = 0; picture < library.Pictures.Count; ++picture) PlaceInSlots(library, picture);
    return true;
}

// The picture at path, added when new (it joins the round still under way); a picture found again
// after it was given up for gone comes back. NoPicture without memory for it.
uint32_t AddPicture(PictureLibrary& library, const char* path, uint32_t listing) {
    uint32_t picture = FindPicture(library, path);
    if (picture != NoPicture) {
        LibraryPicture& known = library.Pictures.Items[picture];
        known.LastListing = listing;
        if (known.Gone && (!library.Shuffle || AppendItem(library.Order, picture))) known.Gone = false;
        return picture;
    }
    picture = library.Pictures.Count;
    const LibraryPicture added = {library.Paths.Count, listing, false, false};
    const uint32_t length = static_cast<uint32_t>(strlen(path)) + 1;
    if (!MakeRoomInSlots(library) || (library.Shuffle && !AppendItem(library.Order, picture))) return NoPicture;
    if (!AppendItems(library.Paths, path, length)) {
        library.Order.Count -= library.Shuffle ? 1 : 0;
        return NoPicture;
    }
    if (!AppendItem(library.Pictures, added)) {
        library.Order.Count -= library.Shuffle ? 1 : 0;
        library.Paths.Count -= length;
        return NoPicture;
    }
    PlaceInSlots(library, picture);
    return picture;
}

bool AddFolder(PictureLibrary& library, const char* path) {
    const uint32_t offset = library.FolderPaths.Count;
    if (!AppendItem(library.PendingFolders, offset)) return false;
    if (AppendItems(library.FolderPaths, path, static_cast<uint32_t>(strlen(path)) + 1)) return true;
    --library.PendingFolders.Count;
    return false;
}

void StartListing(PictureLibrary& library) {
    library.FolderPaths.Count = 0;
    library.PendingFolders.Count = 0;
    library.ListedFolders.Count = 0;
    AddFolder(library, "");  // the top
}

// Every picture the listing now finished did not find is gone; the next listing starts.
void FinishListing(PictureLibrary& library) {
    for (uint32_t i = 0; i < library.Pictures.Count; ++i) {
        LibraryPicture& picture = library.Pictures.Items[i];
        if (picture.LastListing != library.Listing) picture.Gone = true;
    }
    ++library.Listing;
    library.ListedOnce = true;
    // A folder out of reach is tried again at once: the caller paces that itself.
    library.Resting = !library.TopUnlisted;
    library.FinishedAt = TickCount();
    StartListing(library);
}

const char* FolderPath(const PictureLibrary& library, uint32_t offset) { return library.FolderPaths.Items + offset; }

// Whether a listing already went through this folder, reached now by a link; remembered if not.
bool ListedBefore(PictureLibrary& library) {
    DirectoryIdentity identity;
    if (!IdentifyListedDirectory(library.Open, &identity)) return false;
    for (uint32_t i = 0; i < library.ListedFolders.Count; ++i) {
        const DirectoryIdentity& listed = library.ListedFolders.Items[i];
        if (listed.Device == identity.Device && listed.Node == identity.Node) return true;
    }
    AppendItem(library.ListedFolders, identity);
    return false;
}

// Opens the next folder still to list: in the listing's own order, or at random for the deck, so
// that a listing cut short by the first picture's deadline covers folders from all over the tree.
bool OpenNextFolder(PictureLibrary& library) {
    PlainArray<uint32_t>& pending = library.PendingFolders;
    while (pending.Count > 0) {
        if (library.Shuffle) std::swap(pending.Items[RandomBelow(pending.Count)], pending.Items[pending.Count - 1]);
        const uint32_t folder = pending.Items[--pending.Count];
        // The pattern's last backslash separates the pattern; the ones before it, between the
        // folders, are the platform's separators.
        const char* relative = FolderPath(library, folder);
        char pattern[PathBufferSize];
        const size_t relativeLength = strlen(relative);
        if (library.ImageDirLength + relativeLength + sizeof SearchPattern > sizeof pattern) continue;
        memcpy(pattern, library.ImageDir, library.ImageDirLength);
        memcpy(pattern + library.ImageDirLength, relative, relativeLength);
        const size_t separator = library.ImageDirLength + relativeLength - 1;
        pattern[separator] = '\0';
        if (relativeLength > 0) ToPlatformTreePath(pattern, library.ImageDirLength - 1);
        pattern[separator] = '\\';
        memcpy(pattern + separator + 1, SearchPattern, sizeof SearchPattern);
        library.Open = OpenDirectoryListing(pattern, &library.Entry);
        if (folder == 0) library.TopUnlisted = library.Open == nullptr;
        if (!library.Open) continue;
        if (ListedBefore(library)) {  // a loop, or a second way to the same pictures
            CloseDirectoryListing(library.Open);
            library.Open = nullptr;
            continue;
        }
        library.OpenFolder = folder;
        library.FirstChild = pending.Count;
        return true;
    }
    return false;
}

// Its subfolders were put aside in listing order; the last put aside is taken first, so they are
// turned round to be listed in the order they came.
void CloseFolder(PictureLibrary& library) {
    CloseDirectoryListing(library.Open);
    library.Open = nullptr;
    PlainArray<uint32_t>& pending = library.PendingFolders;
    if (!library.Shuffle) std::reverse(pending.Items + library.FirstChild, pending.Items + pending.Count);
}

void TakeEntry(PictureLibrary& library) {
    const DirectoryEntry& entry = library.Entry;
    const char* name = entry.FileName;
    if (entry.NameTooLong || strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return;
    if (strchr(name, '\\')) return;  // natively a name may hold one; here it would split the name
    const char* folder = FolderPath(library, library.OpenFolder);
    const size_t folderLength = strlen(folder), nameLength = strlen(name);
    // A path too long for the platform is passed over, never cut.
    char path[PathBufferSize];
    if (library.ImageDirLength + folderLength + nameLength + 1 >= sizeof path) return;
    memcpy(path, folder, folderLength);
    memcpy(path + folderLength, name, nameLength + 1);
    if (entry.IsDirectory) {
        if (!library.Subfolders || entry.IsHidden || entry.IsLink) return;
        strcat(path, "\\");
        AddFolder(library, path);
        return;
    }
    const char* extension = strrchr(name, '.');
    if (extension && FindImageLoader(extension)) AddPicture(library, path, library.Listing);
}

}  // namespace

uint32_t RandomBelow(uint32_t count) {
    const uint32_t high = static_cast<uint32_t>(NextRandom());
    const uint32_t value = high << 15 | static_cast<uint32_t>(NextRandom());
    return value % count;
}

PictureLibrary* NewPictureLibrary(const char* imageDir, bool subfolders, bool shuffle) {
    PictureLibrary* library = static_cast<PictureLibrary*>(calloc(1, sizeof(PictureLibrary)));
    if (!library) return nullptr;
    const size_t length = strnlen(imageDir, sizeof library->ImageDir - 1);
    memcpy(library->ImageDir, imageDir, length);
    library->ImageDirLength = static_cast<uint32_t>(length);
    library->Subfolders = subfolders;
    library->Shuffle = shuffle;
    library->LastShown = NoPicture;
    library->Cursor = NoPicture;
    library->LastTried = NoPicture;
    library->Listing = 1;
    StartListing(*library);
    return library;
}

void FreePictureLibrary(PictureLibrary* library) {
    if (!library) return;
    CloseDirectoryListing(library->Open);
    ReleaseItems(library->Pictures);
    ReleaseItems(library->Paths);
    ReleaseItems(library->Slots);
    ReleaseItems(library->Order);
    ReleaseItems(library->FolderPaths);
    ReleaseItems(library->PendingFolders);
    ReleaseItems(library->ListedFolders);
    free(library);
}

const char* PicturePath(const PictureLibrary& library, uint32_t picture) {
    return library.Paths.Items + library.Pictures.Items[picture].PathOffset;
}

bool ListMorePictures(PictureLibrary& library, uint32_t entryBudget) {
    if (library.Resting && TickCount() - library.FinishedAt < RelistPauseMs) return false;
    library.Resting = false;
    for (uint32_t taken = 0; taken < entryBudget; ++taken) {
        if (!library.Open) {
            if (!OpenNextFolder(library)) {
                FinishListing(library);
                return false;
            }
        } else if (!NextDirectoryEntry(library.Open, &library.Entry)) {
            CloseFolder(library);
            continue;
        }
        TakeEntry(library);
    }
    return true;
}

uint32_t LivePictureCount(const PictureLibrary& library) {
    uint32_t count = 0;
    for (uint32_t i = 0; i < library.Pictures.Count; ++i) count += library.Pictures.Items[i].Gone ? 0 : 1;
    return count;
}

uint32_t CardsLeftInRound(const PictureLibrary& library) { return library.Order.Count - library.Drawn; }

namespace {

// A new round: every picture still there, none drawn, none passed over.
void StartRound(PictureLibrary& library) {
    uint32_t kept = 0;
    for (uint32_t i = 0; i < library.Order.Count; ++i) {
        const uint32_t picture = library.Order.Items[i];
        if (library.Pictures.Items[picture].Gone) continue;
        library.Pictures.Items[picture].Passed = false;
        library.Order.Items[kept++] = picture;
    }
    library.Order.Count = kept;
    library.Drawn = 0;
}

}  // namespace

uint32_t DrawCard(PictureLibrary& library) {
    for (;;) {
        if (CardsLeftInRound(library) == 0) {
            StartRound(library);
            if (library.Order.Count == 0) return NoPicture;
        }
        uint32_t* order = library.Order.Items;
        const uint32_t left = CardsLeftInRound(library);
        uint32_t chosen = library.Drawn + RandomBelow(left);
        if (library.Drawn == 0 && left > 1 && order[chosen] == library.LastShown) {
            // Any other card of the new round: the one shown last is left out of the draw.
            const uint32_t other = RandomBelow(left - 1);
            chosen = other < chosen ? other : other + 1;
        }
        std::swap(order[library.Drawn], order[chosen]);
        const uint32_t picture = order[library.Drawn++];
        if (!library.Pictures.Items[picture].Gone) return picture;
    }
}

// --- the deck file ---------------------------------------------------------------------------
//
//   ZorScreensaver deck 1
//   folder IMAGEDIR
//   subfolders 0|1
//   pictures N
//   s PATH or u PATH, N lines: shown this round (in the order drawn) or still to come
//   end SUM        the FNV-1a sum of every line before it, in hexadecimal

namespace {

const char DeckHeader[] = "ZorScreensaver deck 1\n";
enum { DeckLineSize = PathBufferSize + 32 };

struct SummedLines {
    FILE* File;
    uint32_t Sum;
};

bool WriteLine(SummedLines& out, const char* line) {
    SumText(&out.Sum, line);
    return fputs(line, out.File) >= 0;
}

// One whole line, its newline included, or false.
bool ReadLine(SummedLines& in, char (&line)[DeckLineSize], bool summed = true) {
    if (!fgets(line, sizeof line, in.File)) return false;
    const size_t length = strlen(line);
    if (length == 0 || line[length - 1] != '\n') return false;
    if (summed) SumText(&in.Sum, line);
    return true;
}

void FolderLine(const PictureLibrary& library, char (&line)[DeckLineSize]) {
    snprintf(line, sizeof line, "folder %s\n", library.ImageDir);
}

void SubfoldersLine(const PictureLibrary& library, char (&line)[DeckLineSize]) {
    snprintf(line, sizeof line, "subfolders %d\n", library.Subfolders ? 1 : 0);
}

// A picture path as the deck file may hold it: relative, each folder named, no way up, a
// picture's extension, and short enough for the platform.
bool SoundPicturePath(const PictureLibrary& library, const char* path) {
    const size_t length = strlen(path);
    if (length == 0 || path[0] == '\\' || path[length - 1] == '\\' || strstr(path, "\\\\") || strchr(path, ':') ||
        strchr(path, '/'))
        return false;
    const char* extension = strrchr(path, '.');
    if (!extension || !FindImageLoader(extension)) return false;
    if (strcmp(path, "..") == 0 || strncmp(path, "..\\", 3) == 0 || strstr(path, "\\..\\")) return false;
    return library.ImageDirLength + length < PathBufferSize && FindPicture(library, path) == NoPicture;
}

bool ReadDeckLines(PictureLibrary& library, SummedLines& in) {
    char line[DeckLineSize], expected[DeckLineSize];
    if (!ReadLine(in, line) || strcmp(line, DeckHeader) != 0) return false;
    FolderLine(library, expected);
    if (!ReadLine(in, line) || strcmp(line, expected) != 0) return false;
    SubfoldersLine(library, expected);
    if (!ReadLine(in, line) || strcmp(line, expected) != 0) return false;
    unsigned long count = 0;
    char rest = 0;
    if (!ReadLine(in, line) || sscanf(line, "pictures %lu%c", &count, &rest) != 2 || rest != '\n') return false;
    // The shown ones first, in the order drawn; the order of those to come does not matter.
    bool toCome = false;
    for (unsigned long i = 0; i < count; ++i) {
        if (!ReadLine(in, line) || (line[0] != 's' && line[0] != 'u') || line[1] != ' ') return false;
        line[strlen(line) - 1] = '\0';
        if (!SoundPicturePath(library, line + 2)) return false;
        const uint32_t picture = AddPicture(library, line + 2, 0);
        if (picture == NoPicture) return false;
        if (line[0] == 'u') toCome = true;
        if (line[0] == 's' && toCome) return false;
        if (line[0] == 's') {
            ++library.Drawn;
            library.LastShown = picture;
        }
    }
    const uint32_t sum = in.Sum;
    unsigned long stored = 0;
    return ReadLine(in, line, false) && sscanf(line, "end %lx%c", &stored, &rest) == 2 && rest == '\n' &&
           stored == sum && fgetc(in.File) == EOF;
}

}  // namespace

bool ReadDeckFile(PictureLibrary& library, const char* path) {
    FILE* file = OpenPathForReading(path);
    if (!file) return false;
    SummedLines in = {file, FirstSum};
    const bool sound = ReadDeckLines(library, in);
    fclose(file);
    return sound;
}

bool WriteDeckFile(const PictureLibrary& library, const char* path) {
    char newPath[PathBufferSize];
    if (snprintf(newPath, sizeof newPath, "%s.new", path) >= static_cast<int>(sizeof newPath)) return false;
    FILE* file = OpenPathForWriting(newPath);
    if (!file) return false;
    SummedLines out = {file, FirstSum};
    char line[DeckLineSize];
    bool written = WriteLine(out, DeckHeader);
    FolderLine(library, line);
    written = written && WriteLine(out, line);
    SubfoldersLine(library, line);
    written = written && WriteLine(out, line);
    uint32_t live = 0;
    for (uint32_t place = 0; place < library.Order.Count; ++place)
        live += library.Pictures.Items[library.Order.Items[place]].Gone ? 0 : 1;
    snprintf(line, sizeof line, "pictures %lu\n", static_cast<unsigned long>(live));
    written = written && WriteLine(out, line);
    // Shown ones first, so that a picture drawn but passed over goes with those to come.
    for (int shownPass = 1; shownPass >= 0; --shownPass) {
        for (uint32_t place = 0; written && place < library.Order.Count; ++place) {
            const uint32_t picture = library.Order.Items[place];
            const LibraryPicture& record = library.Pictures.Items[picture];
            const bool shown = place < library.Drawn && !record.Passed;
            if (record.Gone || shown != (shownPass == 1)) continue;
            snprintf(line, sizeof line, "%c %s\n", shown ? 's' : 'u', PicturePath(library, picture));
            written = WriteLine(out, line);
        }
    }
    snprintf(line, sizeof line, "end %08lx\n", static_cast<unsigned long>(out.Sum));
    written = written && fputs(line, file) >= 0;
    written = fclose(file) == 0 && written;
    if (written && ReplaceWithNewFile(newPath, path)) return true;
    RemovePath(newPath);
    return false;
}
