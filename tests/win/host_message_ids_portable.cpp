// The portable message numbers, gathered in a translation unit that cannot see windows.h.
#include "host/closing_rules.h"
#include "host/message_ids.h"

#include <cstdint>

extern const std::uintptr_t PortableMessageIds[] = {
    MessageId::WM_CREATE,          MessageId::WM_DESTROY,     MessageId::WM_SETTEXT,        MessageId::WM_PAINT,
    MessageId::WM_CLOSE,           MessageId::WM_SHOWWINDOW,  MessageId::WM_ACTIVATEAPP,    MessageId::WM_SETCURSOR,
    MessageId::WM_POWER,           MessageId::WM_HELP,        MessageId::WM_CONTEXTMENU,    MessageId::WM_KEYDOWN,
    MessageId::WM_KEYUP,           MessageId::WM_SYSKEYDOWN,  MessageId::WM_SYSCOMMAND,     MessageId::WM_TIMER,
    MessageId::WM_MOUSEMOVE,       MessageId::WM_LBUTTONDOWN, MessageId::WM_LBUTTONUP,      MessageId::WM_LBUTTONDBLCLK,
    MessageId::WM_RBUTTONDOWN,     MessageId::WM_MBUTTONDOWN, MessageId::WM_POWERBROADCAST, MessageId::WM_APP,
    MessageId::SC_CLOSE,           MessageId::SC_NEXTWINDOW,  MessageId::SC_PREVWINDOW,     MessageId::SC_SCREENSAVE,
    MessageId::PWR_CRITICALRESUME, VerifyPasswordMessage,
};
extern const int PortableMessageIdCount = sizeof PortableMessageIds / sizeof PortableMessageIds[0];
