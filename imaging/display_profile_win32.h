// The colour profile Windows names for the monitor a window is on, handed to the colour step as
// the colours pictures are turned into. Only on NT, where the call is there and works.
#pragma once
#include <windows.h>

// The path of the profile Windows names for the window's monitor, asked of GDI on the window's
// thread (no file is read); "" without one.
void MonitorProfilePath(HWND window, char (&path)[MAX_PATH]);

// Reads the profile at path and makes it the target of every later load, once per process: later
// calls change nothing, so no load that runs meanwhile sees the target change under it. A disk
// read, so on the thread that decodes, before its first picture. Without a profile, or with one
// that cannot be used, pictures go to sRGB.
void UseMonitorProfileFile(const char* path);
