#include "host/closing_rules.h"

#include "host/message_ids.h"

const std::uint32_t VerifyPasswordMessage = MessageId::WM_APP;

namespace {

using namespace MessageId;

constexpr SaverProcOutcome PassOn{true, 0};

SaverProcOutcome Answer(std::intptr_t result) { return SaverProcOutcome{false, result}; }

std::uint32_t Distance(ScreenPoint a, ScreenPoint b) {
    // Unsigned, so that a sum past 2^31 still counts as far.
    std::uint32_t dx = a.X > b.X ? std::uint32_t(a.X) - std::uint32_t(b.X) : std::uint32_t(b.X) - std::uint32_t(a.X);
    std::uint32_t dy = a.Y > b.Y ? std::uint32_t(a.Y) - std::uint32_t(b.Y) : std::uint32_t(b.Y) - std::uint32_t(a.Y);
    return dx + dy;
}

SaverProcOutcome Tail(const SaverHostState& host, std::uint32_t message, ClosingOperations& operations) {
    if (host.AutoPlayQueryMessage != 0 && message == host.AutoPlayQueryMessage) {
        // A preview lives inside the display settings: a disc inserted meanwhile must not destroy
        // it.
        if (host.PreviewMode) return Answer(0);
        operations.PostClose();
        return Answer(host.PasswordGuards ? 1 : 0);
    }
    return PassOn;
}

}  // namespace

SaverProcOutcome DecideDefaultSaverProc(SaverHostState& host, std::uint32_t message, std::uintptr_t wParam,
                                        ClosingOperations& operations) {
    if (host.PreviewMode || host.CloseApproved) return Tail(host, message, operations);

    if (message == WM_CLOSE) {
        if (host.OnWindows9x && !ApproveClose(host, operations)) {
            host.CursorReference = operations.CursorPosition();
            return Answer(0);
        }
        return Tail(host, message, operations);
    }
    if (message == VerifyPasswordMessage && host.OnWindows9x)
        return Answer(host.PasswordGuards ? operations.VerifyPassword() : 1);

    if (host.PasswordCheckActive) return Tail(host, message, operations);

    switch (message) {
        case WM_SHOWWINDOW:
            if (wParam != 0) operations.HideCursor();
            break;
        case WM_ACTIVATEAPP:
            if (wParam == 0) operations.PostClose();
            break;
        case WM_SETCURSOR: operations.HideCursor(); return Answer(1);
        case WM_POWER:
            if (wParam == PWR_CRITICALRESUME) operations.PostClose();
            break;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_POWERBROADCAST: operations.PostClose(); break;
        case WM_MOUSEMOVE: {
            // Measured from the pointer itself, not lParam; small moves add up against one
            // reference.
            ScreenPoint now = operations.CursorPosition();
            if (MoveWouldClose(host.CursorReference, now)) {
                operations.PostClose();
                host.CursorReference = now;
            }
            break;
        }
        default: break;
    }
    return Tail(host, message, operations);
}

std::int32_t ApproveClose(SaverHostState& host, ClosingOperations& operations) {
    if (host.PasswordCheckActive || host.CloseApproved) return 0;
    if (!host.PasswordGuards) {
        host.CloseApproved = 1;
        return 1;
    }
    std::uint32_t now = operations.TickCount();
    if (host.LastPasswordCheckTick != NoTick && now - host.LastPasswordCheckTick < VerificationGapMs) return 0;

    host.PasswordCheckActive = true;
    host.CloseApproved = operations.AskWindowToVerify();
    host.PasswordCheckActive = false;
    if (host.CloseApproved == 0) operations.HideCursor();
    host.LastPasswordCheckTick = operations.TickCount();
    return host.CloseApproved;
}

bool MoveWouldClose(ScreenPoint reference, ScreenPoint now) { return Distance(now, reference) > MoveCloseThreshold; }
