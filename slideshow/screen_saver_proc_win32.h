// The two halves of a screen saver, split as the platform's screen-saver library splits them: the
// slideshow is the saver and provides ScreenSaverProc (exported by name from the .scr); the host
// is the library, runs the window, hands ScreenSaverProc every message it does not handle itself
// and provides DefaultSaverProc for the messages the slideshow passes on. This header is the one
// place the slideshow layer names the host above it; the host's definitions link against it.
#pragma once
#include <windows.h>

extern "C" LRESULT WINAPI ScreenSaverProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The host's side. Where the slideshow passes every message it does not consume: the closing
// rules, then the platform's default processing.
LRESULT WINAPI DefaultSaverProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Whether the Windows 9x password question is up: the show puts up no new slide meanwhile.
bool PasswordCheckUnderway();
