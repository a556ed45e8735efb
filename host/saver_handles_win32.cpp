#include "host/saver_handles_win32.h"

SaverHandles HostHandles = {};
