#include "tests/win/wine_start.h"

#include <cstdio>

BOOL StartProcessUnderWine(char* commandLine, BOOL inheritHandles, STARTUPINFOA* startup,
                           PROCESS_INFORMATION* process) {
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessA(nullptr, commandLine, nullptr, nullptr, inheritHandles, 0, nullptr, nullptr, startup,
                           process)) {
            return TRUE;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == 3) return FALSE;
        fprintf(stderr, "start failed inside Wine (error %lu); once more\n", error);
        fflush(stderr);
        Sleep(500);
        SetLastError(error);
    }
}
