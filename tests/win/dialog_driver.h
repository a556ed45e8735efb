// Runs "screensaver.scr /c" as a child process and works its configuration dialog from outside,
// the way a user would: real mouse clicks and key presses through SendInput, and what any other
// program can read of the windows (classes, texts, styles, rectangles, trackbar position).
#pragma once
#include <windows.h>

#include <string>

struct DialogSession {
    PROCESS_INFORMATION Process;
    HWND Dialog;
};

// Starts "SCR /c" and waits up to 15 s for its dialog. False (and a failed check) without it.
bool OpenConfiguration(const char* scrPath, DialogSession* session);

// The top-level dialog (#32770) of the session's process with this title, or nullptr; waits up
// to timeoutMs for it.
HWND WaitForProcessDialog(const DialogSession& session, const char* title, DWORD timeoutMs);

// Visible top-level windows of the session's process other than the configuration dialog and
// the input method's own windows.
int CountOtherVisibleWindows(const DialogSession& session);

// Real input. Keys go to the thread that has the foreground, so they wait for the dialog to
// have it first.
void ClickControl(HWND control);
void PressKey(HWND foreground, WORD virtualKey);

// The process's exit code once it has ended within timeoutMs, STILL_ACTIVE otherwise.
DWORD WaitForExit(const DialogSession& session, DWORD timeoutMs);
// Ends the process if it still runs and releases the handles.
void CloseSession(DialogSession* session);

std::string WindowText(HWND window);
std::string ClassName(HWND window);
LRESULT SliderPosition(HWND dialog);

// The profile as a file, byte for byte, and one value of it ("(missing)" when the key is absent).
std::string ReadWinIni();
std::string ProfileValue(const char* section, const char* key);
// Replaces the dialog's section with these two keys; nullptr leaves a key out.
void StoreDialogSettings(const char* interval, const char* baseDir);
