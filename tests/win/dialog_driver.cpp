#include "tests/win/dialog_driver.h"

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "tests/win/check.h"
#include "tests/win/wine_start.h"
#include "slideshow/settings.h"

namespace {

const char DialogTitle[] = "Impostazioni Orvindale screeensaver";

struct ProcessWindowSearch {
    DWORD ProcessId;
    const char* Title;  // nullptr: count visible windows instead
    HWND Skip;
    HWND Found;
    int Count;
};

BOOL CALLBACK VisitTopLevelWindow(HWND window, LPARAM context) {
    ProcessWindowSearch& search = *reinterpret_cast<ProcessWindowSearch*>(context);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search.ProcessId || window == search.Skip) return TRUE;
    if (search.Title) {
        if (ClassName(window) == "#32770" && WindowText(window) == search.Title) {
            search.Found = window;
            return FALSE;
        }
        return TRUE;
    }
    // Wine gives every GUI thread an input-method window; it is no window of the program's.
    if (IsWindowVisible(window) && ClassName(window) != "IME") ++search.Count;
    return TRUE;
}

// Keyboard input goes to the foreground thread; the dialog takes the foreground a moment after
// it appears.
bool WaitForForeground(HWND window) {
    for (int i = 0; i < 100; ++i) {
        if (GetForegroundWindow() == window) return true;
        Sleep(50);
    }
    return Check(false, "the dialog has the foreground");
}

bool WaitUntilShown(HWND window) {
    for (int i = 0; i < 100; ++i) {
        if (IsWindowVisible(window)) return true;
        Sleep(50);
    }
    return Check(false, "the dialog is shown");
}

void SendKeyboardInput(WORD virtualKey) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = virtualKey;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

}  // namespace

bool OpenConfiguration(const char* scrPath, DialogSession* session) {
    *session = DialogSession{};
    std::string commandLine = std::string("\"") + scrPath + "\" /c";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    const BOOL started = StartProcessUnderWine(&commandLine[0], FALSE, &startup, &session->Process);
    const DWORD error = started ? 0 : GetLastError();
    if (!started) printf("CreateProcessA failed with %lu\n", error);
    if (!CheckEqual(started ? 0 : static_cast<long long>(error ? error : 1), 0, "the .scr starts")) {
        return false;
    }
    session->Dialog = WaitForProcessDialog(*session, DialogTitle, 15000);
    if (!Check(session->Dialog != nullptr, "/c opens the dialog titled \"Impostazioni Orvindale screeensaver\"")) {
        return false;
    }
    // The window exists before WM_INITDIALOG has filled it; the dialog manager shows it after.
    return WaitUntilShown(session->Dialog) && WaitForForeground(session->Dialog);
}

HWND WaitForProcessDialog(const DialogSession& session, const char* title, DWORD timeoutMs) {
    const DWORD started = GetTickCount();
    for (;;) {
        ProcessWindowSearch search = {session.Process.dwProcessId, title, nullptr, nullptr, 0};
        EnumWindows(VisitTopLevelWindow, reinterpret_cast<LPARAM>(&search));
        if (search.Found) return search.Found;
        if (GetTickCount() - started > timeoutMs) return nullptr;
        if (WaitForSingleObject(session.Process.hProcess, 50) == WAIT_OBJECT_0) return nullptr;
    }
}

int CountOtherVisibleWindows(const DialogSession& session) {
    ProcessWindowSearch search = {session.Process.dwProcessId, nullptr, session.Dialog, nullptr, 0};
    EnumWindows(VisitTopLevelWindow, reinterpret_cast<LPARAM>(&search));
    return search.Count;
}

void ClickControl(HWND control) {
    RECT bounds;
    GetWindowRect(control, &bounds);
    const POINT target = {(bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2};
    INPUT input[3] = {};
    for (INPUT& one : input) {
        one.type = INPUT_MOUSE;
        // Absolute positions are in 1/65535 of the screen. Every event carries the position: a
        // button event alone would go wherever the pointer was before the move arrived.
        one.mi.dx = MulDiv(target.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        one.mi.dy = MulDiv(target.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
        one.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    }
    SendInput(1, input, sizeof(INPUT));
    POINT at = {};
    for (int i = 0; i < 40 && GetCursorPos(&at) && (at.x != target.x || at.y != target.y); ++i) Sleep(25);
    input[1].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
    input[2].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
    SendInput(2, input + 1, sizeof(INPUT));
}

void PressKey(HWND foreground, WORD virtualKey) {
    if (WaitForForeground(foreground)) SendKeyboardInput(virtualKey);
}

DWORD WaitForExit(const DialogSession& session, DWORD timeoutMs) {
    WaitForSingleObject(session.Process.hProcess, timeoutMs);
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(session.Process.hProcess, &exitCode);
    return exitCode;
}

void CloseSession(DialogSession* session) {
    if (!session->Process.hProcess) return;
    if (WaitForExit(*session, 0) == STILL_ACTIVE) {
        TerminateProcess(session->Process.hProcess, 0xDEAD);
        WaitForSingleObject(session->Process.hProcess, 5000);
    }
    CloseHandle(session->Process.hThread);
    CloseHandle(session->Process.hProcess);
    *session = DialogSession{};
}

std::string WindowText(HWND window) {
    // GetWindowTextA would give only the caption kept by the system for a window of another
    // process, not what an edit field holds now.
    char text[1024] = "";
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string ClassName(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

LRESULT SliderPosition(HWND dialog) { return SendMessageA(GetDlgItem(dialog, 1008), TBM_GETPOS, 0, 0); }

std::string ReadWinIni() {
    char path[MAX_PATH];
    GetWindowsDirectoryA(path, MAX_PATH);
    std::string name = std::string(path) + "\\win.ini";
    std::string bytes;
    FILE* file = fopen(name.c_str(), "rb");
    if (!file) return bytes;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
    fclose(file);
    return bytes;
}

std::string ProfileValue(const char* section, const char* key) {
    char value[1024];
    GetProfileStringA(section, key, "(missing)", value, sizeof value);
    return value;
}

void StoreDialogSettings(const char* interval, const char* baseDir) {
    WriteProfileStringA(SaverSection, nullptr, nullptr);
    if (interval) WriteProfileStringA(SaverSection, "Interval", interval);
    if (baseDir) WriteProfileStringA(SaverSection, "BaseDir", baseDir);
}
