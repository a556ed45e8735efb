// The browse's request to the file-open dialog and its handling of each answer, with the dialog
// code and template 2003 linked into this program and GetOpenFileNameA / CommDlgExtendedError
// answered by the test: Wine's own file dialog cannot fail with FNERR_BUFFERTOOSMALL, since it
// builds every path in a MAX_PATH buffer first.
//
// The dialog runs modally on the main thread as the host runs it; a second thread works it with
// real input and checks what comes out.
#include <windows.h>
#include <commdlg.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "slideshow/configuration_dialog_win32.h"
#include "tests/win/check.h"
#include "tests/win/dialog_driver.h"
#include "tests/win/import_patch.h"

namespace {

const DWORD PathTooLongForBuffer = 12291;  // FNERR_BUFFERTOOSMALL

enum class Answer { ChooseFile, Fail, Cancel };

// What the fake file dialog saw and what it is to answer; shared by the two threads.
struct FileDialogScript {
    Answer Next;
    DWORD ErrorCode;
    LONG Calls;  // written by the dialog's thread, read by the driver
    OPENFILENAMEA Seen;
    char FirstFileByte;
    std::string InitialDirectory;
};
FileDialogScript Script;

BOOL WINAPI FakeGetOpenFileNameA(LPOPENFILENAMEA request) {
    memcpy(&Script.Seen, request,
           request->lStructSize < sizeof Script.Seen ? request->lStructSize : sizeof Script.Seen);
    Script.FirstFileByte = request->lpstrFile ? request->lpstrFile[0] : 'X';
    Script.InitialDirectory = request->lpstrInitialDir ? request->lpstrInitialDir : "(none)";
    BOOL result = FALSE;
    Script.ErrorCode = 0;
    if (Script.Next == Answer::ChooseFile) {
        // What the system returns for E:\Foto\mare.jpg: the full path and the name's offset.
        strcpy(request->lpstrFile, "E:\\Foto\\mare.jpg");
        request->nFileOffset = 8;
        request->nFileExtension = 13;
        result = TRUE;
    } else if (Script.Next == Answer::Fail) {
        Script.ErrorCode = PathTooLongForBuffer;
    }
    InterlockedIncrement(&Script.Calls);
    return result;
}

DWORD WINAPI FakeCommDlgExtendedError() { return Script.ErrorCode; }

bool WaitForCalls(LONG calls) {
    for (int i = 0; i < 200; ++i) {
        if (InterlockedCompareExchange(&Script.Calls, 0, 0) >= calls) return true;
        Sleep(25);
    }
    return Check(false, "the browse asks for the file dialog");
}

void CheckRequestFields(HWND dialog) {
    const OPENFILENAMEA& seen = Script.Seen;
    // The pre-Windows 2000 layout: 76 bytes on the PE32, 136 in the 64-bit layout.
    CheckEqual(seen.lStructSize, sizeof(void*) == 4 ? 76 : 136, "structure size");
    Check(seen.hwndOwner == dialog, "the configuration dialog owns the file dialog");
    Check(seen.hInstance == nullptr && seen.lpstrCustomFilter == nullptr && seen.nMaxCustFilter == 0,
          "no instance, no custom filter");
    // One pair: the name, the table's extensions, then those Wine's imaging component decodes
    // (GIF and TIFF among them; none the table has already), closed by an empty name.
    const char own[] = "Tutti i file validi\0*.bmp;*.jpg;*.jpeg;*.png;*.webp";
    const char* patterns = seen.lpstrFilter ? seen.lpstrFilter + sizeof "Tutti i file validi" : "";
    Check(seen.lpstrFilter && memcmp(seen.lpstrFilter, own, sizeof own - 1) == 0,
          "filter: \"Tutti i file validi\" and the file-type table's extensions first");
    auto count = [patterns](const char* pattern) {
        int found = 0;
        for (const char* at = patterns; (at = strstr(at, pattern)) != nullptr; ++at) ++found;
        return found;
    };
    Check(strstr(patterns, ";*.gif") && strstr(patterns, ";*.tif") && count("*.bmp") == 1 && count("*.png") == 1,
          "filter: the imaging component's extensions follow, none twice");
    Check(seen.lpstrFilter && patterns[strlen(patterns) + 1] == '\0', "filter: closed by an empty name");
    CheckEqual(seen.nFilterIndex, 1, "filter index");
    Check(seen.lpstrFile != nullptr, "a file buffer");
    CheckEqual(Script.FirstFileByte, 0, "the file buffer starts empty");
    CheckEqual(seen.nMaxFile, 260, "file buffer size");
    Check(seen.lpstrFileTitle == nullptr && seen.nMaxFileTitle == 0, "no file title buffer");
    CheckText(seen.lpstrTitle, "Seleziona un file nella directory desiderata", "title");
    CheckEqual(seen.Flags, OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_NONETWORKBUTTON, "flags");
    CheckEqual(seen.Flags, 0x21808, "flags as a number");
    Check(seen.nFileOffset == 0 && seen.nFileExtension == 0 && seen.lpstrDefExt == nullptr && seen.lCustData == 0 &&
              seen.lpfnHook == nullptr && seen.lpTemplateName == nullptr,
          "every other field zero");
}

// The "ERRORE" box: owned by the dialog, the message, one OK button and no icon.
void CheckErrorBox(const DialogSession& self, HWND dialog) {
    HWND box = WaitForProcessDialog(self, "ERRORE", 5000);
    if (!Check(box != nullptr, "a failed file dialog shows the \"ERRORE\" box")) return;
    Check(GetWindow(box, GW_OWNER) == dialog, "the configuration dialog owns the box");
    bool message = false;
    int buttons = 0;
    bool icon = false;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) continue;
        const std::string kind = ClassName(child);
        if (WindowText(child) == "GetOpenFileName returned 12291") message = true;
        if (kind == "Button") ++buttons;
        // Wine keeps the icon's control in every box; without an icon it holds none.
        if (kind == "Static" && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
            SendMessageA(child, STM_GETICON, 0, 0) != 0) {
            icon = true;
        }
    }
    Check(message, "the box says \"GetOpenFileName returned 12291\"");
    CheckEqual(buttons, 1, "the box has one button");
    Check(GetDlgItem(box, IDOK) != nullptr && IsWindowVisible(GetDlgItem(box, IDOK)), "the button is OK");
    Check(!icon, "the box shows no icon");
    ClickControl(GetDlgItem(box, IDOK));
    for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
    Check(!IsWindow(box), "OK closes the box");
}

DWORD WINAPI DriveDialog(void*) {
    DialogSession self = {};
    self.Process.dwProcessId = GetCurrentProcessId();
    HWND dialog = WaitForProcessDialog(self, "Impostazioni Orvindale screeensaver", 10000);
    if (!Check(dialog != nullptr, "the dialog opens")) return 0;
    for (int i = 0; i < 100 && !IsWindowVisible(dialog); ++i) Sleep(50);
    self.Dialog = dialog;
    HWND field = GetDlgItem(dialog, 1003);
    HWND browse = GetDlgItem(dialog, 1004);
    const std::string winIni = ReadWinIni();

    SetWindowTextA(field, "C:\\Iniziale");
    Script.Next = Answer::ChooseFile;
    ClickControl(browse);
    if (WaitForCalls(1)) {
        CheckRequestFields(dialog);
        CheckText(Script.InitialDirectory.c_str(), "C:\\Iniziale", "the initial directory is the field's text");
        Sleep(200);
        CheckText(WindowText(field).c_str(), "E:\\Foto\\",
                  "choosing E:\\Foto\\mare.jpg puts E:\\Foto\\ into the field");
    }

    Script.Next = Answer::Fail;
    ClickControl(browse);
    if (WaitForCalls(2)) {
        CheckEqual(Script.FirstFileByte, 0, "the file buffer starts empty at the next browse too");
        CheckText(Script.InitialDirectory.c_str(), "E:\\Foto\\", "the next browse starts in the chosen directory");
        CheckErrorBox(self, dialog);
        CheckText(WindowText(field).c_str(), "E:\\Foto\\", "a failed file dialog leaves the field unchanged");
    }

    Script.Next = Answer::Cancel;
    ClickControl(browse);
    if (WaitForCalls(3)) {
        Sleep(700);  // time for a box to appear, if one were coming
        CheckEqual(CountOtherVisibleWindows(self), 0, "a cancelled file dialog shows no message");
        CheckText(WindowText(field).c_str(), "E:\\Foto\\", "a cancelled file dialog leaves the field unchanged");
    }
    Check(ReadWinIni() == winIni, "the browse stores nothing");
    ClickControl(GetDlgItem(dialog, 30));
    return 0;
}

}  // namespace

int main() {
    Check(ReplaceImport("comdlg32.dll", "GetOpenFileNameA", reinterpret_cast<void*>(FakeGetOpenFileNameA)) != nullptr,
          "the program imports GetOpenFileNameA");
    Check(ReplaceImport("comdlg32.dll", "CommDlgExtendedError", reinterpret_cast<void*>(FakeCommDlgExtendedError)) !=
              nullptr,
          "the program imports CommDlgExtendedError");
    HINSTANCE instance = GetModuleHandleA(nullptr);
    Check(RegisterDialogControls(instance) == TRUE, "RegisterDialogControls returns TRUE");

    HANDLE driver = CreateThread(nullptr, 0, DriveDialog, nullptr, 0, nullptr);
    const INT_PTR ended = DialogBoxParamA(instance, MAKEINTRESOURCEA(2003), nullptr, ScreenSaverConfigureDialog, 0);
    WaitForSingleObject(driver, 30000);
    CloseHandle(driver);
    CheckEqual(ended, 0, "Cancel ends the dialog with 0");
    CheckEqual(Script.Calls, 3, "three browses, three file dialogs");
    return FinishChecks();
}
