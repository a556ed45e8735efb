// The configuration dialog's browse: the user picks any image file in the wanted directory through
// the platform's file-open dialog, which also shows what the slideshow will find there, and the
// directory field takes the file's directory.
#include <windows.h>
#include <commdlg.h>

#include <cstdio>
#include <cstring>

#include "resources/resource_ids.h"
#include "slideshow/configuration_dialog_state_win32.h"
#include "imaging/system_decoders.h"
#include "slideshow/file_type_table.h"

namespace {

// One pair, the name and every extension the slideshow shows ("*.bmp;*.jpg;..."): the file-type
// table's, then those Windows' imaging component decodes; closed by an empty name.
struct BrowseFilter {
    char Text[2048];
};

// The dialog keeps reading the filter while it runs, and whoever watches the request after it;
// a buffer of the process's own outlives both.
BrowseFilter Filter;

void AddPattern(char*& at, const char* end, const char* extension, bool first) {
    const size_t length = strlen(extension);
    if (static_cast<size_t>(end - at) < length + 4) return;  // room for ";*", the NUL and the empty name
    if (!first) *at++ = ';';
    *at++ = '*';
    memcpy(at, extension, length);
    at += length;
}

// One of the program's own texts (resources/screensaver.rc).
struct ProgramText {
    char Text[128];
};

ProgramText LoadProgramText(UINT id) {
    ProgramText text = {};
    LoadStringA(GetModuleHandleA(nullptr), id, text.Text, sizeof text.Text);
    return text;
}

// Kept like the filter, for whoever watches the request after the dialog.
ProgramText Title;

BrowseFilter MakeBrowseFilter() {
    BrowseFilter filter = {};
    const ProgramText name = LoadProgramText(BROWSE_FILTER_STRING);
    const size_t nameSize = strlen(name.Text) + 1;
    memcpy(filter.Text, name.Text, nameSize);
    char* at = filter.Text + nameSize;
    const char* end = filter.Text + sizeof filter.Text;
    for (int i = 0; i < FileTypeCount; ++i) AddPattern(at, end, FileTypeTable[i].Extension, i == 0);
    for (int i = 0; i < SystemDecoderExtensionCount(); ++i) {
        if (!FindImageLoaderInTable(SystemDecoderExtension(i))) AddPattern(at, end, SystemDecoderExtension(i), false);
    }
    return filter;  // zero-filled: the pattern's NUL and the empty name follow
}

}  // namespace

void BrowseForImageDirectory(HWND dialog) {
    HWND field = GetDlgItem(dialog, IDC_DIRECTORY_FIELD);
    GetWindowTextA(field, ConfigurationDialog.DirectoryText, PathBufferSize);
    ConfigurationDialog.FileText[0] = '\0';  // a name left from an earlier browse would preselect it

    OPENFILENAMEA request;
    ZeroMemory(&request, sizeof request);
    // The pre-Windows 2000 layout (76 bytes on the PE32), which every comdlg32 accepts.
    request.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    request.hwndOwner = dialog;
    Filter = MakeBrowseFilter();
    request.lpstrFilter = Filter.Text;
    request.nFilterIndex = 1;
    request.lpstrFile = ConfigurationDialog.FileText;
    request.nMaxFile = PathBufferSize;
    request.lpstrInitialDir = ConfigurationDialog.DirectoryText;
    Title = LoadProgramText(BROWSE_TITLE_STRING);
    request.lpstrTitle = Title.Text;
    request.Flags = OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_NONETWORKBUTTON;

    if (GetOpenFileNameA(&request)) {
        // Cut the path after the directory's backslash; nothing is stored until OK.
        ConfigurationDialog.FileText[request.nFileOffset] = '\0';
        SetWindowTextA(field, ConfigurationDialog.FileText);
        return;
    }
    const DWORD error = CommDlgExtendedError();
    if (error == 0) return;  // the user cancelled
    snprintf(ConfigurationDialog.FileText, PathBufferSize, "GetOpenFileName returned %ld", static_cast<long>(error));
    MessageBoxA(dialog, ConfigurationDialog.FileText, LoadProgramText(BROWSE_ERROR_STRING).Text, MB_OK);
}
