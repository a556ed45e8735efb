// The configuration dialog's browse: the user picks any image file in the wanted directory through
// the platform's file-open dialog, which also shows what the slideshow will find there, and the
// directory field takes the file's directory.
#include <windows.h>
#include <commdlg.h>

#include <cstdio>

#include "resources/resource_ids.h"
#include "slideshow/configuration_dialog_state.h"

void BrowseForImageDirectory(HWND dialog) {
    HWND field = GetDlgItem(dialog, IDC_DIRECTORY_FIELD);
    GetWindowTextA(field, ConfigurationDialog.DirectoryText, PathBufferSize);
    ConfigurationDialog.FileText[0] = '\0';  // a name left from an earlier browse would preselect it

    OPENFILENAMEA request;
    ZeroMemory(&request, sizeof request);
    // The pre-Windows 2000 layout (76 bytes on the PE32), which every comdlg32 accepts.
    request.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    request.hwndOwner = dialog;
    request.lpstrFilter = "Tutti i file validi\0*.bmp;*.jpg;*.jpeg\0";  // the literal's own NUL ends the list
    request.nFilterIndex = 1;
    request.lpstrFile = ConfigurationDialog.FileText;
    request.nMaxFile = PathBufferSize;
    request.lpstrInitialDir = ConfigurationDialog.DirectoryText;
    request.lpstrTitle = "Seleziona un file nella directory desiderata";
    request.Flags = OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_NONETWORKBUTTON;

    if (GetOpenFileNameA(&request)) {
        // Cut the path after the directory's backslash; nothing is stored until OK.
        ConfigurationDialog.FileText[request.nFileOffset] = '\0';
        SetWindowTextA(field, ConfigurationDialog.FileText);
        return;
    }
    const DWORD error = CommDlgExtendedError();
    if (error == 0) return;  // the user cancelled
    snprintf(ConfigurationDialog.FileText, PathBufferSize, "GetOpenFileName returned %ld",
             static_cast<long>(error));
    MessageBoxA(dialog, ConfigurationDialog.FileText, "ERRORE", MB_OK);
}
