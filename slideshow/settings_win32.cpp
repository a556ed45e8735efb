// The slideshow's reads of its settings through the platform's profile calls.
#include <windows.h>

#include "slideshow/settings.h"

void ReadBaseDirSetting(char (&text)[PathBufferSize]) {
    GetProfileStringA(BaseDirSetting.SlideshowSection, BaseDirSetting.Key, "", text,
                      PathBufferSize);
}

int32_t ReadIntervalSetting() {
    // The platform returns the number as UINT; a stored negative number comes back two's complement.
    return static_cast<int32_t>(GetProfileIntA(IntervalSetting.SlideshowSection,
                                               IntervalSetting.Key, DefaultIntervalSeconds));
}
