// The show's worker thread: it owns the walk through the picture folder and does all the slow work
// of a slide (listing, reading, decoding, fitting, turning, the palette's entries, the caption's
// text and the backdrop), so that the window's thread never waits on the disk. Each slide it is
// asked for comes back to the window as a posted SlideReadyMessage.
#pragma once
#include <windows.h>

#include <cstdint>

#include "platform/path_buffer.h"
#include "slideshow/slideshow_controller.h"

// Posted to the show's window; lParam is a PreparedSlide the window then owns. Far above WM_APP,
// which the host's password question uses, and the few numbers above it that test windows take.
constexpr UINT SlideReadyMessage = WM_APP + 0x100;

// What the slides are fitted to: the show area's size as the window measured it, and the show it
// is for: 0 the primary monitor's, or another monitor's in a show on every monitor.
struct SlideArea {
    int32_t Width;
    int32_t Height;
    bool PaletteDisplay;  // build the palette entries too
    int32_t Monitor;      // below MonitorShowLimit
    // What comes with the picture: its caption, and its backdrop (never on a palette display).
    bool Captions;
    bool Backdrop;
};

// Shows the one worker makes slides for, each with its own request: the monitors' shows take
// their pictures in turn from the one walk.
enum { MonitorShowLimit = 16 };

// What the walk goes by, from the settings.
struct WalkSettings {
    char BaseDir[PathBufferSize];
    bool Subfolders;
    bool Shuffle;
    char DeckFile[PathBufferSize];  // "" keeps the deck for this run only
};

struct SlideWorker;

// Starts a worker for the window, idle until asked; none when the thread cannot be made.
SlideWorker* StartSlideWorker(HWND window);

// A new show: the walk starts over as the settings say, at a random entry from seed; slides of
// earlier shows that are still being made are cut short.
void RestartSlides(SlideWorker* worker, const WalkSettings& settings, uint32_t seed, uint32_t generation);

// Stops the slides of the current show without starting another (the show went back to its logo).
void CancelSlides(SlideWorker* worker, uint32_t generation);

// Asks for the next slide of the show on area's monitor, fitted to area. Slides wanted for several
// monitors are made in turn.
void RequestSlide(SlideWorker* worker, const SlideArea& area);

// Tells the worker to end and lets go of it, waiting at most graceMs for it to write what it keeps
// (the deck): a worker blocked in a call that never returns stays blocked, and the process ends
// around it. Whatever it was making is freed by the worker when it gets there.
void AbandonSlideWorker(SlideWorker* worker, DWORD graceMs);
