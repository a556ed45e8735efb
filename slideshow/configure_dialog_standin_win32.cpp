// STAND-IN, to be replaced by the configuration dialog: OK ends with 1 and Cancel with 0, and
// nothing is read or stored. Delete this file and configure_dialog_standin.rc when the real
// dialog lands.
#include <windows.h>

#include "slideshow/configure_dialog.h"

BOOL RegisterDialogControls(HINSTANCE) { return TRUE; }

extern "C" INT_PTR WINAPI ScreenSaverConfigureDialog(HWND dialog, UINT message, WPARAM wParam,
                                                  LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam) == IDOK ? 1 : 0);
    return TRUE;
  }
  return FALSE;
}
