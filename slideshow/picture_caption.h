// The caption of a slide: the day the picture was taken, written the Italian way, and the name of
// the folder it is kept in, as in "14 luglio 2019 - Vacanze". The day is the EXIF DateTimeOriginal
// of a JPEG or PNG file, else the day the file was last written, in local time.
#pragma once
#include <cstddef>
#include <cstdio>

#include "imaging/exif_orientation.h"
#include "platform/path_buffer.h"

// A date, a separator and a folder name of up to a whole path.
enum { CaptionTextSize = PathBufferSize + 40 };

// "14 luglio 2019": the day without a leading zero, the month's Italian name in small letters.
void WriteItalianDate(const ExifDate& date, char* text, size_t size);

// The name of the folder the file at path is in (its last folder), either separator counting;
// "" for a bare name. *length gets its length: the name is not terminated where it stands.
const char* FolderNameOf(const char* path, size_t* length);

// The date taken that the EXIF data of a JPEG file (its APP1 segments before the picture data) or
// a PNG file (its eXIf chunk) holds. The stream is read from where it stands, which must be the
// file's start; false for other files and for files without one.
bool ReadDateTaken(FILE* file, ExifDate* date);

// The caption of the file at path, opened by the platform's path text: false, and text "", when
// the file cannot be opened or has no date at all.
bool MakeCaption(const char* path, char (&text)[CaptionTextSize]);
