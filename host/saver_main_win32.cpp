// The program's entry: the command line, Windows 9x detection and the run mode, guarded.
#include <windows.h>

#include "host/command_line.h"
#include "host/fault_guard_win32.h"
#include "host/saver_handles_win32.h"
#include "host/saver_host.h"
#include "host/saver_modes_win32.h"
#include "resources/resource_ids.h"
#include "slideshow/configuration_dialog_win32.h"

namespace {

HWND WindowFromHandle(std::uintptr_t handle) { return reinterpret_cast<HWND>(handle); }

class SystemWindows : public WindowQueries {
public:
    bool IsWindow(std::uint32_t handle) const override { return ::IsWindow(WindowFromHandle(handle)) != FALSE; }
    std::uintptr_t ForegroundWindow() const override { return reinterpret_cast<std::uintptr_t>(GetForegroundWindow()); }
};

const char* NextCharacterInCodePage(const char* text) { return CharNextA(text); }

bool DetectWindows9x() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;  // 148
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

struct GuardedRunMode {
    const char* Arguments;
    int ExitCode;
};

void ReadSwitchAndRunMode(void* context) {
    GuardedRunMode& run = *static_cast<GuardedRunMode*>(context);
    SystemWindows windows;
    RunModeChoice choice = ChooseRunMode(run.Arguments, SaverHost.OnWindows9x, windows);
    switch (choice.Mode) {
        case RunMode::Configure:
            run.ExitCode = static_cast<int>(OpenConfigurationDialog(WindowFromHandle(choice.Window)));
            break;
        case RunMode::ChangePassword: run.ExitCode = RunChangePassword(WindowFromHandle(choice.Window)); break;
        case RunMode::Preview: run.ExitCode = RunPreview(WindowFromHandle(choice.Window)); break;
        case RunMode::Saver: run.ExitCode = RunSaverWindow(nullptr); break;
        case RunMode::Invalid: run.ExitCode = InvalidRunModeExitCode; break;
    }
}

}  // namespace

INT_PTR OpenConfigurationDialog(HWND owner) {
    HINSTANCE instance = HostHandles.Instance;
    if (!RegisterDialogControls(instance)) return 0;
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(CONFIGURATION_DIALOG), owner, ScreenSaverConfigureDialog, 0);
}

int RunPreview(HWND parent) { return RunSaverWindow(parent); }

int RunChangePassword(HWND owner) {
    RequestPasswordChange(owner);
    return 0;
}

int DispatchRunMode(HINSTANCE instance, const char* arguments) {
    HostHandles.Instance = instance;
    SaverHost.OnWindows9x = DetectWindows9x();

    GuardedRunMode run = {arguments, 0};
    unsigned long faultCode = 0;
    if (RunInFaultGuard(ReadSwitchAndRunMode, &run, &faultCode)) {
        // The system has reported the fault; leave Windows 9x out of the screen-saver state.
        SetSaverRunning(false);
        return static_cast<int>(faultCode);
    }
    return run.ExitCode;
}

void SaverMain() {
    const char* arguments = SkipProgramName(GetCommandLineA(), NextCharacterInCodePage);
    ExitProcess(static_cast<UINT>(DispatchRunMode(GetModuleHandleA(nullptr), arguments)));
}
