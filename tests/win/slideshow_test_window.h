// What the slideshow's Windows test programs share: a window like the saver's (a class with its
// own device context, which the presenter relies on, and a black background), marks in the
// debugger output between the program's own traces, and the screenshot handshake with the bench.
#pragma once
#include <windows.h>

// A visible popup at (0, 0) of the given client size, titled title, whose procedure is proc.
HWND CreateSaverLikeWindow(WNDPROC proc, int width, int height, const char* title);

// One debugger-output string "mark TEXT", so that the bench sees where the program's own traces
// fall among the program's steps.
void Mark(const char* format, ...);

// Prints "SHOT name" and waits until the bench has taken its screenshot and made the file
// shotDir\name.done. While it waits the window system gets to put what was drawn on the screen;
// no message is handled. Returns false when no answer came.
bool WaitForScreenshot(const char* shotDir, const char* name);

// The palette objects the code linked into this program makes and deletes, counted where it calls
// the system: CountPalettes redirects the program's imports of CreatePalette and DeleteObject
// (a deletion counts when the object is a palette). The tests' own calls count too.
struct PaletteCount {
    long Made;
    long Deleted;
};
void CountPalettes();
PaletteCount PalettesCounted();
