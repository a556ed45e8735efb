// The scope types of platform/handle_scopes_win32.h give back what they hold when a function
// returns early with them in scope: the module is freed and the registry key closed.
#include <windows.h>

#include "platform/handle_scopes_win32.h"
#include "tests/win/check.h"

namespace {

// A module no part of this program loads by itself.
const char ModuleName[] = "mpr.dll";

// Opens a key and loads the module, then returns from the middle; the opened key's handle is
// returned so that the caller can see it closed.
HKEY HoldKeyAndModuleThenReturnEarly() {
    HKEY opened = nullptr;
    if (RegOpenKeyA(HKEY_CURRENT_USER, "Software", &opened) != ERROR_SUCCESS) return nullptr;
    RegistryKey key(opened);
    LoadedModule module(LoadLibraryA(ModuleName));
    if (!Check(module != nullptr, "the module loads")) return opened;
    Check(GetModuleHandleA(ModuleName) == module, "the module is loaded while its scope holds it");
    DWORD subkeys = 0;
    const LONG read = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, nullptr);
    if (read == ERROR_SUCCESS) return opened;
    CheckEqual(read, ERROR_SUCCESS, "the open key answers");
    return opened;
}

}  // namespace

int main() {
    if (!Check(GetModuleHandleA(ModuleName) == nullptr, "the module is not loaded before the test"))
        return FinishChecks();
    HKEY key = HoldKeyAndModuleThenReturnEarly();
    if (!Check(key != nullptr, "HKCU\\Software opens")) return FinishChecks();
    Check(GetModuleHandleA(ModuleName) == nullptr, "the module is freed when its scope ends");
    DWORD subkeys = 0;
    CheckEqual(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr),
               ERROR_INVALID_HANDLE, "the key is closed when its scope ends");
    return FinishChecks();
}
