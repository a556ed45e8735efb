// The picture library: the tree listed step by step, the pictures kept as paths in one pool, the
// deck drawn at random from what is still to come, and the deck file.
#include "slideshow/picture_library.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/file_access.h"
#include "slideshow/file_type_table.h"
#include "slideshow/random_generator.h"

namespace {

const char SearchPattern[] = "*.*";

uint32_t HashText(const char* text) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (; *text; ++text) hash = (hash ^ static_cast<unsigned char>(*text)) * 16777619u;
    return hash;
}

uint32_t FindPicture(const PictureLibrary& library, const char* path) {
    if (library.Slots.empty()) return NoPicture;
    const uint32_t mask = static_cast<uint32_t>(library.Slots.size()) - 1;
    for (uint32_t slot = HashText(path) & mask;; slot = (slot + 1) & mask) {
        const uint32_t held = library.Slots[slot];
        if (held == 0) return NoPicture;
        if (strcmp(PicturePath(library, held - 1), path) == 0) return held - 1;
    }
}

void PlaceInSlots(PictureLibrary& library, uint32_t picture) {
    const uint32_t mask = static_cast<uint32_t>(library.Slots.size()) - 1;
    uint32_t slot = HashText(PicturePath(library, picture)) & mask;
    while (library.Slots[slot] != 0) slot = (slot + 1) & mask;
    library.Slots[slot] = picture + 1;
}

// Keeps the slots at most half full.
void MakeRoomInSlots(PictureLibrary& library) {
    if ((library.Pictures.size() + 1) * 2 <= library.Slots.size()) return;
    library.Slots.assign(library.Slots.empty() ? 1024 : library.Slots.size() * 2, 0);
    for (uint32_t picture = 0; picture < library.Pictures.size(); ++picture) PlaceInSlots(library, picture);
}

// The picture at path, added when new (it joins the round still under way); a picture found again
// after it was given up for gone comes back.
uint32_t AddPicture(PictureLibrary& library, const char* path, uint32_t listing) {
    uint32_t picture = FindPicture(library, path);
    if (picture != NoPicture) {
        LibraryPicture& known = library.Pictures[picture];
        known.LastListing = listing;
        if (known.Gone) {
            known.Gone = false;
            if (library.Shuffle) library.Order.push_back(picture);
        }
        return picture;
    }
    MakeRoomInSlots(library);
    picture = static_cast<uint32_t>(library.Pictures.size());
    const LibraryPicture added = {static_cast<uint32_t>(library.Paths.size()), listing, false, false};
    library.Paths.insert(library.Paths.end(), path, path + strlen(path) + 1);
    library.Pictures.push_back(added);
    PlaceInSlots(library, picture);
    if (library.Shuffle) library.Order.push_back(picture);
    return picture;
}

void StartListing(PictureLibrary& library) {
    library.FolderPaths.assign(1, '\0');  // the top: ""
    library.PendingFolders.assign(1, 0);
    library.ListedFolders.clear();
}

// Every picture the listing now finished did not find is gone; the next listing starts.
void FinishListing(PictureLibrary& library) {
    for (LibraryPicture& picture : library.Pictures)
        if (picture.LastListing != library.Listing) picture.Gone = true;
    ++library.Listing;
    library.ListedOnce = true;
    StartListing(library);
}

const char* FolderPath(const PictureLibrary& library, uint32_t offset) { return &library.FolderPaths[offset]; }

// Opens the next folder still to list: in the listing's own order, or at random for the deck, so
// that a listing cut short by the first picture's deadline covers folders from all over the tree.
bool OpenNextFolder(PictureLibrary& library) {
    while (!library.PendingFolders.empty()) {
        std::vector<uint32_t>& pending = library.PendingFolders;
        if (library.Shuffle) std::swap(pending[RandomBelow(static_cast<uint32_t>(pending.size()))], pending.back());
        const uint32_t folder = pending.back();
        pending.pop_back();
        // The pattern's last backslash separates the pattern; the ones before it, between the
        // folders, are the platform's separators.
        std::string directory = library.ImageDir + FolderPath(library, folder);
        directory.pop_back();
        if (folder != 0) ToPlatformTreePath(&directory[0], library.ImageDir.size() - 1);
        const std::string pattern = directory + '\\' + SearchPattern;
        if (pattern.size() >= PathBufferSize) continue;  // too long for the platform: passed over
        library.Open = OpenDirectoryListing(pattern.c_str(), &library.Entry);
        if (!library.Open) continue;
        DirectoryIdentity identity;
        if (IdentifyListedDirectory(library.Open, &identity)) {
            bool seen = false;
            for (const DirectoryIdentity& listed : library.ListedFolders)
                seen = seen || (listed.Device == identity.Device && listed.Node == identity.Node);
            if (seen) {  // reached again through a link: a loop, or a second way to the same pictures
                CloseDirectoryListing(library.Open);
                library.Open = nullptr;
                continue;
            }
            library.ListedFolders.push_back(identity);
        }
        library.OpenFolder = folder;
        library.FirstChild = static_cast<uint32_t>(pending.size());
        return true;
    }
    return false;
}

// Its subfolders were put aside in listing order; the last put aside is taken first, so they are
// turned round to be listed in the order they came.
void CloseFolder(PictureLibrary& library) {
    CloseDirectoryListing(library.Open);
    library.Open = nullptr;
    std::vector<uint32_t>& pending = library.PendingFolders;
    if (!library.Shuffle) std::reverse(pending.begin() + library.FirstChild, pending.end());
}

void TakeEntry(PictureLibrary& library) {
    const DirectoryEntry& entry = library.Entry;
    const char* name = entry.FileName;
    if (entry.NameTooLong || strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return;
    if (strchr(name, '\\')) return;  // natively a name may hold one; here it would split the name
    std::string path = FolderPath(library, library.OpenFolder);
    path += name;
    if (entry.IsDirectory) {
        if (!library.Subfolders || entry.IsHidden || entry.IsLink) return;
        path += '\\';
        library.PendingFolders.push_back(static_cast<uint32_t>(library.FolderPaths.size()));
        library.FolderPaths.insert(library.FolderPaths.end(), path.c_str(), path.c_str() + path.size() + 1);
        return;
    }
    const char* extension = strrchr(name, '.');
    if (!extension || !FindImageLoader(extension)) return;
    // A path too long for the platform is passed over, never cut.
    if (library.ImageDir.size() + path.size() >= PathBufferSize) return;
    AddPicture(library, path.c_str(), library.Listing);
}

}  // namespace

uint32_t RandomBelow(uint32_t count) {
    const uint32_t high = static_cast<uint32_t>(NextRandom());
    const uint32_t value = high << 15 | static_cast<uint32_t>(NextRandom());
    return value % count;
}

PictureLibrary* NewPictureLibrary(const char* imageDir, bool subfolders, bool shuffle) {
    PictureLibrary* library = new PictureLibrary();
    library->ImageDir = imageDir;
    library->Subfolders = subfolders;
    library->Shuffle = shuffle;
    library->Drawn = 0;
    library->LastShown = NoPicture;
    library->Cursor = NoPicture;
    library->LastTried = NoPicture;
    library->Listing = 1;
    library->ListedOnce = false;
    library->Open = nullptr;
    StartListing(*library);
    return library;
}

void FreePictureLibrary(PictureLibrary* library) {
    if (!library) return;
    CloseDirectoryListing(library->Open);
    delete library;
}

const char* PicturePath(const PictureLibrary& library, uint32_t picture) {
    return &library.Paths[library.Pictures[picture].PathOffset];
}

bool ListMorePictures(PictureLibrary& library, uint32_t entryBudget) {
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
    for (const LibraryPicture& picture : library.Pictures) count += picture.Gone ? 0 : 1;
    return count;
}

uint32_t CardsLeftInRound(const PictureLibrary& library) {
    return static_cast<uint32_t>(library.Order.size()) - library.Drawn;
}

namespace {

// A new round: every picture still there, none drawn, none passed over.
void StartRound(PictureLibrary& library) {
    std::vector<uint32_t> order;
    order.reserve(library.Order.size());
    for (uint32_t picture : library.Order) {
        if (library.Pictures[picture].Gone) continue;
        library.Pictures[picture].Passed = false;
        order.push_back(picture);
    }
    library.Order.swap(order);
    library.Drawn = 0;
}

}  // namespace

uint32_t DrawCard(PictureLibrary& library) {
    for (;;) {
        if (CardsLeftInRound(library) == 0) {
            StartRound(library);
            if (library.Order.empty()) return NoPicture;
        }
        std::vector<uint32_t>& order = library.Order;
        const uint32_t left = CardsLeftInRound(library);
        uint32_t chosen = library.Drawn + RandomBelow(left);
        if (library.Drawn == 0 && left > 1 && order[chosen] == library.LastShown) {
            // Any other card of the new round: the one shown last is left out of the draw.
            const uint32_t other = RandomBelow(left - 1);
            chosen = other < chosen ? other : other + 1;
        }
        std::swap(order[library.Drawn], order[chosen]);
        const uint32_t picture = order[library.Drawn++];
        if (!library.Pictures[picture].Gone) return picture;
    }
}

// --- the deck file ---------------------------------------------------------------------------

namespace {

const char DeckHeader[] = "ZorScreensaver deck 1\n";

// Lines with a running FNV-1a sum, so that a file cut short or changed reads as damaged.
struct SummedLines {
    FILE* File;
    uint32_t Sum;
};

void SumText(uint32_t* sum, const char* text) {
    for (; *text; ++text) *sum = (*sum ^ static_cast<unsigned char>(*text)) * 16777619u;
}

bool WriteLine(SummedLines& out, const std::string& line) {
    SumText(&out.Sum, line.c_str());
    return fwrite(line.data(), 1, line.size(), out.File) == line.size();
}

// One whole line, its newline included, or false.
bool ReadLine(SummedLines& in, std::string* line, bool summed = true) {
    char buffer[PathBufferSize * 2];
    if (!fgets(buffer, sizeof buffer, in.File)) return false;
    const size_t length = strlen(buffer);
    if (length == 0 || buffer[length - 1] != '\n') return false;
    if (summed) SumText(&in.Sum, buffer);
    line->assign(buffer, length);
    return true;
}

std::string FlagsLine(const PictureLibrary& library) {
    return std::string("folder ") + library.ImageDir + "\nsubfolders " + (library.Subfolders ? "1" : "0") + "\n";
}

// A picture path as the deck file may hold it: relative, each folder named, no way up.
bool SoundPicturePath(const std::string& path) {
    if (path.empty() || path[0] == '\\' || path.back() == '\\') return false;
    if (path.find("\\\\") != std::string::npos || path.find(':') != std::string::npos) return false;
    return path != ".." && path.compare(0, 3, "..\\") != 0 && path.find("\\..\\") == std::string::npos;
}

}  // namespace

bool ReadDeckFile(PictureLibrary& library, const char* path) {
    FILE* file = OpenPathForReading(path);
    if (!file) return false;
    SummedLines in = {file, 2166136261u};
    std::string line, expectedFlags = FlagsLine(library), flags;
    unsigned long count = 0;
    bool sound = ReadLine(in, &line) && line == DeckHeader;
    for (int i = 0; sound && i < 2; ++i) {
        sound = ReadLine(in, &line);
        flags += line;
    }
    sound = sound && flags == expectedFlags && ReadLine(in, &line) && sscanf(line.c_str(), "pictures %lu", &count) == 1;
    std::vector<uint32_t> shown, toCome;
    for (unsigned long i = 0; sound && i < count; ++i) {
        sound = ReadLine(in, &line) && line.size() > 3 && (line[0] == 's' || line[0] == 'u') && line[1] == ' ';
        if (!sound) break;
        const std::string picturePath = line.substr(2, line.size() - 3);
        sound = SoundPicturePath(picturePath) && library.ImageDir.size() + picturePath.size() < PathBufferSize &&
                FindPicture(library, picturePath.c_str()) == NoPicture;
        if (!sound) break;
        const uint32_t picture = AddPicture(library, picturePath.c_str(), 0);
        (line[0] == 's' ? shown : toCome).push_back(picture);
    }
    const uint32_t sum = in.Sum;
    unsigned long stored = 0;
    char rest = 0;
    sound = sound && ReadLine(in, &line, false) && sscanf(line.c_str(), "end %lx%c", &stored, &rest) == 2 &&
            rest == '\n' && stored == sum && fgetc(file) == EOF;
    fclose(file);
    if (!sound) return false;
    library.Order = shown;
    library.Order.insert(library.Order.end(), toCome.begin(), toCome.end());
    library.Drawn = static_cast<uint32_t>(shown.size());
    // The shown ones stand in the order they were drawn: the last is the one shown last.
    if (!shown.empty()) library.LastShown = shown.back();
    return true;
}

bool WriteDeckFile(const PictureLibrary& library, const char* path) {
    const std::string newPath = std::string(path) + ".new";
    FILE* file = OpenPathForWriting(newPath.c_str());
    if (!file) return false;
    SummedLines out = {file, 2166136261u};
    bool written = WriteLine(out, DeckHeader) && WriteLine(out, FlagsLine(library));
    uint32_t live = 0;
    for (uint32_t picture : library.Order) live += library.Pictures[picture].Gone ? 0 : 1;
    written = written && WriteLine(out, "pictures " + std::to_string(live) + "\n");
    for (uint32_t place = 0; written && place < library.Order.size(); ++place) {
        const LibraryPicture& picture = library.Pictures[library.Order[place]];
        if (picture.Gone) continue;
        const bool shown = place < library.Drawn && !picture.Passed;
        written = WriteLine(out, std::string(shown ? "s " : "u ") + PicturePath(library, library.Order[place]) + "\n");
    }
    char end[32];
    snprintf(end, sizeof end, "end %08lx\n", static_cast<unsigned long>(out.Sum));
    written = written && fputs(end, file) >= 0;
    written = fclose(file) == 0 && written;
    if (written && ReplaceWithNewFile(newPath.c_str(), path)) return true;
    RemovePath(newPath.c_str());
    return false;
}
