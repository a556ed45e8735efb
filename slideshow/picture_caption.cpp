#include "slideshow/picture_caption.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imaging/byte_order.h"
#include "imaging/image_loader.h"
#include "platform/file_access.h"

namespace {

const char* const ItalianMonths[12] = {"gennaio", "febbraio", "marzo",     "aprile",  "maggio",   "giugno",
                                       "luglio",  "agosto",   "settembre", "ottobre", "novembre", "dicembre"};

// EXIF data larger than this is not a camera's: it is passed over rather than read.
const uint32_t LongestExif = 256 * 1024;
// A file with more segments or chunks before its picture data than this is passed over.
const int MostSegments = 64;

bool ReadExactly(FILE* file, unsigned char* to, size_t count) { return fread(to, 1, count, file) == count; }

// The payload (count bytes from where the stream stands), with "Exif\0\0" before it when the
// bytes are a bare TIFF structure as PNG keeps them.
bool DateFromPayload(FILE* file, uint32_t count, bool bareTiff, ExifDate* date) {
    if (count > LongestExif) return false;
    const size_t header = bareTiff ? static_cast<size_t>(ExifHeaderSize) : 0;
    unsigned char* payload = static_cast<unsigned char*>(malloc(header + count));
    if (!payload) return false;
    memcpy(payload, "Exif\0\0", header);
    const bool found = ReadExactly(file, payload + header, count) && ExifDateTaken(payload, header + count, date);
    free(payload);
    return found;
}

bool JpegDateTaken(FILE* file, ExifDate* date) {
    for (int segment = 0; segment < MostSegments; ++segment) {
        unsigned char marker[4];
        if (!ReadExactly(file, marker, 4) || marker[0] != 0xFF) return false;
        // Start of scan, end of image, or a marker without a length: no EXIF data comes after.
        if (marker[1] == 0xDA || marker[1] == 0xD9 || (marker[1] >= 0xD0 && marker[1] <= 0xD8)) return false;
        const uint32_t length = ReadBigU16(marker + 2);
        if (length < 2) return false;
        if (marker[1] == 0xE1 && length - 2 >= ExifHeaderSize) {
            uint64_t start = 0;
            if (!FilePosition(file, &start)) return false;
            if (DateFromPayload(file, length - 2, false, date)) return true;
            // Another kind of APP1 (XMP): the next segment may still hold EXIF data.
            if (!SeekFileTo(file, start + length - 2)) return false;
            continue;
        }
        if (!SeekFileBy(file, length - 2)) return false;
    }
    return false;
}

bool PngDateTaken(FILE* file, ExifDate* date) {
    for (int chunk = 0; chunk < MostSegments; ++chunk) {
        unsigned char head[8];
        if (!ReadExactly(file, head, 8)) return false;
        const uint32_t length = ReadBigU32(head);
        if (memcmp(head + 4, "IDAT", 4) == 0 || memcmp(head + 4, "IEND", 4) == 0) return false;
        if (memcmp(head + 4, "eXIf", 4) == 0) return DateFromPayload(file, length, true, date);
        if (!SeekFileBy(file, static_cast<uint64_t>(length) + 4)) return false;  // the data and its CRC
    }
    return false;
}

}  // namespace

void WriteItalianDate(const ExifDate& date, char* text, size_t size) {
    const int month = date.Month >= 1 && date.Month <= 12 ? date.Month - 1 : 0;
    snprintf(text, size, "%d %s %d", static_cast<int>(date.Day), ItalianMonths[month], static_cast<int>(date.Year));
}

const char* FolderNameOf(const char* path, size_t* length) {
    const char* end = nullptr;  // the separator before the file name
    for (const char* at = path; *at; ++at) {
        if (*at == '\\' || *at == '/') end = at;
    }
    if (!end) {
        *length = 0;
        return path + strlen(path);
    }
    const char* start = end;
    while (start > path && start[-1] != '\\' && start[-1] != '/') --start;
    *length = static_cast<size_t>(end - start);
    return start;
}

bool ReadDateTaken(FILE* file, ExifDate* date) {
    unsigned char start[8];
    if (!ReadExactly(file, start, 2)) return false;
    if (start[0] == 0xFF && start[1] == 0xD8) return JpegDateTaken(file, date);
    static const unsigned char PngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!ReadExactly(file, start + 2, 6) || memcmp(start, PngSignature, 8) != 0) return false;
    return PngDateTaken(file, date);
}

bool MakeCaption(const char* path, char (&text)[CaptionTextSize]) {
    text[0] = '\0';
    FILE* file = OpenPathForReading(path);
    if (!file) return false;
    ExifDate date = {};
    bool dated = ReadDateTaken(file, &date);
    LocalDay written;
    if (!dated && FileLastWriteDay(file, &written)) {
        date = {written.Year, written.Month, written.Day};
        dated = true;
    }
    fclose(file);
    if (!dated) return false;
    WriteItalianDate(date, text, sizeof text);
    size_t length = 0;
    const char* folder = FolderNameOf(path, &length);
    const size_t used = strlen(text);
    // A drive's root ("C:") is no folder's name.
    if (length > 0 && folder[length - 1] != ':')
        snprintf(text + used, sizeof text - used, " - %.*s", static_cast<int>(length), folder);
    return true;
}
