// The EXIF orientation of a JPEG's APP1 segment: how the camera held the picture, so that it can
// be turned to stand upright. Only the first image directory is read, with every offset checked
// against the segment, so hostile bytes give 1 and never a read outside them.
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
