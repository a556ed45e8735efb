// The program's manifest as the system applies it: this program carries the .scr's resources,
// manifest included, so it starts with the same activation context. (DPI awareness cannot be
// told apart here: Wine reports every process DPI-aware.)
#include <windows.h>
#include <commctrl.h>

#include <cctype>
#include <string>

#include "tests/win/check.h"

int main() {
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_BAR_CLASSES};
    Check(InitCommonControlsEx(&classes) != FALSE, "InitCommonControlsEx");
    // The manifest's dependency loads comctl32 from the side-by-side store, version 6, instead of
    // the system folder's version 5.
    char path[MAX_PATH] = "";
    GetModuleFileNameA(GetModuleHandleA("comctl32.dll"), path, MAX_PATH);
    std::string loaded = path;
    for (char& c : loaded) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    Check(loaded.find("common-controls_") != std::string::npos && loaded.find("_6.0.") != std::string::npos,
          (std::string("comctl32 version 6 from the side-by-side store: ") + path).c_str());
    return FinishChecks();
}
