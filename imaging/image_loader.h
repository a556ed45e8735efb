// The loader signature shared by the file-type table: a NUL-terminated path and a keep-going
// question in, one LoadResult out. Loaders show no message.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "imaging/exif_orientation.h"
#include "imaging/load_failure.h"
#include "imaging/packed_dib.h"
#include "imaging/row_sink.h"

// Asked by a loader between pieces of its work; false cuts the load short. The full-screen saver
// answers false while input that would close it waits, so a slow picture never delays the close.
struct LoadControl {
    bool (*KeepGoing)(void* context);  // nullptr: never stop
    void* Context;
    // Where the loaders that can stream their rows send them to be reduced as they come; nullptr:
    // every picture loads whole.
    RowSink* Sink;
};

// The control of loads nobody waits on: the logo, the preview, the tools.
constexpr LoadControl NeverStop = {nullptr, nullptr, nullptr};

inline bool LoadMayGoOn(const LoadControl& control) {
    return control.KeepGoing == nullptr || control.KeepGoing(control.Context);
}

enum { LoadReasonSize = 200 };  // libjpeg's longest formatted message

struct LoadResult {
    PackedDib Image;  // owned by the caller; nullptr when the file gives no picture
    // Nothing wrong with the file: the control asked to stop. The picture may be tried again.
    bool CutShort;
    LoadFailure Failure;          // None with a picture
    char Reason[LoadReasonSize];  // the failure's words, or the decoding library's message; "" with a picture
    // How the picture is to be turned to stand upright, as an EXIF orientation: 1 as stored,
    // 2 to 8 mirrored and turned. The loader leaves the pixels as stored.
    uint8_t Orientation;
    // The day the picture was taken, from the EXIF data that also gives the orientation (JPEG and
    // PNG); Year 0: none.
    ExifDate Taken;
    // Bytes of the block: a BMP block may carry more than its header describes (a gap, an embedded
    // colour profile), and tools that write the block out need all of it.
    size_t BlockSize;
};

LoadResult LoadedImage(PackedDib image, size_t blockSize);
// decoderMessage: the decoding library's own words, the reason when failure is Decoder.
LoadResult NoImage(LoadFailure failure, const char* decoderMessage = nullptr);
LoadResult CutShortLoad();

// Reasons are lower case, but a library's message that opens with an acronym ("JPEG datastream
// ...", "IHDR: CRC error") keeps its capitals: only a capital before a small letter is lowered.
void LowerFirstLetter(char* reason);

typedef LoadResult (*ImageLoader)(const char* path, const LoadControl& control);

// What a file loader does with the file once it is open: the stream stands at its start.
typedef LoadResult (*FileReader)(FILE* file, const LoadControl& control);

// Opens the file for reading as raw bytes, has read make the picture of it, and closes it on
// every path; a file that cannot be opened gives none.
LoadResult LoadFromFile(const char* path, const LoadControl& control, FileReader read);

// The file's length in bytes, 0 when it cannot be learnt. Leaves the stream at its start.
uint64_t FileLength(FILE* file);

// Positions in 64 bits, so that files of 2 GiB and more read right in every build (the 32-bit
// ftell of the Windows run time cannot say where they end). False when the stream cannot.
bool FilePosition(FILE* file, uint64_t* position);
bool SeekFileTo(FILE* file, uint64_t position);
bool SeekFileBy(FILE* file, uint64_t forward);
