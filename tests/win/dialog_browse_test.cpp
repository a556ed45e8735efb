// The configuration dialog's browse through the platform's real file-open dialog, under
// "screensaver.scr /c" and real input.
//
// Usage: dialog_browse_test SCR_PATH CASE
//   choose   the file dialog opens in the field's directory with the dialog's title and filter;
//            a chosen file puts its directory, with the final backslash, into the field; nothing
//            is stored until OK; a second browse starts with an empty file name
//   cancel   cancelling the file dialog shows no message and leaves the field as it was
#include <windows.h>
#include <dlgs.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/win/check.h"
#include "tests/win/dialog_driver.h"
#include "slideshow/settings.h"

namespace {

const char FileDialogTitle[] = "Seleziona un file nella directory desiderata";

// A folder of its own under the temporary folder, with one image file in it (the file dialog
// checks only that it exists). Returns the folder without a final backslash.
std::string MakePictureFolder() {
    char temporary[MAX_PATH];
    GetTempPathA(MAX_PATH, temporary);
    std::string folder = std::string(temporary) + "dialog browse";
    CreateDirectoryA(folder.c_str(), nullptr);
    folder += "\\Foto";
    CreateDirectoryA(folder.c_str(), nullptr);
    HANDLE file = CreateFileA((folder + "\\mare.jpg").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseHandle(file);
    return folder;
}

// Clicks Seleziona and waits for the file dialog; checks that the configuration dialog owns it.
HWND OpenFileDialog(const DialogSession& session) {
    ClickControl(GetDlgItem(session.Dialog, 1004));
    HWND fileDialog = WaitForProcessDialog(session, FileDialogTitle, 10000);
    if (!Check(fileDialog != nullptr, "Seleziona opens the file dialog with its title")) return nullptr;
    CheckEqual(reinterpret_cast<INT_PTR>(GetWindow(fileDialog, GW_OWNER)), reinterpret_cast<INT_PTR>(session.Dialog),
               "the configuration dialog owns the file dialog");
    for (int i = 0; i < 100 && !IsWindowVisible(fileDialog); ++i) Sleep(50);
    return fileDialog;
}

// The file name field: an edit, or the combo box whose edit the Explorer-style dialog uses.
HWND FileNameField(HWND fileDialog) {
    HWND field = GetDlgItem(fileDialog, cmb13);
    return field ? field : GetDlgItem(fileDialog, edt1);
}

bool WaitUntilGone(HWND window) {
    for (int i = 0; i < 200; ++i) {
        if (!IsWindow(window)) return true;
        Sleep(50);
    }
    return false;
}

void CaseChoose(const char* scr) {
    const std::string folder = MakePictureFolder();
    StoreDialogSettings("5", "C:\\Prima");
    const std::string before = ReadWinIni();
    DialogSession session;
    if (!OpenConfiguration(scr, &session)) return;
    HWND field = GetDlgItem(session.Dialog, 1003);
    SetWindowTextA(field, folder.c_str());

    HWND fileDialog = OpenFileDialog(session);
    if (fileDialog) {
        CheckText(WindowText(GetDlgItem(fileDialog, cmb1)).c_str(), "Tutti i file validi", "the file type filter");
        CheckText(WindowText(FileNameField(fileDialog)).c_str(), "", "the file name starts empty");
        // A bare name is taken in the dialog's current folder: the folder it opened in.
        SetWindowTextA(FileNameField(fileDialog), "mare.jpg");
        ClickControl(GetDlgItem(fileDialog, IDOK));
        Check(WaitUntilGone(fileDialog), "the file dialog closes after the choice");
        CheckText(WindowText(field).c_str(), (folder + "\\").c_str(),
                  "the field holds the chosen file's directory with its final backslash");
        Check(ReadWinIni() == before, "the browse stores nothing");
    }

    // The buffer from the first browse must not come back as a preselected name.
    fileDialog = OpenFileDialog(session);
    if (fileDialog) {
        CheckText(WindowText(FileNameField(fileDialog)).c_str(), "", "a second browse starts with an empty file name");
        ClickControl(GetDlgItem(fileDialog, IDCANCEL));
        Check(WaitUntilGone(fileDialog), "the second file dialog closes on Cancel");
    }

    ClickControl(GetDlgItem(session.Dialog, 20));
    CheckEqual(WaitForExit(session, 10000), 1, "OK ends with 1");
    CloseSession(&session);
    CheckText(ProfileValue(SaverSection, "BaseDir").c_str(), (folder + "\\").c_str(), "OK stores the chosen directory");
}

void CaseCancel(const char* scr) {
    StoreDialogSettings("5", "C:\\Nessuna");
    const std::string before = ReadWinIni();
    DialogSession session;
    if (!OpenConfiguration(scr, &session)) return;
    HWND fileDialog = OpenFileDialog(session);
    if (fileDialog) {
        ClickControl(GetDlgItem(fileDialog, IDCANCEL));
        Check(WaitUntilGone(fileDialog), "the file dialog closes on Cancel");
        Sleep(700);  // time for a message box to appear, if one were coming
        CheckEqual(CountOtherVisibleWindows(session), 0, "cancelling the file dialog shows no message");
        CheckText(WindowText(GetDlgItem(session.Dialog, 1003)).c_str(), "C:\\Nessuna", "the field is left as it was");
        Check(IsWindowEnabled(session.Dialog) != FALSE, "the configuration dialog takes input again");
    }
    ClickControl(GetDlgItem(session.Dialog, 30));
    CheckEqual(WaitForExit(session, 10000), 0, "Cancel ends with 0");
    CloseSession(&session);
    Check(ReadWinIni() == before, "nothing was stored");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[2], "choose") == 0) {
        CaseChoose(argv[1]);
    } else if (argc == 3 && strcmp(argv[2], "cancel") == 0) {
        CaseCancel(argv[1]);
    } else {
        fprintf(stderr, "usage: dialog_browse_test SCR_PATH choose|cancel\n");
        return 2;
    }
    return FinishChecks();
}
