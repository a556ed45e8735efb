// The worker's loop: it sleeps until the window asks, then makes one slide at a time. The window
// and the worker share one record; whichever lets go of it last frees it, so the window never
// waits for a worker that may be stuck in a read that never returns.
#include "slideshow/slide_worker_win32.h"

#include <cstdlib>
#include <cstring>

#include "platform/debug_output.h"
#include "platform/trace_labels.h"
#include "render/prepared_load.h"
#include "slideshow/image_directory_walk.h"

struct SlideWorker {
    HWND Window;
    HANDLE Wake;      // auto-reset: the request below changed, or the window let go
    HANDLE Finished;  // manual-reset: the worker wrote what it keeps (the deck) and ended
    volatile LONG References;  // the window's and the worker thread's
    // Read by the loaders' question without the lock: a plain aligned read is enough for a flag
    // that only ever asks them to stop sooner.
    volatile LONG Ended;       // the window let go: the worker ends
    volatile LONG Generation;  // the show slides are made for; a load for another is cut short

    CRITICAL_SECTION Lock;  // over the request
    bool RestartWanted;
    WalkSettings Settings;
    uint32_t Seed;
    bool SlideWanted;
    SlideArea Area;
    LONG SlideGeneration;
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
    bool Slide;
    SlideArea Area;
    LONG Generation;
};

Request TakeRequest(SlideWorker* worker) {
    Request request;
    EnterCriticalSection(&worker->Lock);
    request.Restart = worker->RestartWanted;
    request.Settings = worker->Settings;
    request.Seed = worker->Seed;
    request.Slide = worker->SlideWanted;
    request.Area = worker->Area;
    request.Generation = worker->SlideGeneration;
    worker->RestartWanted = false;
    worker->SlideWanted = false;
    LeaveCriticalSection(&worker->Lock);
    return request;
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

LoadResult AdvanceWalk(void* walk, const LoadControl& control) {
    return AdvanceToNextImage(*static_cast<ImageDirectoryWalk*>(walk), control);
}

// The next picture of the walk, prepared for area; none when the load was cut short (the show
// it was for is over) or the folder cannot be listed now, which *unlisted tells.
PreparedSlide* MakeSlide(SlideWorker* worker, ImageDirectoryWalk& walk, const SlideArea& area,
                         LONG generation, bool* unlisted) {
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
    if (!picture.Image && walk.ListingFailed) {
        *unlisted = true;
        return nullptr;
    }
    PreparedSlide* slide = static_cast<PreparedSlide*>(calloc(1, sizeof(PreparedSlide)));
    if (!slide) {
        ReleasePreparedPicture(picture);
        return nullptr;
    }
    slide->Generation = static_cast<uint32_t>(generation);
    slide->Picture = picture;
    memcpy(slide->Label, walk.CandidatePath, sizeof slide->Label);
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
    Request pending = {};
    uint32_t listingPauseMs = 0;
    uint32_t deckSavedTick = TickCount();
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
        if (request.Slide) {
            pending = request;
            slidePending = true;
        }
        if (slidePending && pending.Generation != worker->Generation) slidePending = false;
        if (!slidePending) continue;

        bool unlisted = false;
        PreparedSlide* slide = MakeSlide(worker, *walk, pending.Area, pending.Generation, &unlisted);
        if (unlisted) {
            listingPauseMs = NextListingPauseMs(listingPauseMs);
            continue;
        }
        listingPauseMs = 0;
        slidePending = false;
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
    worker->SlideWanted = false;
    LeaveCriticalSection(&worker->Lock);
    SetEvent(worker->Wake);
}

void CancelSlides(SlideWorker* worker, uint32_t generation) {
    EnterCriticalSection(&worker->Lock);
    InterlockedExchange(&worker->Generation, static_cast<LONG>(generation));
    worker->SlideWanted = false;
    LeaveCriticalSection(&worker->Lock);
    SetEvent(worker->Wake);
}

void RequestSlide(SlideWorker* worker, const SlideArea& area) {
    EnterCriticalSection(&worker->Lock);
    worker->SlideWanted = true;
    worker->Area = area;
    worker->SlideGeneration = worker->Generation;
    LeaveCriticalSection(&worker->Lock);
    SetEvent(worker->Wake);
}

void AbandonSlideWorker(SlideWorker* worker, DWORD graceMs) {
    InterlockedExchange(&worker->Ended, 1);
    SetEvent(worker->Wake);
    if (graceMs > 0) WaitForSingleObject(worker->Finished, graceMs);
    LetGo(worker);
}
