// UTF-8 and UTF-16 path texts for the NT side, the W functions found by name.
#include "platform/wide_text_win32.h"

bool UsesWideCalls() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void* LoadedModuleFunction(const char* module, const char* name) {
    HMODULE handle = GetModuleHandleA(module);
    return handle ? reinterpret_cast<void*>(GetProcAddress(handle, name)) : nullptr;
}

bool WidePathFromText(const char* text, wchar_t (&wide)[PathBufferSize]) {
    return MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, PathBufferSize) > 0;
}

bool TextFromWidePath(const wchar_t* wide, char* text, size_t size) {
    return WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, static_cast<int>(size), nullptr, nullptr) > 0;
}
