// The host's one process-wide record: the run mode's window, the closing state, the cursor
// reference, the input-method and password-hook handles. Portable: handles are kept as opaque
// pointers here and cast back by the Win32 files that own them.
#pragma once
#include <cstdint>

// "No verification has ended yet" for LastPasswordCheckTick.
constexpr std::uint32_t NoTick = 0xFFFFFFFFu;

struct ScreenPoint {
    std::int32_t X;
    std::int32_t Y;
};

struct SaverHostState {
    void* Instance;
    bool OnWindows9x;

    // Set by RunSaverWindow before the window exists, so WM_CREATE already sees it.
    bool PreviewMode;
    void* SaverWindow;
    std::uint32_t AutoPlayQueryMessage;  // 0: none registered (not Windows 9x)

    // Holds the verification's answer unchanged; any non-zero value means closing goes ahead.
    std::int32_t CloseApproved;
    // True while the password dialog pumps messages nested inside WM_CLOSE.
    bool PasswordCheckActive;
    std::uint32_t LastPasswordCheckTick;
    ScreenPoint CursorReference;

    void* ImeModule;
    void* AssociateContextEntry;
    void* SavedImeContext;

    void* PasswordModule;
    void* VerifyEntry;  // set only while PasswordModule is loaded: a password guards the saver
};

SaverHostState MakeInitialHostState();

// One saver window per process, one thread: this record belongs to the host alone.
extern SaverHostState SaverHost;
