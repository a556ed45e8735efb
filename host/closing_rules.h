// When the full-screen saver ends: the decisions of DefaultSaverProc and ApproveClose over the
// message, its wParam and SaverHostState. What they do to the outside world goes through
// ClosingOperations, so the rules run the same against the window system and against a test.
#pragma once
#include <cstdint>

#include "host/saver_host.h"

// ApproveClose asks its own window for the verification with this message (WM_APP), so that the
// answer travels the whole window-procedure path like any other message. Defined where
// message_ids.h may be seen, which files that include windows.h may not.
extern const std::uint32_t VerifyPasswordMessage;
// Summed horizontal and vertical pointer distance that must be exceeded to close.
constexpr std::uint32_t MoveCloseThreshold = 4;
// Close requests sooner than this after a verification ended are refused without asking.
constexpr std::uint32_t VerificationGapMs = 200;

class ClosingOperations {
public:
    virtual ~ClosingOperations() = default;
    virtual ScreenPoint CursorPosition() = 0;
    virtual std::uint32_t TickCount() = 0;
    virtual void PostClose() = 0;
    virtual void HideCursor() = 0;
    // Drops at most two waiting timer ticks, then sends VerifyPasswordMessage to the window and
    // returns its answer. Other messages may be handled nested inside the wait.
    virtual std::int32_t AskWindowToVerify() = 0;
    // The password module's VerifyScreenSavePwd with the saver window.
    virtual std::int32_t VerifyPassword() = 0;
};

struct SaverProcOutcome {
    bool PassToDefault;    // hand the message to the platform's default processing
    std::intptr_t Result;  // the answer when not passed on
};

SaverProcOutcome DecideDefaultSaverProc(SaverHostState& host, std::uint32_t message, std::uintptr_t wParam,
                                        ClosingOperations& operations);

// Non-zero when the saver may close.
std::int32_t ApproveClose(SaverHostState& host, ClosingOperations& operations);

// Whether the pointer at now has gone far enough from the reference to close the saver.
bool MoveWouldClose(ScreenPoint reference, ScreenPoint now);
