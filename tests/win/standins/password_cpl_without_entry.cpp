// Stand-in PASSWORD.CPL without VerifyScreenSavePwd: the host must release it at once.
#include <windows.h>

#include "standin_script.h"

extern "C" BOOL WINAPI SomethingElse(HWND) { return TRUE; }

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) RecordCall("STANDIN PASSWORD.CPL loaded (no entry)\n");
    if (reason == DLL_PROCESS_DETACH) RecordCall("STANDIN PASSWORD.CPL released (no entry)\n");
    return TRUE;
}
