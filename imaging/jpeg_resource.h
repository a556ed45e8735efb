// The embedded logo: a resource of type "JPEG" in the program's own module (Windows only).
#pragma once
#include "imaging/packed_dib.h"

enum { LogoResourceId = 112 };

// name: a resource name or MAKEINTRESOURCE id. Returns none when the resource is missing or does
// not decode.
PackedDib LoadJpegResource(const char* name);
