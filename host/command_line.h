// Reading the command line: the program name, the switch letter and the window handle after it.
// Text only; the two window queries it needs come in through WindowQueries.
#pragma once
#include <cstdint>

// Advances one character; the platform's version knows multi-byte code pages.
using NextCharacter = const char* (*)(const char* text);

// The arguments: what follows the program name (quoted or not) and the white space after it.
const char* SkipProgramName(const char* commandLine, NextCharacter next);

// Decimal digits from the start of the text, wrapping modulo 2^32; 0 when there are none.
std::uint32_t ParseWindowHandle(const char* text);

enum class RunMode { Configure, ChangePassword, Preview, Saver, Invalid };

class WindowQueries {
public:
    virtual ~WindowQueries() = default;
    virtual bool IsWindow(std::uint32_t handle) const = 0;
    virtual std::uintptr_t ForegroundWindow() const = 0;
};

struct RunModeChoice {
    RunMode Mode;
    // Configure, ChangePassword: the owner (0: none). Preview: the parent, always a window.
    std::uintptr_t Window;
};

// Invalid also covers what ends with -1 without doing anything: a preview handle that is no
// window and the change-password switch outside Windows 9x.
RunModeChoice ChooseRunMode(const char* arguments, bool onWindows9x, const WindowQueries& windows);

constexpr std::int32_t InvalidRunModeExitCode = -1;
