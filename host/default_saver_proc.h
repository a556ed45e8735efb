// Where the slideshow passes every message it does not consume: the closing rules, then the
// platform's default processing.
#pragma once
#include <windows.h>

LRESULT WINAPI DefaultSaverProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

#include "imaging/image_loader.h"

// The question slow work asks the saver: in full screen, stop when input that would end it is
// waiting (a key or button queued, the pointer moved past the closing distance, another window
// active); in preview, never.
LoadControl SaverLoadControl(HWND window);
