// The caption of a slide: the day the picture was taken, written the Italian way, and the name of
// the folder it is kept in, as in "14 luglio 2019 - Vacanze". The day is the EXIF DateTimeOriginal
// the JPEG and PNG loaders read, else the day the file was last written, in local time.
#pragma once
#include <cstddef>

#include "imaging/exif_orientation.h"
#include "platform/path_buffer.h"

// A date, a separator and a folder name of up to a whole path.
enum { CaptionTextSize = PathBufferSize + 40 };

// "14 luglio 2019": the day without a leading zero, the month's Italian name in small letters.
void WriteItalianDate(const ExifDate& date, char* text, size_t size);

// The name of the folder the file at path is in (its last folder), either separator counting;
// "" for a bare name. *length gets its length: the name is not terminated where it stands.
const char* FolderNameOf(const char* path, size_t* length);

// The caption of the file at path: taken, the day its loader read from the picture's EXIF data,
// else (Year 0) the day the file was last written, opened by the platform's path text. False, and
// text "", when there is no date at all.
bool MakeCaption(const char* path, const ExifDate& taken, char (&text)[CaptionTextSize]);
