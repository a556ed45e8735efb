#include "render/show_area.h"

namespace {

// Written by the host alone, before the saver window exists.
struct ShowAreaRecord {
    bool Recorded;
    PixelRect Area;
};

ShowAreaRecord ShowArea = {};

}  // namespace

void RecordShowArea(PixelRect area) { ShowArea = {true, area}; }

PixelRect ShowAreaIn(PixelRect client) { return ShowArea.Recorded ? ShowArea.Area : client; }
