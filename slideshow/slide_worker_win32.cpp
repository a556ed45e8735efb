// The worker's loop: it sleeps until the window asks, then makes one slide at a time. The window
// and the worker share one record; whichever lets go of it last frees it, so the window never
// waits for a worker that may be stuck in a read that never returns.
#include "slideshow/slide_worker_win32.h"

#include <cstdlib>
#include <cstring>

#include "imaging/display_profile_win32.h"
#include "platform/debug_output.h"
#include "platform/trace_labels.h"
#include "render/backdrop.h"
#include "render/prepared_load.h"
#include "slideshow/image_directory_walk.h"

struct SlideWorker {
    HWND Window;
    char DisplayProfile[MAX_PATH];  // the monitor's profile, read here before the first picture
    HANDLE Wake;                    // auto-reset: the request below changed, or the window let go
    HANDLE Finished;                // manual-reset: the worker wrote what it keeps (the deck) and ended
    volatile LONG References;       // the window's and the worker thread's
    // Read by the loaders' question without the lock: a plain aligned read is enough for a flag
    // that only ever asks them to stop sooner.
    volatile LONG Ended;       // the window let go: the worker ends
    volatile LONG Generation;  // the show slides are made for; a load for another is cut short

    CRITICAL_SECTION Lock;  // over the request
    bool RestartWanted;
    WalkSettings Settings;
    uint32_t Seed;
    // One slide wanted per monitor's show at most, each for the show it was asked in.
    bool SlideWanted[MonitorShowLimit];
    SlideArea Area[MonitorShowLimit];
    LONG SlideGeneration[MonitorShowLimit];
};

namespace {

void LetGo(SlideWorker* worker) {
    if (InterlockedDecrement(&worker->References) != 0) return;
    DeleteCriticalSection(&worker->Lock);
    CloseHandle(worker->Wake);
    CloseHandle(worker->Finished);
    free(worker);
}

struct Request {
    bool Restart;
    WalkSettings Settings;
    uint32_t Seed;
    bool Slide[MonitorShowLimit];
    SlideArea Area[MonitorShowLimit];
    LONG Generation[MonitorShowLimit];
};

Request TakeRequest(SlideWorker* worker) {
    Request request;
    EnterCriticalSection(&worker->Lock);
    request.Restart = worker->RestartWanted;
    request.Settings = worker->Settings;
    request.Seed = worker->Seed;
    for (int i = 0; i < MonitorShowLimit; ++i) {
        request.Slide[i] = worker->SlideWanted[i];
        request.Area[i] = worker->Area[i];
        request.Generation[i] = worker->SlideGeneration[i];
        worker->SlideWanted[i] = false;
    }
    worker->RestartWanted = false;
    LeaveCriticalSection(&worker->Lock);
    return request;
}

// The slides owed: one per monitor's show at most.
struct PendingSlides {
    bool Owed[MonitorShowLimit];
    SlideArea Area[MonitorShowLimit];
    LONG Generation[MonitorShowLimit];
};

// Takes what the request asks for, and forgets what was owed to a show that is over; whether a
// slide is still owed.
bool TakeOwedSlides(PendingSlides& pending, const Request& request, LONG generation) {
    bool any = false;
    for (int i = 0; i < MonitorShowLimit; ++i) {
        if (request.Slide[i]) {
            pending.Owed[i] = true;
            pending.Area[i] = request.Area[i];
            pending.Generation[i] = request.Generation[i];
        }
        if (pending.Owed[i] && pending.Generation[i] != generation) pending.Owed[i] = false;
        any = any || pending.Owed[i];
    }
    return any;
}

// The next show owed a slide after the one last served, so that no monitor waits behind another;
// -1 when none is.
int NextOwedSlide(const PendingSlides& pending, int lastServed) {
    for (int step = 1; step <= MonitorShowLimit; ++step) {
        const int i = (lastServed + step) % MonitorShowLimit;
        if (pending.Owed[i]) return i;
    }
    return -1;
}

// The loaders' one question: is the show this slide is for still on?
struct SlideGate {
    const SlideWorker* Worker;
    LONG Generation;
};

bool ShowGoesOn(void* context) {
    const SlideGate* gate = static_cast<const SlideGate*>(context);
    return !gate->Worker->Ended && gate->Worker->Generation == gate->Generation;
}

// The caption and the backdrop, made here with the rest of the slow work. The label is the path
// in the walk's form, which the file calls take on Windows as it is.
void AddLooks(PreparedSlide& slide, const SlideArea& area, const ExifDate& taken) {
    if (!slide.Picture.Image.Block) return;
    if (area.Backdrop && !area.PaletteDisplay) {
        const uint32_t startTick = TickCount();
        slide.Picture.Backdrop = MakeBackdrop(slide.Picture.Image, area.Width, area.Height);
        if (slide.Picture.Backdrop.Block) WriteTrace(TraceLabel::Backdrop, startTick);
    }
    if (area.Captions) MakeCaption(slide.Label, taken, slide.Caption);
}

LoadResult AdvanceWalk(void* walk, const LoadControl& control) {
    return AdvanceToNextImage(*static_cast<ImageDirectoryWalk*>(walk), control);
}

// The next picture of the walk, prepared for area; none when the load was cut short (the show
// it was for is over) or the folder cannot be listed now, which *unlisted tells.
PreparedSlide* MakeSlide(SlideWorker* worker, ImageDirectoryWalk& walk, const SlideArea& area, LONG generation,
                         bool* unlisted) {
    *unlisted = false;
    const uint32_t startTick = TickCount();
    SlideGate gate = {worker, generation};
    LoadResult next;
    PreparedPicture picture = LoadPreparedPicture(AdvanceWalk, &walk, LoadControl{ShowGoesOn, &gate, nullptr},
                                                  area.Width, area.Height, area.PaletteDisplay, &next);
    if (next.CutShort) {
        WriteTrace(TraceLabel::LoadCutShort, startTick);
        return nullptr;
    }
    if (!picture.Image.Block && walk.ListingFailed) {
        *unlisted = true;
        return nullptr;
    }
    PreparedSlide* slide = static_cast<PreparedSlide*>(calloc(1, sizeof(PreparedSlide)));
    if (!slide) {
        ReleasePreparedPicture(picture);
        return nullptr;
    }
    slide->Generation = static_cast<uint32_t>(generation);
    slide->Monitor = area.Monitor;
    slide->Picture = picture;
    memcpy(slide->Label, walk.CandidatePath, sizeof slide->Label);
    AddLooks(*slide, area, next.Taken);
    return slide;
}

// The deck is written now and then while the show runs: the process may end around a worker
// that never gets to the end of its loop.
const uint32_t DeckSavePeriodMs = 30000;

DWORD WINAPI SlideWorkerMain(void* context) {
    SlideWorker* worker = static_cast<SlideWorker*>(context);
    ImageDirectoryWalk* walk = static_cast<ImageDirectoryWalk*>(calloc(1, sizeof(ImageDirectoryWalk)));
    bool slidePending = false;
    bool listingLeft = false;  // the library has more of the tree to list between slides
    PendingSlides pending = {};
    int lastServed = MonitorShowLimit - 1;  // the primary's show is served first
    uint32_t listingPauseMs = 0;
    uint32_t deckSavedTick = TickCount();
    UseMonitorProfileFile(worker->DisplayProfile);
    while (walk && !worker->Ended) {
        // With a slide owed for a folder that could not be listed, the wait is the pause before
        // the next try; with nothing owed and more of the tree to list, a look only. A new
        // request ends the wait sooner.
        DWORD timeout = slidePending ? listingPauseMs : (listingLeft ? 0 : INFINITE);
        const bool woken = WaitForSingleObject(worker->Wake, timeout) == WAIT_OBJECT_0;
        if (worker->Ended) break;
        if (!woken && !slidePending && listingLeft) {
            listingLeft = ListMoreOfLibrary(*walk);
            continue;
        }
        const Request request = TakeRequest(worker);
        if (request.Restart) {
            SetImageDir(*walk, request.Settings.BaseDir);
            SetWalkWays(*walk, request.Settings.Subfolders, request.Settings.Shuffle, request.Settings.DeckFile);
            PickRandomStart(*walk, request.Seed);
            listingPauseMs = 0;
            listingLeft = walk->Library != nullptr;
        }
        slidePending = TakeOwedSlides(pending, request, worker->Generation);
        if (!slidePending) continue;

        const int monitor = NextOwedSlide(pending, lastServed);
        bool unlisted = false;
        PreparedSlide* slide = MakeSlide(worker, *walk, pending.Area[monitor], pending.Generation[monitor], &unlisted);
        if (unlisted) {
            listingPauseMs = NextListingPauseMs(listingPauseMs);
            continue;
        }
        listingPauseMs = 0;
        pending.Owed[monitor] = false;
        lastServed = monitor;
        slidePending = NextOwedSlide(pending, lastServed) >= 0;
        // A window already gone takes no message: the slide is freed here instead.
        if (slide && !PostMessageA(worker->Window, SlideReadyMessage, 0, reinterpret_cast<LPARAM>(slide)))
            ReleasePreparedSlide(slide);
        listingLeft = walk->Library != nullptr;  // a listing the last step began goes on meanwhile
        if (TickCount() - deckSavedTick >= DeckSavePeriodMs) {
            SaveDeck(*walk);
            deckSavedTick = TickCount();
        }
    }
    if (walk) EndWalk(*walk);
    free(walk);
    SetEvent(worker->Finished);
    LetGo(worker);
    return 0;
}

}  // namespace

SlideWorker* StartSlideWorker(HWND window) {
    SlideWorker* worker = static_cast<SlideWorker*>(calloc(1, sizeof(SlideWorker)));
    if (!worker) return nullptr;
    worker->Window = window;
    MonitorProfilePath(window, worker->DisplayProfile);
    worker->Wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    worker->Finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!worker->Wake || !worker->Finished) {
        if (worker->Wake) CloseHandle(worker->Wake);
        if (worker->Finished) CloseHandle(worker->Finished);
        free(worker);
        return nullptr;
    }
    InitializeCriticalSection(&worker->Lock);
    worker->References = 2;
    DWORD threadId = 0;  // Windows 95 and 98 refuse to start a thread without somewhere to put it
    HANDLE thread = CreateThread(nullptr, 0, SlideWorkerMain, worker, 0, &threadId);
    if (!thread) {
        DeleteCriticalSection(&worker->Lock);
        CloseHandle(worker->Wake);
        CloseHandle(worker->Finished);
        free(worker);
        return nullptr;
    }
    CloseHandle(thread);  // nobody ever waits for it
    return worker;
}

void RestartSlides(SlideWorker* worker, const WalkSettings& settings, uint32_t seed, uint32_t generation) {
    EnterCriticalSection(&worker->Lock);
    InterlockedExchange(&worker->Generation, static_cast<LONG>(generation));
    worker->RestartWanted = true;
    worker->Settings = settings;
    worker->Seed = seed;
    for (bool& wanted : worker->SlideWanted) wanted = false;
    LeaveCriticalSection(&worker->Lock);
    SetEvent(worker->Wake);
}

void CancelSlides(SlideWorker* worker, uint32_t generation) {
    EnterCriticalSection(&worker->Lock);
    InterlockedExchange(&worker->Generation, static_cast<LONG>(generation));
    for (bool& wanted : worker->SlideWanted) wanted = false;
    LeaveCriticalSection(&worker->Lock);
    SetEvent(worker->Wake);
}

void RequestSlide(SlideWorker* worker, const SlideArea& area) {
    if (area.Monitor < 0 || area.Monitor >= MonitorShowLimit) return;
    EnterCriticalSection(&worker->Lock);
    worker->SlideWanted[area.Monitor] = true;
    worker->Area[area.Monitor] = area;
    worker->SlideGeneration[area.Monitor] = worker->Generation;
    LeaveCriticalSection(&worker->Lock);
    SetEvent(worker->Wake);
}

void AbandonSlideWorker(SlideWorker* worker, DWORD graceMs) {
    InterlockedExchange(&worker->Ended, 1);
    SetEvent(worker->Wake);
    if (graceMs > 0) WaitForSingleObject(worker->Finished, graceMs);
    LetGo(worker);
}
