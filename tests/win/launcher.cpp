// Starts one program under Wine and reports its exit code whole. Wine's own process status keeps
// only 8 bits (-1 arrives as 255), so the bench runs every program through this launcher and reads
// the 32-bit value that GetExitCodeProcess gives.
//
// Usage: launcher TIMEOUT_MS HEX_COMMAND_LINE
// The child's command line comes hex-encoded so that it reaches CreateProcessA byte for byte (tabs,
// quotes, odd spacing) instead of being re-quoted on the way in. The last line on standard output
// is the report: "launcher: exit 0xXXXXXXXX", "launcher: timeout after N ms" or "launcher: stopped
// on request" (the child was terminated), or "launcher: cannot start ...". Once the child is
// created, the line "launcher: started" goes to standard error.
//
// The bench asks for an early end by writing "stop" to the launcher's input: the child is then
// terminated as at the time limit, so that no window of it outlives a failed test. (Killing the
// launcher alone would leave the child running under Wine.)
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/win/wine_start.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool DecodeHex(const char* hex, std::string* text) {
    const size_t length = strlen(hex);
    if (length % 2 != 0) return false;
    for (size_t i = 0; i < length; i += 2) {
        const int high = HexDigit(hex[i]);
        const int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        text->push_back(static_cast<char>(high * 16 + low));
    }
    return !text->empty();
}

// Signals the event once "stop" arrives on standard input; an input that simply ends (a person
// running the launcher by hand) changes nothing.
DWORD WINAPI WatchForStopRequest(LPVOID stopRequested) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::string received;
    char buffer[64];
    DWORD got = 0;
    while (ReadFile(input, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        received.append(buffer, got);
        if (received.find("stop") != std::string::npos) {
            SetEvent(static_cast<HANDLE>(stopRequested));
            break;
        }
    }
    return 0;
}

// Prints the report line; returns the launcher's own exit code.
int Report(int exitCode, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vprintf(format, arguments);
    va_end(arguments);
    fflush(stdout);
    return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    std::string commandLine;
    if (argc != 3 || !DecodeHex(argv[2], &commandLine)) {
        fprintf(stderr, "usage: launcher TIMEOUT_MS HEX_COMMAND_LINE\n");
        return 2;
    }
    const DWORD timeoutMs = strtoul(argv[1], nullptr, 10);

    // The child writes where the launcher writes, so its lines reach the bench in order before
    // the report. Its input is empty: the launcher's own input carries the bench's requests.
    SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE emptyInput =
        CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = emptyInput;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    fflush(stdout);
    if (!StartProcessUnderWine(&commandLine[0], TRUE, &startup, &process)) {
        return Report(3, "launcher: cannot start (error %lu)\n", GetLastError());
    }
    CloseHandle(process.hThread);
    // Tells the bench that the program is under way: until then it may still start it again.
    fprintf(stderr, "launcher: started\n");
    fflush(stderr);

    HANDLE stopRequested = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE watcher = CreateThread(nullptr, 0, WatchForStopRequest, stopRequested, 0, nullptr);
    if (watcher) CloseHandle(watcher);
    HANDLE waitFor[2] = {process.hProcess, stopRequested};
    const DWORD waited = WaitForMultipleObjects(2, waitFor, FALSE, timeoutMs);
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 0xDEAD);
        WaitForSingleObject(process.hProcess, 5000);
        CloseHandle(process.hProcess);
        if (waited == WAIT_OBJECT_0 + 1) return Report(6, "launcher: stopped on request\n");
        return Report(4, "launcher: timeout after %lu ms\n", timeoutMs);
    }
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.hProcess, &exitCode)) {
        CloseHandle(process.hProcess);
        return Report(5, "launcher: no exit code (error %lu)\n", GetLastError());
    }
    CloseHandle(process.hProcess);
    return Report(0, "launcher: exit 0x%08lX\n", exitCode);
}
