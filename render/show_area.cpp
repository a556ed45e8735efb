#include "render/show_area.h"

namespace {

// Written by the host alone, before the saver window exists.
struct ShowAreaRecord {
    bool Recorded;
    PixelRect Area;
    std::int32_t MonitorCount;  // beyond the primary's, 0 unless recorded
    PixelRect Monitors[ShowAreaCapacity];
};

ShowAreaRecord ShowArea = {};

}  // namespace

void RecordShowArea(PixelRect area) {
    ShowArea.Recorded = true;
    ShowArea.Area = area;
}

void RecordMonitorShowAreas(const PixelRect* areas, std::int32_t count) {
    if (count <= 0) return;
    RecordShowArea(areas[0]);
    if (count > ShowAreaCapacity) count = ShowAreaCapacity;
    for (std::int32_t i = 0; i < count; ++i) ShowArea.Monitors[i] = areas[i];
    ShowArea.MonitorCount = count;
}

PixelRect ShowAreaIn(PixelRect client) { return ShowArea.Recorded ? ShowArea.Area : client; }

std::int32_t MonitorShowAreaCount() { return ShowArea.MonitorCount > 1 ? ShowArea.MonitorCount : 1; }

PixelRect MonitorShowAreaIn(PixelRect client, std::int32_t index) {
    if (index <= 0 || index >= MonitorShowAreaCount()) return ShowAreaIn(client);
    return ShowArea.Monitors[index];
}
