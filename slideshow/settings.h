// The slideshow's two settings in the user's win.ini profile. The controller spells the section
// "ZorScreenSaver" for BaseDir and "ZorScreensaver" for Interval: the profile matches section
// names without regard to case, so both reach the one section the configuration dialog writes.
#pragma once
#include <cstdint>

enum {
    BaseDirSettingSize = 260,  // a path of at most 259 characters and its terminator
    DefaultIntervalSeconds = 5,
};

// BaseDir as stored, "" when missing, cut to 259 characters.
void ReadBaseDirSetting(char (&text)[BaseDirSettingSize]);

// Interval in seconds as stored (read as a signed decimal number), DefaultIntervalSeconds when
// missing. No range check.
int32_t ReadIntervalSetting();
