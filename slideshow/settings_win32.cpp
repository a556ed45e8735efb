// The slideshow's reads of its settings through the platform's profile calls, and where its deck
// file lives.
#include <windows.h>

#include <cstring>

#include "platform/wide_text_win32.h"
#include "slideshow/settings.h"

namespace {

const char DeckFileName[] = "screensaver-deck.txt";

typedef DWORD(WINAPI* GetEnvironmentVariableWCall)(LPCWSTR, LPWSTR, DWORD);
typedef HRESULT(WINAPI* SHGetFolderPathWCall)(HWND, int, HANDLE, DWORD, LPWSTR);
typedef BOOL(WINAPI* CreateDirectoryWCall)(LPCWSTR, LPSECURITY_ATTRIBUTES);

const int LocalAppDataFolder = 0x1C;  // CSIDL_LOCAL_APPDATA

bool LocalAppData(wchar_t (&folder)[PathBufferSize]) {
    const GetEnvironmentVariableWCall getVariable =
        reinterpret_cast<GetEnvironmentVariableWCall>(LoadedModuleFunction("kernel32.dll", "GetEnvironmentVariableW"));
    if (getVariable) {
        const DWORD length = getVariable(L"LOCALAPPDATA", folder, PathBufferSize);
        if (length > 0 && length < PathBufferSize) return true;
    }
    HMODULE shell = LoadLibraryA("shell32.dll");
    if (!shell) return false;
    const SHGetFolderPathWCall getFolder =
        reinterpret_cast<SHGetFolderPathWCall>(reinterpret_cast<void*>(GetProcAddress(shell, "SHGetFolderPathW")));
    const bool found = getFolder && getFolder(nullptr, LocalAppDataFolder, nullptr, 0, folder) == S_OK;
    FreeLibrary(shell);
    return found;
}

void WideDeckFilePath(char (&path)[PathBufferSize]) {
    wchar_t folder[PathBufferSize];
    if (!LocalAppData(folder)) return;
    const CreateDirectoryWCall createDirectory =
        reinterpret_cast<CreateDirectoryWCall>(LoadedModuleFunction("kernel32.dll", "CreateDirectoryW"));
    const wchar_t own[] = L"\\Orvindale";
    const size_t length = wcslen(folder);
    if (!createDirectory || length + wcslen(own) >= PathBufferSize) return;
    wcscpy(folder + length, own);
    createDirectory(folder, nullptr);  // already there is as good
    char text[PathBufferSize];
    if (!TextFromWidePath(folder, text, sizeof text) || strlen(text) + 1 + sizeof DeckFileName > PathBufferSize) return;
    strcpy(path, text);
    strcat(path, "\\");
    strcat(path, DeckFileName);
}

}  // namespace

void ReadBaseDirSetting(char (&text)[PathBufferSize]) {
    GetProfileStringA(BaseDirSetting.SlideshowSection, BaseDirSetting.Key, "", text, PathBufferSize);
    if (!UsesWideCalls()) return;
    wchar_t wide[PathBufferSize];
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, PathBufferSize) && TextFromWidePath(wide, text, PathBufferSize))
        return;
    // Too long in UTF-8: a directory no path names ('?' cannot stand in one), never a cut one.
    memset(text, '?', PathBufferSize - 1);
    text[PathBufferSize - 1] = '\0';
}

int32_t ReadIntervalSetting() {
    // The platform returns the number as UINT; a stored negative number comes back two's complement.
    return static_cast<int32_t>(
        GetProfileIntA(IntervalSetting.SlideshowSection, IntervalSetting.Key, DefaultIntervalSeconds));
}

bool ReadSwitchSetting(const ProfileSetting& setting) {
    return GetProfileIntA(setting.SlideshowSection, setting.Key, 0) != 0;
}

void DeckFilePath(char (&path)[PathBufferSize]) {
    path[0] = '\0';
    if (UsesWideCalls()) {
        WideDeckFilePath(path);
        return;
    }
    const UINT length = GetWindowsDirectoryA(path, PathBufferSize);
    if (length == 0 || length + 1 + sizeof DeckFileName > PathBufferSize) {
        path[0] = '\0';
        return;
    }
    if (path[length - 1] != '\\') strcat(path, "\\");
    strcat(path, DeckFileName);
}
