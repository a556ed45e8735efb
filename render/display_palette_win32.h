// The logical palette a picture gets on a palette display: CreatePalette over the entries that
// palette_entries.h builds. Windows only.
#pragma once
#include <windows.h>

#include "render/palette_entries.h"

// A new palette that the caller deletes with DeleteObject, or none when there are no entries or
// the system cannot make one.
HPALETTE CreateLogicalPalette(const LogPalette* entries);
