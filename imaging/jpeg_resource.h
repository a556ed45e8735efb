// The embedded logo: a resource of type "JPEG" in the program's own module (Windows only).
#pragma once
#include "imaging/image_loader.h"

// name: a resource name or MAKEINTRESOURCE id. No picture when the resource is missing or does
// not decode. Nobody waits on the logo, so its decode never stops early.
LoadResult LoadJpegResource(const char* name);
