// The configuration dialog that the host runs in configuration mode: template 2003, run modally
// with ScreenSaverConfigureDialog after RegisterDialogControls.
#pragma once
#include <windows.h>

// Registers the common control classes that template 2003 needs (the trackbar). Always TRUE.
BOOL WINAPI RegisterDialogControls(HINSTANCE instance);

// The dialog procedure, exported by name. INT_PTR is the dialog manager's own result type: on the
// PE32 it is the 32-bit result, and on x64 the upper half is never left undefined.
extern "C" INT_PTR WINAPI ScreenSaverConfigureDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
