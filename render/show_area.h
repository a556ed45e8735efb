// Where the show goes inside the saver window. The full-screen window spans every monitor, but
// the pictures, the label and the credit line keep to the primary monitor and the rest of the
// window stays black; a show on every monitor (the EveryMonitor setting) draws each monitor's
// own pictures in that monitor's area. The host records the areas before it makes the window;
// with nothing recorded (the preview, the test programs' windows) the show has the whole client
// area, and only the one.
#pragma once
#include <cstdint>

// Left, top, right and bottom as in the platform's RECT: right and bottom lie just outside.
struct PixelRect {
    std::int32_t Left;
    std::int32_t Top;
    std::int32_t Right;
    std::int32_t Bottom;
};

enum { ShowAreaCapacity = 16 };  // monitors with a show of their own, at most

// In client coordinates. Recorded once, before the window exists; read at every Prepare and
// credit frame.
void RecordShowArea(PixelRect area);

// Every monitor's area, the primary's first (which RecordShowArea records too); at most
// ShowAreaCapacity are kept.
void RecordMonitorShowAreas(const PixelRect* areas, std::int32_t count);

// The recorded area, or the whole client area when none was recorded.
PixelRect ShowAreaIn(PixelRect client);

// How many monitors can have a show of their own: 1 unless RecordMonitorShowAreas recorded more.
std::int32_t MonitorShowAreaCount();

// The area of the show on monitor index (0 the primary, as ShowAreaIn; an index out of range
// gives the primary's).
PixelRect MonitorShowAreaIn(PixelRect client, std::int32_t index);
