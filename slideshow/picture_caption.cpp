#include "slideshow/picture_caption.h"

#include <cstdio>
#include <cstring>

#include "platform/file_access.h"

namespace {

const char* const ItalianMonths[12] = {"gennaio", "febbraio", "marzo",     "aprile",  "maggio",   "giugno",
                                       "luglio",  "agosto",   "settembre", "ottobre", "novembre", "dicembre"};

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

bool MakeCaption(const char* path, const ExifDate& taken, char (&text)[CaptionTextSize]) {
    text[0] = '\0';
    ExifDate date = taken;
    if (date.Year == 0) {
        FILE* file = OpenPathForReading(path);
        if (!file) return false;
        LocalDay written;
        const bool dated = FileLastWriteDay(file, &written);
        fclose(file);
        if (!dated) return false;
        date = {written.Year, written.Month, written.Day};
    }
    WriteItalianDate(date, text, sizeof text);
    size_t length = 0;
    const char* folder = FolderNameOf(path, &length);
    const size_t used = strlen(text);
    // A drive's root ("C:") is no folder's name.
    if (length > 0 && folder[length - 1] != ':')
        snprintf(text + used, sizeof text - used, " - %.*s", static_cast<int>(length), folder);
    return true;
}
