#include "host/command_line.h"

namespace {

bool IsAboveSpace(char c) { return static_cast<unsigned char>(c) > 0x20; }

// A handle given on the command line, or the foreground window when it names none.
std::uintptr_t OwnerWindow(std::uint32_t handle, const WindowQueries& windows) {
    if (handle != 0 && windows.IsWindow(handle)) return handle;
    return windows.ForegroundWindow();
}

}  // namespace

const char* SkipProgramName(const char* commandLine, NextCharacter next) {
    const char* p = commandLine;
    if (*p == '"') {
        // No escapes: the arguments begin right after the closing quote.
        p = next(p);
        while (*p != '\0' && *p != '"') p = next(p);
        if (*p == '"') p = next(p);
    } else {
        while (IsAboveSpace(*p)) p = next(p);
    }
    // Every control byte counts as white space here, tabs included.
    while (*p != '\0' && !IsAboveSpace(*p)) p = next(p);
    return p;
}

std::uint32_t ParseWindowHandle(const char* text) {
    std::uint32_t value = 0;
    for (const char* p = text; *p >= '0' && *p <= '9'; ++p) value = value * 10u + std::uint32_t(*p - '0');
    return value;
}

RunModeChoice ChooseRunMode(const char* arguments, bool onWindows9x, const WindowQueries& windows) {
    const char* p = arguments;
    // Bytes as signed: 0x80 and above are no separators and no letters.
    while (*p == ' ' || *p == '-' || *p == '/') ++p;
    switch (*p) {
        case '\0': return {RunMode::Configure, 0};
        case 'a':
        case 'A':
            if (!onWindows9x) return {RunMode::Invalid, 0};
            ++p;
            while (*p == ' ') ++p;
            return {RunMode::ChangePassword, OwnerWindow(ParseWindowHandle(p), windows)};
        case 'c':
        case 'C': {
            // Only "c:handle"; "/c 1234" has no colon and gets the foreground window.
            ++p;
            std::uint32_t handle = 0;
            if (*p == ':') handle = ParseWindowHandle(p + 1);
            return {RunMode::Configure, OwnerWindow(handle, windows)};
        }
        case 'p':
        case 'P':
        case 'l':
        case 'L': {
            ++p;
            while (*p == ' ') ++p;
            std::uint32_t parent = ParseWindowHandle(p);
            if (parent == 0 || !windows.IsWindow(parent)) return {RunMode::Invalid, 0};
            return {RunMode::Preview, parent};
        }
        case 's':
        case 'S': return {RunMode::Saver, 0};
        default: return {RunMode::Invalid, 0};
    }
}
