// The window-system numbers that the host's portable decisions look at, under their owners'
// names. Portable code only: a file that includes windows.h gets these as macros and must not
// include this header (tests/win/host_message_ids_* checks the values against windows.h).
#pragma once
#include <cstdint>

namespace MessageId {
constexpr std::uint32_t WM_CREATE = 0x0001;
constexpr std::uint32_t WM_DESTROY = 0x0002;
constexpr std::uint32_t WM_SETTEXT = 0x000C;
constexpr std::uint32_t WM_PAINT = 0x000F;
constexpr std::uint32_t WM_CLOSE = 0x0010;
constexpr std::uint32_t WM_SHOWWINDOW = 0x0018;
constexpr std::uint32_t WM_ACTIVATEAPP = 0x001C;
constexpr std::uint32_t WM_SETCURSOR = 0x0020;
constexpr std::uint32_t WM_POWER = 0x0048;
constexpr std::uint32_t WM_HELP = 0x0053;
constexpr std::uint32_t WM_CONTEXTMENU = 0x007B;
constexpr std::uint32_t WM_KEYDOWN = 0x0100;
constexpr std::uint32_t WM_KEYUP = 0x0101;
constexpr std::uint32_t WM_SYSKEYDOWN = 0x0104;
constexpr std::uint32_t WM_SYSCOMMAND = 0x0112;
constexpr std::uint32_t WM_TIMER = 0x0113;
constexpr std::uint32_t WM_MOUSEMOVE = 0x0200;
constexpr std::uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr std::uint32_t WM_LBUTTONUP = 0x0202;
constexpr std::uint32_t WM_LBUTTONDBLCLK = 0x0203;
constexpr std::uint32_t WM_RBUTTONDOWN = 0x0204;
constexpr std::uint32_t WM_MBUTTONDOWN = 0x0207;
constexpr std::uint32_t WM_POWERBROADCAST = 0x0218;
constexpr std::uint32_t WM_APP = 0x8000;

constexpr std::uintptr_t SC_CLOSE = 0xF060;
constexpr std::uintptr_t SC_NEXTWINDOW = 0xF040;
constexpr std::uintptr_t SC_PREVWINDOW = 0xF050;
constexpr std::uintptr_t SC_SCREENSAVE = 0xF140;
constexpr std::uintptr_t PWR_CRITICALRESUME = 3;
}  // namespace MessageId
