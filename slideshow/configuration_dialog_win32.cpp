// The configuration dialog's procedure: the slider, the directory field and the check boxes
// filled from the settings, OK storing them all, Cancel storing nothing.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "resources/resource_ids.h"
#include "slideshow/configuration_dialog_win32.h"
#include "slideshow/configuration_dialog_state_win32.h"
#include "slideshow/settings.h"

ConfigurationDialogState ConfigurationDialog;

namespace {

struct SwitchBox {
    int Identifier;
    const ProfileSetting* Setting;
};
const SwitchBox SwitchBoxes[] = {
    {IDC_SUBFOLDERS_CHECK, &SubfoldersSetting}, {IDC_SHUFFLE_CHECK, &ShuffleSetting},
    {IDC_CAPTIONS_CHECK, &CaptionsSetting},     {IDC_FADE_CHECK, &FadeSetting},
    {IDC_BACKDROP_CHECK, &BackdropSetting},     {IDC_EVERY_MONITOR_CHECK, &EveryMonitorSetting}};

void OnInitDialog(HWND dialog) {
    const int interval =
        static_cast<int>(GetProfileIntA(IntervalSetting.DialogSection, IntervalSetting.Key, DefaultIntervalSeconds));
    // The trackbar clamps the position into its range: a stored 90 shows as 60, a stored 0 as 1.
    HWND slider = GetDlgItem(dialog, IDC_INTERVAL_SLIDER);
    SendMessageA(slider, TBM_SETRANGE, TRUE, MAKELPARAM(LowestIntervalSeconds, HighestIntervalSeconds));
    SendMessageA(slider, TBM_SETPOS, TRUE, interval);

    GetProfileStringA(BaseDirSetting.DialogSection, BaseDirSetting.Key, "", ConfigurationDialog.DirectoryText,
                      PathBufferSize);
    SetWindowTextA(GetDlgItem(dialog, IDC_DIRECTORY_FIELD), ConfigurationDialog.DirectoryText);

    for (const SwitchBox& box : SwitchBoxes) {
        const bool on = GetProfileIntA(box.Setting->DialogSection, box.Setting->Key, 0) != 0;
        CheckDlgButton(dialog, box.Identifier, on ? BST_CHECKED : BST_UNCHECKED);
    }
}

// Every key on every OK, changed or not. The directory goes as typed: the slideshow adds the
// final backslash itself when it reads it.
void StoreSettings(HWND dialog) {
    const LRESULT position = SendMessageA(GetDlgItem(dialog, IDC_INTERVAL_SLIDER), TBM_GETPOS, 0, 0);
    snprintf(ConfigurationDialog.FileText, PathBufferSize, "%d", static_cast<int>(position));
    WriteProfileStringA(IntervalSetting.DialogSection, IntervalSetting.Key, ConfigurationDialog.FileText);

    GetWindowTextA(GetDlgItem(dialog, IDC_DIRECTORY_FIELD), ConfigurationDialog.DirectoryText, PathBufferSize);
    WriteProfileStringA(BaseDirSetting.DialogSection, BaseDirSetting.Key, ConfigurationDialog.DirectoryText);

    for (const SwitchBox& box : SwitchBoxes) {
        const bool on = IsDlgButtonChecked(dialog, box.Identifier) == BST_CHECKED;
        WriteProfileStringA(box.Setting->DialogSection, box.Setting->Key, on ? "1" : "0");
    }
}

}  // namespace

BOOL WINAPI RegisterDialogControls(HINSTANCE) {
    INITCOMMONCONTROLSEX classes;
    classes.dwSize = sizeof classes;  // 8
    classes.dwICC = ICC_BAR_CLASSES;
    InitCommonControlsEx(&classes);
    // Without the trackbar class the dialog call itself fails with -1, which the host passes
    // on as the exit code; there is nothing to add here.
    return TRUE;
}

extern "C" INT_PTR WINAPI ScreenSaverConfigureDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        OnInitDialog(dialog);
        return TRUE;  // the dialog manager then focuses the first tab stop, OK
    }
    if (message != WM_COMMAND) return FALSE;

    // Only the identifier counts; the notification code in the high half is not looked at. The
    // system's IDCANCEL (Escape, the close box) is not one of ours, so those leave the dialog open.
    switch (LOWORD(wParam)) {
        case IDC_OK_BUTTON:
            StoreSettings(dialog);
            EndDialog(dialog, 1);
            return TRUE;
        case IDC_CANCEL_BUTTON: EndDialog(dialog, 0); return TRUE;
        case IDC_BROWSE_BUTTON: BrowseForImageDirectory(dialog); return FALSE;
        default: return FALSE;
    }
}
