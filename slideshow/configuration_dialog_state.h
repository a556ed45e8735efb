// What the configuration dialog keeps between its messages: two text buffers in one process-wide
// record (a process shows at most one configuration dialog).
#pragma once
#include <windows.h>

enum { DialogTextSize = 260 };  // a path of at most 259 characters and its terminator

struct ConfigurationDialogState {
    char DirectoryText[DialogTextSize];  // BaseDir as read, or the directory field's text
    char FileText[DialogTextSize];       // the browse's chosen file; also formats Interval and the error
};

extern ConfigurationDialogState ConfigurationDialog;

// The dialog's profile section for both keys. The slideshow spells it "ZorScreenSaver" when it
// reads BaseDir; the profile matches section names without regard to case.
constexpr const char* DialogSettingsSection = "ZorScreensaver";

// Lets the user pick any image file in the wanted directory and puts that directory, with its
// final backslash, into the directory field. Stores nothing.
void BrowseForImageDirectory(HWND dialog);
