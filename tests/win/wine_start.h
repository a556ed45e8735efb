// Starting a program from a Windows test program under Wine.
#pragma once

#include <windows.h>

// CreateProcessA with the given command line (which it may modify), handle inheritance and
// start-up record. Now and then a new Wine process dies while Wine itself is still setting it up,
// before any of the program's code runs, and Wine then fails the call with ERROR_INTERNAL_ERROR;
// such a start is tried again, up to three tries in all, with a line on standard error each time.
// Any other failure is returned at once. GetLastError holds the last error on failure.
BOOL StartProcessUnderWine(char* commandLine, BOOL inheritHandles, STARTUPINFOA* startup, PROCESS_INFORMATION* process);
