// The EXIF orientation of a JPEG's APP1 segment: how the camera held the picture, so that it can
// be turned to stand upright; and the day it was taken, for the caption. Only the first image
// directory and the EXIF directory it names are read, with every offset checked against the
// segment, so hostile bytes give 1 (or no date) and never a read outside them.
#pragma once
#include <cstddef>
#include <cstdint>

// Whether an APP1 payload is EXIF data: it starts with "Exif\0\0".
enum : size_t { ExifHeaderSize = 6 };
bool StartsWithExifHeader(const unsigned char* app1, size_t length);

// The orientation (2 to 8) that the first image directory of an APP1 payload names, given the
// bytes after the segment's length field ("Exif\0\0" and the TIFF structure). 1 (as stored) for
// anything else: another kind of APP1, a damaged structure, or a value outside 2 to 8.
uint8_t ExifOrientation(const unsigned char* app1, size_t length);

// The calendar day of DateTimeOriginal, as the camera's clock had it (no time zone is stored).
struct ExifDate {
    int32_t Year;
    int32_t Month;  // 1 to 12
    int32_t Day;    // 1 to 31
};

// The day the picture was taken, from the EXIF directory that the first image directory points
// to; false when there is none, or its text is not a date ("0000:00:00 ...", blanks).
bool ExifDateTaken(const unsigned char* app1, size_t length, ExifDate* date);
