// The handles the host holds while it runs, typed: the portable SaverHost record beside it keeps
// none. One process, one thread: they belong to the host alone.
#pragma once
#include <windows.h>

using AssociateContextProc = HANDLE(WINAPI*)(HWND window, HANDLE context);
using VerifyScreenSavePwdProc = BOOL(WINAPI*)(HWND window);

struct SaverHandles {
    HINSTANCE Instance;
    // IMM32.DLL only if something else loaded it: the host never loads or frees it.
    HMODULE ImeModule;
    AssociateContextProc AssociateContext;
    HANDLE SavedImeContext;  // the window's input context, given back at WM_DESTROY

    HMODULE PasswordModule;                  // PASSWORD.CPL on Windows 9x, while the saver runs
    VerifyScreenSavePwdProc VerifyPassword;  // set only while PasswordModule is loaded
};

extern SaverHandles HostHandles;
