// Stand-in PASSWORD.CPL for the tests. VerifyScreenSavePwd answers from
// SAVER_TEST_VERIFY_ANSWERS (comma-separated, one per call, the last repeating; "fault" writes
// through a null pointer), after pumping messages for SAVER_TEST_VERIFY_PUMP_MS. After the first
// answer it posts WM_CLOSE to the window at each offset of SAVER_TEST_CLOSE_AFTER_MS, timed from
// the end of that verification: closes the saver must refuse, or ask about, by their timing.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "standin_script.h"

namespace {

int VerifyCalls;
HWND SaverWindow;
DWORD AnsweredTick;

void CALLBACK PostScheduledClose(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    RecordCall("STANDIN PASSWORD.CPL posting WM_CLOSE at +%lu ms\n",
               static_cast<unsigned long>(GetTickCount() - AnsweredTick));
    PostMessageA(SaverWindow, WM_CLOSE, 0, 0);
}

void ScheduleCloses(HWND window) {
    const char* offsets = std::getenv("SAVER_TEST_CLOSE_AFTER_MS");
    if (!offsets) return;
    SaverWindow = window;
    AnsweredTick = GetTickCount();
    for (const char* p = offsets; *p;) {
        SetTimer(nullptr, 0, static_cast<UINT>(std::atoi(p)), PostScheduledClose);
        const char* comma = std::strchr(p, ',');
        if (!comma) break;
        p = comma + 1;
    }
}

}  // namespace

extern "C" BOOL WINAPI VerifyScreenSavePwd(HWND window) {
    char answer[32];
    ScriptedAnswer("SAVER_TEST_VERIFY_ANSWERS", VerifyCalls, "1", answer, sizeof answer);
    int call = ++VerifyCalls;
    RecordCall("STANDIN PASSWORD.CPL VerifyScreenSavePwd call=%d window=%lu running=%d answer=%s\n", call,
               static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)), ScreenSaverRunningState(), answer);
    const char* pump = std::getenv("SAVER_TEST_VERIFY_PUMP_MS");
    if (pump) PumpMessagesFor(static_cast<DWORD>(std::atoi(pump)));
    if (std::strcmp(answer, "fault") == 0) Fault();
    if (call == 1) ScheduleCloses(window);
    return std::atoi(answer);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) RecordCall("STANDIN PASSWORD.CPL loaded running=%d\n", ScreenSaverRunningState());
    if (reason == DLL_PROCESS_DETACH)
        RecordCall("STANDIN PASSWORD.CPL released running=%d\n", ScreenSaverRunningState());
    return TRUE;
}
