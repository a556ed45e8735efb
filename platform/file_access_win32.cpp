// Files on Windows: _wfopen, MoveFileExW and DeleteFileW on NT, found at run time; the C
// library's calls, DeleteFileA and MoveFileA on 9x.
#include <windows.h>

#include <io.h>

#include <cstdio>

#include "platform/file_access.h"
#include "platform/wide_text_win32.h"

namespace {

typedef FILE*(__cdecl* WideOpenCall)(const wchar_t*, const wchar_t*);
typedef BOOL(WINAPI* MoveFileExWCall)(LPCWSTR, LPCWSTR, DWORD);
typedef BOOL(WINAPI* DeleteFileWCall)(LPCWSTR);

FILE* OpenPath(const char* path, const char* mode, const wchar_t* wideMode) {
    if (!UsesWideCalls()) return fopen(path, mode);
    const WideOpenCall wideOpen = reinterpret_cast<WideOpenCall>(LoadedModuleFunction("msvcrt.dll", "_wfopen"));
    wchar_t widePath[PathBufferSize];
    if (!wideOpen || !WidePathFromText(path, widePath)) return nullptr;
    return wideOpen(widePath, wideMode);
}

}  // namespace

FILE* OpenPathForReading(const char* path) { return OpenPath(path, "rb", L"rb"); }

FILE* OpenPathForWriting(const char* path) { return OpenPath(path, "wb", L"wb"); }

bool ReplaceWithNewFile(const char* newPath, const char* path) {
    if (!UsesWideCalls()) {
        DeleteFileA(path);
        return MoveFileA(newPath, path) != 0;
    }
    const MoveFileExWCall moveFileExW =
        reinterpret_cast<MoveFileExWCall>(LoadedModuleFunction("kernel32.dll", "MoveFileExW"));
    wchar_t wideNew[PathBufferSize], widePath[PathBufferSize];
    if (!moveFileExW || !WidePathFromText(newPath, wideNew) || !WidePathFromText(path, widePath)) return false;
    return moveFileExW(wideNew, widePath, MOVEFILE_REPLACE_EXISTING) != 0;
}

void RemovePath(const char* path) {
    if (!UsesWideCalls()) {
        DeleteFileA(path);
        return;
    }
    const DeleteFileWCall deleteFileW =
        reinterpret_cast<DeleteFileWCall>(LoadedModuleFunction("kernel32.dll", "DeleteFileW"));
    wchar_t widePath[PathBufferSize];
    if (deleteFileW && WidePathFromText(path, widePath)) deleteFileW(widePath);
}

typedef BOOL(WINAPI* SystemTimeToTzSpecificLocalTimeCall)(const TIME_ZONE_INFORMATION*, const SYSTEMTIME*,
                                                          LPSYSTEMTIME);

bool FileLastWriteDay(FILE* file, LocalDay* day) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    FILETIME written, local;
    SYSTEMTIME universal, calendar;
    if (handle == INVALID_HANDLE_VALUE || !GetFileTime(handle, nullptr, nullptr, &written)) return false;
    // On NT the time zone's rule for that date, summer time or not; 9x knows only today's offset.
    const SystemTimeToTzSpecificLocalTimeCall toLocal = reinterpret_cast<SystemTimeToTzSpecificLocalTimeCall>(
        LoadedModuleFunction("kernel32.dll", "SystemTimeToTzSpecificLocalTime"));
    const bool converted = toLocal
                               ? FileTimeToSystemTime(&written, &universal) && toLocal(nullptr, &universal, &calendar)
                               : FileTimeToLocalFileTime(&written, &local) && FileTimeToSystemTime(&local, &calendar);
    if (!converted) return false;
    *day = {calendar.wYear, calendar.wMonth, calendar.wDay};
    return true;
}
