// The platform services that portable modules need: a millisecond tick count and lines on the
// debugger's output. On Windows these are GetTickCount and OutputDebugStringA; elsewhere a
// monotonic clock and standard error (never standard output, which tools use for results).
#pragma once
#include <cstdint>

uint32_t TickCount();
void DebugOutput(const char* text);

// A timing trace: the label, then " %lu ms.\n" with the milliseconds since startTick, as two
// separate output strings.
void WriteTrace(const char* label, uint32_t startTick);

// Tests capture the output instead; nullptr restores the platform's own.
typedef void (*DebugOutputSink)(const char* text);
void SetDebugOutputSink(DebugOutputSink sink);
