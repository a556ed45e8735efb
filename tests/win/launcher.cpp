// Starts one program under Wine and reports its exit code whole. Wine's own process status keeps
// only 8 bits (-1 arrives as 255), so the bench runs every program through this launcher and reads
// the 32-bit value that GetExitCodeProcess gives.
//
// Usage: launcher TIMEOUT_MS HEX_COMMAND_LINE
// The child's command line comes hex-encoded so that it reaches CreateProcessA byte for byte (tabs,
// quotes, odd spacing) instead of being re-quoted on the way in. The last line on standard output
// is the report: "launcher: exit 0xXXXXXXXX", "launcher: timeout after N ms" (the child was
// terminated) or "launcher: cannot start ..." .
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

int Report(const char* format, unsigned long value, int exitCode) {
    printf(format, value);
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
    // the report.
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    fflush(stdout);
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return Report("launcher: cannot start (error %lu)\n", GetLastError(), 3);
    }
    CloseHandle(process.hThread);

    const DWORD waited = WaitForSingleObject(process.hProcess, timeoutMs);
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 0xDEAD);
        WaitForSingleObject(process.hProcess, 5000);
        CloseHandle(process.hProcess);
        return Report("launcher: timeout after %lu ms\n", timeoutMs, 4);
    }
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.hProcess, &exitCode)) {
        CloseHandle(process.hProcess);
        return Report("launcher: no exit code (error %lu)\n", GetLastError(), 5);
    }
    CloseHandle(process.hProcess);
    return Report("launcher: exit 0x%08lX\n", exitCode, 0);
}
