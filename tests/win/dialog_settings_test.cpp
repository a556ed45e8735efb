// The configuration dialog's reads and writes of the profile and the ways it ends, through
// "screensaver.scr /c" and real input. Every case sets up the section itself; the bench restores
// win.ini afterwards.
//
// Usage: dialog_settings_test SCR_PATH CASE
//   defaults   no settings: slider 5, empty field, boxes clear; OK stores Interval then BaseDir,
//              then the check boxes' settings as 0, exit 1
//   clamping   a stored 90 shows 60 and OK stores "60"; a stored 0 shows 1
//   directory  the stored directory shows unchanged; a typed one is stored as typed; the boxes
//              show Subfolders, Shuffle, Captions, Fade, Backdrop and EveryMonitor as stored (any
//              number but 0 is on), a click toggles
//   cancel     Cancel after changes: exit 0, win.ini unchanged byte for byte
//   keys       Escape, the close box and Enter leave it open; space on the focused OK stores
//   command    a click on OK ends with 1; OK with a notification code in the high word too
//   store DIRECTORY SECONDS   types the directory, sets the slider, OK: what a user does before
//              the saver starts
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/win/check.h"
#include "tests/win/dialog_driver.h"
#include "slideshow/settings.h"

namespace {

const char* const Section = SaverSection;

// Ends the session with a click on the control and checks the exit code.
void EndWithClick(DialogSession* session, int identifier, DWORD exitCode, const char* what) {
    ClickControl(GetDlgItem(session->Dialog, identifier));
    CheckEqual(WaitForExit(*session, 10000), exitCode, what);
    CloseSession(session);
}

// Still open a moment after the input; nothing written.
void CheckStaysOpen(const DialogSession& session, const std::string& winIniBefore, const char* what) {
    Check(WaitForExit(session, 700) == STILL_ACTIVE && IsWindow(session.Dialog), what);
    Check(ReadWinIni() == winIniBefore, (std::string(what) + ": win.ini unchanged").c_str());
}

void CaseDefaults(const char* scr) {
    StoreDialogSettings(nullptr, nullptr);
    DialogSession session;
    if (!OpenConfiguration(scr, &session)) return;
    CheckEqual(SliderPosition(session.Dialog), 5, "no Interval stored: slider at 5");
    CheckText(WindowText(GetDlgItem(session.Dialog, 1003)).c_str(), "", "no BaseDir stored: empty field");
    CheckEqual(IsDlgButtonChecked(session.Dialog, 1010), BST_UNCHECKED, "no Subfolders stored: box clear");
    CheckEqual(IsDlgButtonChecked(session.Dialog, 1011), BST_UNCHECKED, "no Shuffle stored: box clear");
    for (int box : {1012, 1013, 1014, 1015})
        CheckEqual(IsDlgButtonChecked(session.Dialog, box), BST_UNCHECKED,
                   "no Captions, Fade, Backdrop, EveryMonitor: boxes clear");
    EndWithClick(&session, 20, 1, "OK ends with 1");
    CheckText(ProfileValue(Section, "Subfolders").c_str(), "0", "OK stores Subfolders 0");
    CheckText(ProfileValue(Section, "Shuffle").c_str(), "0", "OK stores Shuffle 0");
    for (const char* key : {"Captions", "Fade", "Backdrop", "EveryMonitor"})
        CheckText(ProfileValue(Section, key).c_str(), "0", (std::string("OK stores ") + key + " 0").c_str());

    CheckText(ProfileValue(Section, "Interval").c_str(), "5", "OK stores Interval 5");
    CheckText(ProfileValue(Section, "BaseDir").c_str(), "", "OK stores the empty BaseDir");
    // Keys new to the section go after the last one, so the file shows the order of the writes.
    const std::string ini = ReadWinIni();
    const size_t interval = ini.find("Interval=5");
    const size_t baseDir = ini.find("BaseDir=");
    Check(interval != std::string::npos && baseDir != std::string::npos && interval < baseDir,
          "Interval is written before BaseDir");
}

void CaseClamping(const char* scr) {
    StoreDialogSettings("90", "C:\\Immagini");
    DialogSession session;
    if (OpenConfiguration(scr, &session)) {
        CheckEqual(SliderPosition(session.Dialog), 60, "Interval 90 shows the slider at 60");
        EndWithClick(&session, 20, 1, "OK ends with 1");
        CheckText(ProfileValue(Section, "Interval").c_str(), "60", "OK stores the clamped 60");
    }
    StoreDialogSettings("0", nullptr);
    if (OpenConfiguration(scr, &session)) {
        CheckEqual(SliderPosition(session.Dialog), 1, "Interval 0 shows the slider at 1");
        EndWithClick(&session, 30, 0, "Cancel ends with 0");
    }
    StoreDialogSettings("17", nullptr);
    if (OpenConfiguration(scr, &session)) {
        CheckEqual(SliderPosition(session.Dialog), 17, "Interval 17 shows the slider at 17");
        SendMessageA(GetDlgItem(session.Dialog, 1008), TBM_SETPOS, TRUE, 42);
        EndWithClick(&session, 20, 1, "OK ends with 1");
        CheckText(ProfileValue(Section, "Interval").c_str(), "42", "OK stores the slider's position in decimal");
    }
}

void CaseDirectory(const char* scr) {
    StoreDialogSettings("5", "D:\\Foto di mare");
    WriteProfileStringA(Section, "Subfolders", "1");
    WriteProfileStringA(Section, "Shuffle", "7");
    WriteProfileStringA(Section, "Captions", "1");
    WriteProfileStringA(Section, "Backdrop", "1");
    WriteProfileStringA(Section, "EveryMonitor", "0");
    DialogSession session;
    if (!OpenConfiguration(scr, &session)) return;
    CheckText(WindowText(GetDlgItem(session.Dialog, 1003)).c_str(), "D:\\Foto di mare",
              "the stored BaseDir shows unchanged, no backslash added");
    CheckEqual(IsDlgButtonChecked(session.Dialog, 1010), BST_CHECKED, "Subfolders 1: box ticked");
    CheckEqual(IsDlgButtonChecked(session.Dialog, 1011), BST_CHECKED, "Shuffle 7: box ticked");
    SetWindowTextA(GetDlgItem(session.Dialog, 1003), "E:\\Non esiste\\Foto");
    CheckEqual(IsDlgButtonChecked(session.Dialog, 1012), BST_CHECKED, "Captions 1: box ticked");
    CheckEqual(IsDlgButtonChecked(session.Dialog, 1013), BST_UNCHECKED, "no Fade: box clear");
    CheckEqual(IsDlgButtonChecked(session.Dialog, 1014), BST_CHECKED, "Backdrop 1: box ticked");
    CheckEqual(IsDlgButtonChecked(session.Dialog, 1015), BST_UNCHECKED, "EveryMonitor 0: box clear");
    ClickControl(GetDlgItem(session.Dialog, 1011));
    ClickControl(GetDlgItem(session.Dialog, 1012));
    ClickControl(GetDlgItem(session.Dialog, 1013));
    ClickControl(GetDlgItem(session.Dialog, 1015));
    EndWithClick(&session, 20, 1, "OK ends with 1");
    CheckText(ProfileValue(Section, "Captions").c_str(), "0", "a click cleared Captions: OK stores 0");
    CheckText(ProfileValue(Section, "Fade").c_str(), "1", "a click ticked Fade: OK stores 1");
    CheckText(ProfileValue(Section, "Backdrop").c_str(), "1", "Backdrop stays 1");
    CheckText(ProfileValue(Section, "Subfolders").c_str(), "1", "OK stores the ticked Subfolders as 1");
    CheckText(ProfileValue(Section, "Shuffle").c_str(), "0", "a click cleared Shuffle: OK stores 0");
    CheckText(ProfileValue(Section, "EveryMonitor").c_str(), "1", "a click ticked EveryMonitor: OK stores 1");
    CheckText(ProfileValue(Section, "BaseDir").c_str(), "E:\\Non esiste\\Foto",
              "a typed directory is stored as typed: not checked, no backslash added");
    CheckText(ProfileValue(Section, "Interval").c_str(), "5", "Interval is written on every OK");
}

void CaseCancel(const char* scr) {
    StoreDialogSettings("12", "C:\\Immagini\\");
    const std::string before = ReadWinIni();
    DialogSession session;
    if (!OpenConfiguration(scr, &session)) return;
    SendMessageA(GetDlgItem(session.Dialog, 1008), TBM_SETPOS, TRUE, 33);
    SetWindowTextA(GetDlgItem(session.Dialog, 1003), "C:\\Altro");
    EndWithClick(&session, 30, 0, "Cancel ends with 0");
    Check(ReadWinIni() == before, "Cancel leaves win.ini unchanged byte for byte");
}

void CaseKeys(const char* scr) {
    StoreDialogSettings("7", "C:\\Immagini");
    const std::string before = ReadWinIni();
    DialogSession session;
    if (!OpenConfiguration(scr, &session)) return;
    HWND dialog = session.Dialog;
    SendMessageA(GetDlgItem(dialog, 1008), TBM_SETPOS, TRUE, 9);

    PressKey(dialog, VK_ESCAPE);
    CheckStaysOpen(session, before, "Escape leaves the dialog open");
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);  // what the caption's close box sends
    CheckStaysOpen(session, before, "the close box leaves the dialog open");
    // OK is a plain push button, so there is no default button: the dialog manager turns Enter
    // into IDOK (1), which is not one of the dialog's commands.
    Check((GetWindowLongA(GetDlgItem(dialog, 20), GWL_STYLE) & BS_TYPEMASK) == BS_PUSHBUTTON,
          "OK is not a default push button");
    PressKey(dialog, VK_RETURN);
    CheckStaysOpen(session, before, "Enter leaves the dialog open");

    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &thread);
    CheckEqual(GetDlgCtrlID(thread.hwndFocus), 20, "the focus is still on OK");
    PressKey(dialog, VK_SPACE);
    CheckEqual(WaitForExit(session, 10000), 1, "space on the focused OK ends with 1");
    CloseSession(&session);
    CheckText(ProfileValue(Section, "Interval").c_str(), "9", "space on OK stores the settings");
}

void CaseCommand(const char* scr) {
    StoreDialogSettings("3", "C:\\Uno");
    DialogSession session;
    if (OpenConfiguration(scr, &session)) {
        PostMessageA(session.Dialog, WM_COMMAND, MAKEWPARAM(20, 0x7777), 0);
        CheckEqual(WaitForExit(session, 10000), 1, "command 20 with a notification code in the high word ends with 1");
        CloseSession(&session);
        CheckText(ProfileValue(Section, "Interval").c_str(), "3", "... and stores the settings");
    }
    StoreDialogSettings("4", "C:\\Due");
    if (OpenConfiguration(scr, &session)) {
        SetWindowTextA(GetDlgItem(session.Dialog, 1003), "C:\\Tre");
        EndWithClick(&session, 20, 1, "a click on OK ends with 1");
        CheckText(ProfileValue(Section, "BaseDir").c_str(), "C:\\Tre", "... and stores the settings");
    }
}

void CaseStore(const char* scr, const char* directory, int seconds) {
    StoreDialogSettings(nullptr, nullptr);
    DialogSession session;
    if (!OpenConfiguration(scr, &session)) return;
    SetWindowTextA(GetDlgItem(session.Dialog, 1003), directory);
    SendMessageA(GetDlgItem(session.Dialog, 1008), TBM_SETPOS, TRUE, seconds);
    EndWithClick(&session, 20, 1, "OK ends with 1");
    CheckText(ProfileValue(Section, "BaseDir").c_str(), directory, "the directory is stored as typed");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && strcmp(argv[2], "store") == 0) {
        CaseStore(argv[1], argv[3], atoi(argv[4]));
        return FinishChecks();
    }
    struct Case {
        const char* Name;
        void (*Run)(const char* scr);
    };
    const Case cases[] = {{"defaults", CaseDefaults}, {"clamping", CaseClamping}, {"directory", CaseDirectory},
                          {"cancel", CaseCancel},     {"keys", CaseKeys},         {"command", CaseCommand}};
    for (const Case& one : cases) {
        if (argc == 3 && strcmp(argv[2], one.Name) == 0) {
            one.Run(argv[1]);
            return FinishChecks();
        }
    }
    fprintf(stderr,
            "usage: dialog_settings_test SCR_PATH defaults|clamping|directory|cancel|keys|command\n"
            "       dialog_settings_test SCR_PATH store DIRECTORY SECONDS\n");
    return 2;
}
