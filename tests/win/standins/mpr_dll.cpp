// Stand-in MPR.DLL for the tests. PwdChangePasswordA records its arguments; with
// SAVER_TEST_CHANGE_ANSWER=fault it writes through a null pointer instead of returning.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "standin_script.h"

extern "C" DWORD WINAPI PwdChangePasswordA(LPCSTR provider, HWND owner, DWORD reserved1, LPVOID reserved2) {
    char answer[32];
    ScriptedAnswer("SAVER_TEST_CHANGE_ANSWER", 0, "0", answer, sizeof answer);
    RecordCall("STANDIN MPR.DLL PwdChangePasswordA provider=%s owner=%lu arg3=%lu arg4=%lu\n",
               provider ? provider : "(null)", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(owner)),
               static_cast<unsigned long>(reserved1),
               static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(reserved2)));
    if (std::strcmp(answer, "fault") == 0) Fault();
    return static_cast<DWORD>(std::atoi(answer));
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) RecordCall("STANDIN MPR.DLL loaded\n");
    if (reason == DLL_PROCESS_DETACH) RecordCall("STANDIN MPR.DLL released\n");
    return TRUE;
}
