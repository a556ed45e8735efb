// The configuration dialog that the host opens in configuration mode: template 2003 run
// modally with ScreenSaverConfigureDialog, after RegisterDialogControls.
#pragma once
#include <windows.h>

// INT_PTR rather than BOOL: the dialog manager reads the whole register on 64-bit Windows.
// Registers the common controls the template needs; non-zero for success.
BOOL RegisterDialogControls(HINSTANCE instance);

extern "C" INT_PTR WINAPI ScreenSaverConfigureDialog(HWND dialog, UINT message, WPARAM wParam,
                                                  LPARAM lParam);
