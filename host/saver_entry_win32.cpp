// The program's entry. SaverMain reads the command line itself, whatever the start-up code made
// of it, and ends the process with the run mode's result.
#include <windows.h>

#include "host/saver_modes_win32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { SaverMain(); }
