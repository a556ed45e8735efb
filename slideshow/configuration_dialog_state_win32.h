// What the configuration dialog keeps between its messages: two text buffers in one process-wide
// record (a process shows at most one configuration dialog).
#pragma once
#include <windows.h>

#include "platform/path_buffer.h"

struct ConfigurationDialogState {
    char DirectoryText[PathBufferSize];  // BaseDir as read, or the directory field's text
    char FileText[PathBufferSize];       // the browse's chosen file; also formats Interval and the error
};

extern ConfigurationDialogState ConfigurationDialog;

// Lets the user pick any image file in the wanted directory and puts that directory, with its
// final backslash, into the directory field. Stores nothing.
void BrowseForImageDirectory(HWND dialog);
