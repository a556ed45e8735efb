// GetICMProfileA is looked up at run time: Windows 95's GDI may lack it, and its import would
// keep the PE32 from starting there.
#include "imaging/display_profile_win32.h"

#include <cstdio>
#include <cstdlib>

#include "imaging/colour_profile.h"
#include "platform/handle_scopes_win32.h"

namespace {

typedef BOOL(WINAPI* GetIcmProfileCall)(HDC dc, LPDWORD size, LPSTR path);

// No display profile comes near this; a larger file is no profile.
const long MostProfileBytes = 16L << 20;

bool OnNt() { return (GetVersion() & 0x80000000u) == 0; }

void UseProfileFile(const char* path) {
    FILE* file = fopen(path, "rb");
    if (!file) return;
    fpos_t end = -1;  // the 64-bit offset itself in the Windows run time
    const long length = fseek(file, 0, SEEK_END) == 0 && fgetpos(file, &end) == 0 && end <= MostProfileBytes
                            ? static_cast<long>(end)
                            : -1;
    if (length > 0 && fseek(file, 0, SEEK_SET) == 0) {
        if (unsigned char* bytes = static_cast<unsigned char*>(malloc(static_cast<size_t>(length)))) {
            if (fread(bytes, 1, static_cast<size_t>(length), file) == static_cast<size_t>(length)) {
                UseDisplayProfile(bytes, static_cast<size_t>(length));
            }
            free(bytes);
        }
    }
    fclose(file);
}

}  // namespace

void MonitorProfilePath(HWND window, char (&path)[MAX_PATH]) {
    path[0] = '\0';
    if (!OnNt()) return;
    const GetIcmProfileCall getProfile = reinterpret_cast<GetIcmProfileCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("gdi32.dll"), "GetICMProfileA")));
    if (!getProfile) return;
    WindowDc dc(window, GetDC(window));
    DWORD size = sizeof path;
    if (!dc || !getProfile(dc, &size, path)) path[0] = '\0';
}

void UseMonitorProfileFile(const char* path) {
    static bool used = false;
    if (used) return;
    used = true;
    if (path[0]) UseProfileFile(path);
}
