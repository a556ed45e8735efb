// Scope types for the Win32 handles a function holds only while it runs. Each takes what the
// acquiring call returned, written at the call site, and makes the matching release call when the
// scope ends, whichever return leaves it. An empty one (the acquiring call failed) releases
// nothing. Not copyable: one scope, one release.
#pragma once
#include <windows.h>

// A device context from GetDC(window), released with ReleaseDC for the same window (no window:
// the screen's).
class WindowDc {
public:
    WindowDc(HWND window, HDC dc) : window_(window), dc_(dc) {}
    ~WindowDc() { Release(); }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    operator HDC() const { return dc_; }

    // Releases the context before the scope ends: what ReleaseDC returned, 0 when there was none.
    int Release() {
        if (!dc_) return 0;
        const int released = ReleaseDC(window_, dc_);
        dc_ = nullptr;
        return released;
    }

private:
    HWND window_;
    HDC dc_;
};

// A handle that one call gives back (GiveBack) when the scope ends.
template <typename Handle, auto GiveBack>
class HandleScope {
public:
    explicit HandleScope(Handle handle) : handle_(handle) {}
    ~HandleScope() {
        if (handle_) GiveBack(handle_);
    }
    HandleScope(const HandleScope&) = delete;
    HandleScope& operator=(const HandleScope&) = delete;

    operator Handle() const { return handle_; }

private:
    Handle handle_;
};

// A registry key that RegOpenKeyA (or RegOpenKeyExA) opened.
using RegistryKey = HandleScope<HKEY, RegCloseKey>;
// A module from LoadLibraryA.
using LoadedModule = HandleScope<HMODULE, FreeLibrary>;
