// What the test stand-ins of the system's password modules share: their answers come from an
// environment variable, and every call is recorded as a debugger-output line that the Wine
// test bench collects ("STANDIN <module> <event>").
#pragma once
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// The n-th (from 0) comma-separated item of the variable, the last one repeating; the
// fallback when the variable is unset.
inline void ScriptedAnswer(const char* variable, int call, const char* fallback, char* answer, size_t size) {
    const char* script = std::getenv(variable);
    if (!script || !*script) script = fallback;
    const char* item = script;
    for (int i = 0; i < call; ++i) {
        const char* comma = std::strchr(item, ',');
        if (!comma) break;
        item = comma + 1;
    }
    size_t length = std::strcspn(item, ",");
    if (length >= size) length = size - 1;
    std::memcpy(answer, item, length);
    answer[length] = '\0';
}

inline void RecordCall(const char* format, ...) {
    char line[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    OutputDebugStringA(line);
}

// Wine keeps SPI_SETSCREENSAVERRUNNING and reads it back here; real Windows 9x has no getter.
inline int ScreenSaverRunningState() {
    BOOL running = FALSE;
    if (!SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0)) return -1;
    return running ? 1 : 0;
}

// The real modules show a dialog that pumps messages while it waits for the user.
inline void PumpMessagesFor(DWORD milliseconds) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    }
}

[[noreturn]] inline void Fault() {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    std::abort();
}
