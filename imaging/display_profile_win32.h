// The colour profile Windows names for the monitor a window is on, handed to the colour step as
// the colours pictures are turned into. Only on NT, where the call is there and works.
#pragma once
#include <windows.h>

// Reads the profile once per process: later calls change nothing, so no load that runs meanwhile
// sees the target change under it. Without a profile Windows names, or with one that cannot be
// used, pictures go to sRGB.
void UseMonitorProfile(HWND window);
