// One function per scrtool command: given the arguments after the command name, it prints its
// result and returns the process exit code (2 for a usage error).
#pragma once

#include "imaging/image_loader.h"

// scrtool load FILE [--out OUT.bmp]
int RunLoad(int argc, char** argv);
// scrtool check DIR
int RunCheck(int argc, char** argv);
// scrtool walk DIR --seed S --ticks N
int RunWalk(int argc, char** argv);

// Loads a file through the file-type table as the slideshow's walk would; none for an extension
// that no row matches, with its reason in LastLoadFailure.
PackedDib LoadAsTheWalkWould(const char* path);
