// Tick count and debug output on Windows.
#include <windows.h>

#include "platform/debug_output.h"

namespace {
DebugOutputSink CurrentSink = nullptr;
}

uint32_t TickCount() { return GetTickCount(); }

void DebugOutput(const char* text) {
    if (CurrentSink) {
        CurrentSink(text);
        return;
    }
    OutputDebugStringA(text);
}

void SetDebugOutputSink(DebugOutputSink sink) { CurrentSink = sink; }
