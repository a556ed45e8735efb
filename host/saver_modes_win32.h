// The run modes of the program and the operations they share, on the Win32 side.
#pragma once
#include <windows.h>

#include "host/saver_host.h"

// Reads the command line itself and ends the process with the run mode's result.
[[noreturn]] void SaverMain();
// The signed result becomes the exit code unchanged (-1 included).
int DispatchRunMode(HINSTANCE instance, const char* arguments);

INT_PTR OpenConfigurationDialog(HWND owner);
int RunPreview(HWND parent);
int RunChangePassword(HWND owner);

// No parent: the full-screen saver. A parent: the preview inside it.
int RunSaverWindow(HWND parent);
// Tells Windows 9x that a saver runs (no task switching keys); nothing elsewhere.
void SetSaverRunning(bool on);

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Non-zero when the saver may close; may run the system's password dialog first.
int ApproveClose(HWND window);
// Where the pointer is now, in screen coordinates.
ScreenPoint ReadCursorPosition();

void LoadPasswordHook();
void UnloadPasswordHook();
void RequestPasswordChange(HWND owner);
