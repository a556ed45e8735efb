// STAND-IN, to be replaced by the slideshow: a ScreenSaverProc that shows nothing of its own and
// hands every message to the host's DefaultSaverProc, so that the host can run and be tested
// before the slideshow lands. Delete this file when the real ScreenSaverProc exists.
#include <windows.h>

#include "host/default_saver_proc.h"
#include "slideshow/screen_saver_proc.h"

extern "C" LRESULT WINAPI ScreenSaverProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefaultSaverProc(hwnd, message, wParam, lParam);
}
