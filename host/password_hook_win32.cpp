// The Windows 9x password modules: PASSWORD.CPL checks the saver password before closing,
// MPR.DLL changes it. Both are found by name at run time and never linked.
#include <windows.h>

#include "host/saver_handles_win32.h"
#include "host/saver_host.h"
#include "host/saver_modes_win32.h"
#include "platform/handle_scopes_win32.h"

namespace {

using PwdChangePasswordProc = DWORD(WINAPI*)(LPCSTR provider, HWND owner, DWORD, LPVOID);

// Any non-zero number in the first four bytes; longer data fails the read and counts as off.
bool SaverPasswordSwitchedOn(HKEY desktop) {
    DWORD usePassword = 0;
    DWORD size = sizeof usePassword;
    LONG read = RegQueryValueExA(desktop, "ScreenSaveUsePassword", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(&usePassword), &size);
    return read == ERROR_SUCCESS && usePassword != 0;
}

}  // namespace

void LoadPasswordHook() {
    if (!SaverHost.OnWindows9x) return;
    if (HostHandles.PasswordModule) UnloadPasswordHook();

    HKEY opened = nullptr;
    if (RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &opened) != ERROR_SUCCESS) return;
    RegistryKey desktop(opened);
    if (!SaverPasswordSwitchedOn(desktop)) return;

    // The module stays loaded while the saver runs; UnloadPasswordHook frees it.
    HMODULE passwordModule = LoadLibraryA("PASSWORD.CPL");
    HostHandles.PasswordModule = passwordModule;
    if (!passwordModule) return;
    auto verify = reinterpret_cast<VerifyScreenSavePwdProc>(
        reinterpret_cast<void*>(GetProcAddress(passwordModule, "VerifyScreenSavePwd")));
    if (!verify) {
        UnloadPasswordHook();
        return;
    }
    HostHandles.VerifyPassword = verify;
    SaverHost.PasswordGuards = true;
    SetSaverRunning(true);
}

void UnloadPasswordHook() {
    if (!SaverHost.OnWindows9x || !HostHandles.PasswordModule) return;
    FreeLibrary(HostHandles.PasswordModule);
    HostHandles.PasswordModule = nullptr;
    HostHandles.VerifyPassword = nullptr;
    if (SaverHost.PasswordGuards) {
        SaverHost.PasswordGuards = false;
        SetSaverRunning(false);
    }
}

void RequestPasswordChange(HWND owner) {
    LoadedModule mpr(LoadLibraryA("MPR.DLL"));
    if (!mpr) return;
    auto change =
        reinterpret_cast<PwdChangePasswordProc>(reinterpret_cast<void*>(GetProcAddress(mpr, "PwdChangePasswordA")));
    if (change) change("SCRSAVE", owner, 0, nullptr);
}
