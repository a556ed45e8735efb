// Where the slideshow passes every message it does not consume: the closing rules, then the
// platform's default processing.
#pragma once
#include <windows.h>

LRESULT WINAPI DefaultSaverProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Whether the Windows 9x password question is up: the show puts up no new slide meanwhile.
bool PasswordCheckUnderway();
