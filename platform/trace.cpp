// Timing traces, in the one form every trace of the program takes.
#include "platform/debug_output.h"

#include <cstdio>

void WriteTrace(const char* label, uint32_t startTick) {
    const uint32_t elapsed = TickCount() - startTick;  // unsigned: right across the wrap-around
    char line[32];
    snprintf(line, sizeof line, " %lu ms.\n", static_cast<unsigned long>(elapsed));
    DebugOutput(label);
    DebugOutput(line);
}
