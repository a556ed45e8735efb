// The host's one process-wide record of what the closing rules decide over: the run mode, the
// closing state, the cursor reference, whether a password guards the saver. Portable; the
// handles the host holds are typed in saver_handles_win32.h.
#pragma once
#include <cstdint>

// "No verification has ended yet" for LastPasswordCheckTick.
constexpr std::uint32_t NoTick = 0xFFFFFFFFu;

struct ScreenPoint {
    std::int32_t X;
    std::int32_t Y;
};

struct SaverHostState {
    bool OnWindows9x;

    // Set by RunSaverWindow before the window exists, so WM_CREATE already sees it.
    bool PreviewMode;
    std::uint32_t AutoPlayQueryMessage;  // 0: none registered (not Windows 9x)

    // Holds the verification's answer unchanged; any non-zero value means closing goes ahead.
    std::int32_t CloseApproved;
    // True while the password dialog pumps messages nested inside WM_CLOSE.
    bool PasswordCheckActive;
    std::uint32_t LastPasswordCheckTick;
    ScreenPoint CursorReference;

    // The Windows 9x password module is loaded and names its check: closing asks for the password.
    bool PasswordGuards;
};

SaverHostState MakeInitialHostState();

// One saver window per process, one thread: this record belongs to the host alone.
extern SaverHostState SaverHost;
