// The slideshow's window procedure, exported by name from the .scr. The host's window procedure
// hands it every message it does not handle itself.
#pragma once
#include <windows.h>

extern "C" LRESULT WINAPI ScreenSaverProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
