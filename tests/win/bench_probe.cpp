// A small program that the test bench runs to prove its own plumbing under Wine: exit codes seen
// whole, the command line passed byte for byte, debugger-output lines decoded, the display depth,
// the reported Windows version, win.ini, and a window that reports the keys and mouse input it gets.
//
// Usage: bench_probe MODE [ARGUMENTS]
//   exit N                 ends with ExitProcess(N) (N signed decimal)
//   args                   prints the raw command line
//   argv                   prints the arguments as the C run time split them, one a line
//   debugstrings           writes the fixed set of OutputDebugStringA texts the bench test expects
//   caps                   prints the screen's device capabilities
//   version                prints what GetVersionExA reports
//   profile SECTION KEY    prints a win.ini value
//   window TITLE R G B     shows a 200 x 150 popup at 100, 80 filled with that colour; prints the
//                          input it gets; ends on a key (0x100 + virtual key) or a left click (0x201)
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void PrintLine(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vprintf(format, arguments);
    va_end(arguments);
    printf("\n");
    fflush(stdout);
}

int ExitMode(const char* number) {
    const long code = strtol(number, nullptr, 10);
    PrintLine("probe: exit %ld", code);
    ExitProcess(static_cast<UINT>(code));
}

int ArgsMode() {
    PrintLine("args: [%s]", GetCommandLineA());
    return 0;
}

int ArgvMode(int argc, char** argv) {
    for (int i = 2; i < argc; ++i) PrintLine("argv: [%s]", argv[i]);
    return 0;
}

int DebugStringsMode() {
    OutputDebugStringA("Logo");
    OutputDebugStringA(" 12 ms.\n");
    OutputDebugStringA("\trows");
    OutputDebugStringA("quote \" backslash \\ cr \r end");
    OutputDebugStringA("bytes \x01\x7f\xe8\xff.");
    std::string longText(400, 'x');
    OutputDebugStringA(longText.c_str());
    OutputDebugStringA("last");
    PrintLine("probe: debug strings written");
    return 0;
}

int CapsMode() {
    HDC screen = GetDC(nullptr);
    PrintLine("caps: bits=%d palette=%d sizepalette=%d width=%d height=%d", GetDeviceCaps(screen, BITSPIXEL),
              (GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE) ? 1 : 0, GetDeviceCaps(screen, SIZEPALETTE),
              GetDeviceCaps(screen, HORZRES), GetDeviceCaps(screen, VERTRES));
    ReleaseDC(nullptr, screen);
    return 0;
}

int VersionMode() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExA(&version)) {
        PrintLine("version: failed");
        return 1;
    }
    PrintLine("version: platform=%lu major=%lu minor=%lu", version.dwPlatformId, version.dwMajorVersion,
              version.dwMinorVersion);
    return 0;
}

int ProfileMode(const char* section, const char* key) {
    char value[260];
    GetProfileStringA(section, key, "(missing)", value, sizeof(value));
    PrintLine("profile: [%s]", value);
    return 0;
}

LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            static bool reported = false;
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            EndPaint(window, &paint);
            if (!reported) {
                reported = true;
                PrintLine("window: painted");
            }
            return 0;
        }
        case WM_MOUSEMOVE:
            PrintLine("input: move %d %d", static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
            return 0;
        case WM_KEYDOWN:
            PrintLine("input: key %u", static_cast<unsigned>(wParam));
            PostQuitMessage(0x100 + static_cast<int>(wParam));
            return 0;
        case WM_LBUTTONDOWN:
            PrintLine("input: click %d %d", static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
            PostQuitMessage(0x201);
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WindowMode(const char* title, int red, int green, int blue) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ProbeWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = CreateSolidBrush(RGB(red, green, blue));
    windowClass.lpszClassName = "BenchProbeWindow";
    if (!RegisterClassA(&windowClass)) return 1;
    HWND window = CreateWindowExA(WS_EX_TOPMOST, "BenchProbeWindow", title, WS_POPUP | WS_VISIBLE, 100, 80, 200, 150,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window) return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "exit" && argc == 3) return ExitMode(argv[2]);
    if (mode == "args") return ArgsMode();
    if (mode == "argv") return ArgvMode(argc, argv);
    if (mode == "debugstrings") return DebugStringsMode();
    if (mode == "caps") return CapsMode();
    if (mode == "version") return VersionMode();
    if (mode == "profile" && argc == 4) return ProfileMode(argv[2], argv[3]);
    if (mode == "window" && argc == 6) return WindowMode(argv[2], atoi(argv[3]), atoi(argv[4]), atoi(argv[5]));
    fprintf(stderr, "bench_probe: unknown mode\n");
    return 2;
}
