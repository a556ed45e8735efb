// Tick count and debug output for the native builds.
#include <cstdio>
#include <ctime>

#include "platform/debug_output.h"

namespace {
DebugOutputSink CurrentSink = nullptr;
}

uint32_t TickCount() {
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void DebugOutput(const char* text) {
    if (CurrentSink) {
        CurrentSink(text);
        return;
    }
    fputs(text, stderr);
}

void SetDebugOutputSink(DebugOutputSink sink) { CurrentSink = sink; }
