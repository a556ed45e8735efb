// One function per scrtool command: given the arguments after the command name, it prints its
// result and returns the process exit code (2 for a usage error).
#pragma once

#include "imaging/bmp_file.h"
#include "imaging/image_loader.h"

// scrtool load FILE [--out OUT.bmp]
int RunLoad(int argc, char** argv);
// scrtool check DIR [--subfolders]
int RunCheck(int argc, char** argv);
// scrtool walk DIR --seed S --ticks N [--subfolders] [--shuffle [--state FILE]]
int RunWalk(int argc, char** argv);

// scrtool prepare FILE WIDTH HEIGHT [--out OUT.bmp]
int RunPrepare(int argc, char** argv);

// scrtool fit IN.bmp WIDTH HEIGHT OUT.bmp
int RunFit(int argc, char** argv);
// scrtool palette IN.bmp [--fit WIDTH HEIGHT]
int RunPalette(int argc, char** argv);
// scrtool caption FILE
int RunCaption(int argc, char** argv);

// Prints "ok WIDTH HEIGHT BITS" for the picture, writes its block to outPath when one is given,
// and frees it. Returns the exit code: 1 when the file could not be written.
int ReportPicture(PackedDib image, size_t blockSize, const char* outPath);

// A decimal size in pixels, possibly negative; false for anything else.
bool ParseSize(const char* text, int32_t* value);

// Loads a file through the file-type table as the slideshow's walk would, never stopping early;
// none for an extension that no row matches.
LoadResult LoadAsTheWalkWould(const char* path, const LoadControl& control = NeverStop);
