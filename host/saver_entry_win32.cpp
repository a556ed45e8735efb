// The program's entry. The run modes (saver, preview, settings, password change) are dispatched
// from here once the host exists; until then the program starts and ends with nothing to do.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return 0;
}
