// The outcomes a loader can give.
#include "imaging/image_loader.h"

#include <cctype>
#include <cstdint>
#include <cstdio>

#include <sys/types.h>

#include "platform/file_access.h"

LoadResult LoadedImage(PackedDib image, size_t blockSize) {
    LoadResult result = {};
    result.Image = image;
    result.BlockSize = blockSize;
    result.Orientation = 1;
    return result;
}

LoadResult NoImage(LoadFailure failure, const char* decoderMessage) {
    LoadResult result = {};
    result.Failure = failure;
    const bool ownWords = failure == LoadFailure::Decoder && decoderMessage;
    snprintf(result.Reason, sizeof result.Reason, "%s", ownWords ? decoderMessage : LoadFailureText(failure));
    result.Orientation = 1;
    return result;
}

LoadResult CutShortLoad() {
    LoadResult result = NoImage(LoadFailure::CutShort);
    result.CutShort = true;
    return result;
}

LoadResult LoadFromFile(const char* path, const LoadControl& control, FileReader read) {
    FILE* file = OpenPathForReading(path);
    if (!file) return NoImage(LoadFailure::CannotOpen);
    LoadResult result = read(file, control);
    fclose(file);
    return result;
}

// The Windows run time's fpos_t is the 64-bit offset itself, and fgetpos and fsetpos are in every
// msvcrt.dll since Windows 95, unlike _fseeki64; elsewhere off_t is 64 bits wide.
bool FilePosition(FILE* file, uint64_t* position) {
#ifdef _WIN32
    fpos_t at;
    if (fgetpos(file, &at) != 0 || at < 0) return false;
    *position = static_cast<uint64_t>(at);
#else
    const off_t at = ftello(file);
    if (at < 0) return false;
    *position = static_cast<uint64_t>(at);
#endif
    return true;
}

bool SeekFileTo(FILE* file, uint64_t position) {
    if (position > static_cast<uint64_t>(INT64_MAX)) return false;
#ifdef _WIN32
    const fpos_t at = static_cast<fpos_t>(position);
    return fsetpos(file, &at) == 0;
#else
    return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
#endif
}

bool SeekFileBy(FILE* file, uint64_t forward) {
    uint64_t at = 0;
    return FilePosition(file, &at) && at + forward >= at && SeekFileTo(file, at + forward);
}

uint64_t FileLength(FILE* file) {
    uint64_t end = 0;
    if (fseek(file, 0, SEEK_END) != 0 || !FilePosition(file, &end)) return 0;
    if (fseek(file, 0, SEEK_SET) != 0) return 0;
    return end;
}

void LowerFirstLetter(char* reason) {
    if (reason[0] && islower(static_cast<unsigned char>(reason[1]))) {
        reason[0] = static_cast<char>(tolower(static_cast<unsigned char>(reason[0])));
    }
}
