// Where the show goes inside the saver window. The full-screen window spans every monitor, but
// the pictures, the label and the credit line keep to the primary monitor and the rest of the
// window stays black. The host records the primary monitor's place in the window before it makes
// the window; with nothing recorded (the preview, the test programs' windows) the show has the
// whole client area.
#pragma once
#include <cstdint>

// Left, top, right and bottom as in the platform's RECT: right and bottom lie just outside.
struct PixelRect {
    std::int32_t Left;
    std::int32_t Top;
    std::int32_t Right;
    std::int32_t Bottom;
};

// In client coordinates. Recorded once, before the window exists; read at every Prepare and
// credit frame.
void RecordShowArea(PixelRect area);

// The recorded area, or the whole client area when none was recorded.
PixelRect ShowAreaIn(PixelRect client);
