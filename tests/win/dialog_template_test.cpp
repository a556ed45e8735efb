// Template 2003 as it stands in the .scr file and as it comes out on the screen under
// "screensaver.scr /c": the dialog, its eighteen controls in order, their rectangles, the tab order
// and the focus; bitmap 122 and the manifest from the same file.
//
// Usage: dialog_template_test SCR_PATH [--file-only]
//   --file-only reads the file's resources and runs nothing (a .scr that cannot run here)
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "slideshow/settings.h"
#include "tests/win/check.h"
#include "tests/win/dialog_driver.h"

namespace {

const WORD NoIdentifier = 0xFFFF;

struct ExpectedControl {
    WORD Identifier;
    const char* ClassName;
    WORD ClassAtom;  // the template's ordinal for the predefined classes, 0 for a class by name
    const char* Text;
    DWORD Style;
    short X, Y, Width, Height;
};

const DWORD Child = WS_CHILD | WS_VISIBLE;
const ExpectedControl Controls[18] = {
    {101, "Button", 0x80, "Ritardo fra i frame (sec)", Child | BS_GROUPBOX, 5, 35, 225, 41},
    {20, "Button", 0x80, "OK", Child | WS_TABSTOP, 190, 79, 40, 14},
    {30, "Button", 0x80, "Cancel", Child | WS_TABSTOP, 190, 101, 40, 14},
    {1003, "Edit", 0x81, "", Child | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 9, 93, 133, 15},
    {1004, "Button", 0x80, "Seleziona", Child | WS_TABSTOP, 144, 91, 34, 17},
    {NoIdentifier, "Button", 0x80, "Directory con immagini", Child | BS_GROUPBOX, 5, 81, 176, 33},
    {1008, "msctls_trackbar32", 0, "Slider1", Child | WS_TABSTOP | TBS_AUTOTICKS | TBS_TOP, 15, 52, 208, 20},
    {NoIdentifier, "Static", 0x82, "1", Child | SS_LEFT | WS_GROUP, 22, 43, 8, 8},
    {NoIdentifier, "Static", 0x82, "60", Child | SS_LEFT | WS_GROUP, 209, 43, 9, 8},
    {NoIdentifier, "Static", 0x82, "30", Child | SS_LEFT | WS_GROUP, 113, 43, 9, 8},
    {NoIdentifier, "Static", 0x82, nullptr, Child | SS_CENTER | WS_GROUP, 0, 192, 230, 33},  // the credits
    {NoIdentifier, "Static", 0x82, nullptr, Child | SS_BITMAP, 38, 4, 156, 25},              // the banner
    {1010, "Button", 0x80, "Includi le sottocartelle", Child | WS_TABSTOP | BS_AUTOCHECKBOX, 9, 118, 172, 10},
    {1011, "Button", 0x80, "Ordine casuale senza ripetizioni", Child | WS_TABSTOP | BS_AUTOCHECKBOX, 9, 130, 172, 10},
    {1012, "Button", 0x80, "Didascalia con data e cartella", Child | WS_TABSTOP | BS_AUTOCHECKBOX, 9, 142, 172, 10},
    {1013, "Button", 0x80, "Dissolvenza fra le immagini", Child | WS_TABSTOP | BS_AUTOCHECKBOX, 9, 154, 172, 10},
    {1014, "Button", 0x80, "Sfondo sfumato ai lati delle immagini", Child | WS_TABSTOP | BS_AUTOCHECKBOX, 9, 166, 172,
     10},
    {1015, "Button", 0x80, "Una presentazione su ogni monitor", Child | WS_TABSTOP | BS_AUTOCHECKBOX, 9, 178, 172, 10},
};
const int ControlCount = 18;
const int CreditsIndex = 10;
const int BannerIndex = 11;

const DWORD DialogStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

std::string Describe(int index, const char* what) {
    char text[160];
    snprintf(text, sizeof text, "control %d (%d): %s", index + 1, Controls[index].Identifier, what);
    return text;
}

// --- the template's bytes ------------------------------------------------------------------

struct TemplateReader {
    const BYTE* At;

    WORD Word() {
        WORD value;
        memcpy(&value, At, 2);
        At += 2;
        return value;
    }
    DWORD DoubleWord() {
        DWORD value;
        memcpy(&value, At, 4);
        At += 4;
        return value;
    }
    std::string WideText() {  // the texts here are ASCII
        std::string text;
        for (WORD c = Word(); c != 0; c = Word()) text += static_cast<char>(c);
        return text;
    }
    // A name or an ordinal: 0 is none, 0xFFFF is followed by the ordinal.
    void NameOrOrdinal(std::string* name, WORD* ordinal) {
        *ordinal = 0;
        name->clear();
        const WORD first = Word();
        if (first == 0xFFFF) {
            *ordinal = Word();
        } else if (first != 0) {
            At -= 2;
            *name = WideText();
        }
    }
    void AlignToDoubleWord(const BYTE* start) {
        while ((At - start) % 4 != 0) ++At;
    }
};

void CheckTemplateBytes(HMODULE scr) {
    HRSRC info = FindResourceA(scr, MAKEINTRESOURCEA(2003), MAKEINTRESOURCEA(5));  // RT_DIALOG
    if (!Check(info != nullptr, "dialog resource 2003 exists")) return;
    const BYTE* start = static_cast<const BYTE*>(LockResource(LoadResource(scr, info)));
    TemplateReader reader = {start};
    CheckEqual(reader.DoubleWord(), DialogStyle, "template style");
    CheckEqual(reader.DoubleWord(), 0, "template extended style");
    const WORD count = reader.Word();
    if (!CheckEqual(count, ControlCount, "template control count")) return;
    const short x = reader.Word(), y = reader.Word(), cx = reader.Word(), cy = reader.Word();
    Check(x == 6 && y == 18 && cx == 232 && cy == 231, "template position 6, 18, size 232 by 231");
    std::string name;
    WORD ordinal;
    reader.NameOrOrdinal(&name, &ordinal);
    Check(name.empty() && ordinal == 0, "template has no menu");
    reader.NameOrOrdinal(&name, &ordinal);
    Check(name.empty() && ordinal == 0, "template uses the standard dialog class");
    CheckText(reader.WideText().c_str(), "Impostazioni Orvindale screeensaver", "template title");
    CheckEqual(reader.Word(), 8, "font size in points");
    CheckText(reader.WideText().c_str(), "MS Sans Serif", "font name");

    for (int i = 0; i < count; ++i) {
        const ExpectedControl& expected = Controls[i];
        reader.AlignToDoubleWord(start);
        CheckEqual(reader.DoubleWord(), expected.Style, Describe(i, "template style").c_str());
        CheckEqual(reader.DoubleWord(), 0, Describe(i, "template extended style").c_str());
        const short left = reader.Word(), top = reader.Word(), width = reader.Word(), height = reader.Word();
        Check(left == expected.X && top == expected.Y && width == expected.Width && height == expected.Height,
              Describe(i, "template rectangle").c_str());
        CheckEqual(reader.Word(), expected.Identifier, Describe(i, "template identifier").c_str());
        reader.NameOrOrdinal(&name, &ordinal);
        if (expected.ClassAtom) {
            CheckEqual(ordinal, expected.ClassAtom, Describe(i, "template class ordinal").c_str());
        } else {
            // windres stores class names in capitals; the system matches them without regard to case.
            Check(lstrcmpiA(name.c_str(), expected.ClassName) == 0, Describe(i, "template class name").c_str());
        }
        reader.NameOrOrdinal(&name, &ordinal);
        if (i == BannerIndex) {
            CheckEqual(ordinal, 122, Describe(i, "shows bitmap 122").c_str());
        } else if (expected.Text) {
            CheckText(name.c_str(), expected.Text, Describe(i, "template text").c_str());
        }
        reader.At += reader.Word();  // creation data
    }
}

void CheckBannerBitmap(HMODULE scr) {
    HRSRC info = FindResourceA(scr, MAKEINTRESOURCEA(122), MAKEINTRESOURCEA(2));  // RT_BITMAP
    if (!Check(info != nullptr, "bitmap resource 122 exists")) return;
    BITMAPINFOHEADER header;
    memcpy(&header, LockResource(LoadResource(scr, info)), sizeof header);
    Check(header.biWidth == 234 && header.biHeight == 40, "bitmap 122 is 234 by 40");
    Check(header.biBitCount == 8 && (header.biClrUsed == 0 || header.biClrUsed == 256), "bitmap 122 has 256 colours");
}

void CheckManifest(HMODULE scr) {
    HRSRC info = FindResourceA(scr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    if (!Check(info != nullptr, "manifest resource 1 exists")) return;
    const std::string text(static_cast<const char*>(LockResource(LoadResource(scr, info))), SizeofResource(scr, info));
    Check(text.find("Microsoft.Windows.Common-Controls") != std::string::npos &&
              text.find("version=\"6.0.0.0\"") != std::string::npos,
          "the manifest asks for common controls 6");
    // Per-monitor awareness where the system knows it, system awareness on Vista to 8; each in
    // the namespace that system reads, or it is not seen at all.
    Check(text.find("2005/WindowsSettings\">true/pm</dpiAware>") != std::string::npos,
          "the manifest declares per-monitor DPI awareness in the 2005 form, true for older systems");
    Check(text.find("2016/WindowsSettings\">PerMonitorV2, PerMonitor</dpiAwareness>") != std::string::npos,
          "the manifest declares PerMonitorV2, then PerMonitor, in the 2016 form");
    Check(text.find("<trustInfo") == std::string::npos && text.find("<requestedExecutionLevel") == std::string::npos,
          "the manifest asks for no execution level");
}

// --- the dialog on the screen --------------------------------------------------------------

INT_PTR CALLBACK ReferenceDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// A dialog of this process with the template's font: MapDialogRect works only on a dialog of the
// calling process, and this one turns dialog units into the pixels that font gives.
HWND CreateReferenceDialog() {
    alignas(4) WORD buffer[64] = {};
    WORD* at = buffer;
    const DWORD style = WS_POPUP | DS_SETFONT;
    memcpy(at, &style, 4);
    at += 4;    // style, extended style
    *at++ = 0;  // no controls
    at += 4;    // x, y, cx, cy
    *at++ = 0;  // no menu
    *at++ = 0;  // standard class
    *at++ = 0;  // no title
    *at++ = 8;
    for (const char* c = "MS Sans Serif"; *c; ++c) *at++ = static_cast<WORD>(*c);
    *at++ = 0;
    return CreateDialogIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(buffer), nullptr,
                                      ReferenceDialogProc, 0);
}

RECT MapUnits(HWND reference, int x, int y, int width, int height) {
    RECT mapped = {x, y, width, height};  // each field is mapped on its own: right, bottom as sizes
    MapDialogRect(reference, &mapped);
    return mapped;
}

void CheckLiveDialog(HWND dialog, HWND reference) {
    CheckText(WindowText(dialog).c_str(), "Impostazioni Orvindale screeensaver", "dialog title");
    const DWORD style = GetWindowLongA(dialog, GWL_STYLE);
    const DWORD wanted = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    CheckEqual(style & wanted, wanted, "dialog style: popup, visible, caption, system menu, modal frame");
    CheckEqual(style & (WS_CHILD | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0,
               "dialog style: not a child, not sizable, no minimize or maximize box");
    RECT client;
    GetClientRect(dialog, &client);
    const RECT size = MapUnits(reference, 0, 0, 232, 231);
    Check(client.right == size.right && client.bottom == size.bottom, "dialog client area is 232 by 231 units");

    std::string credits;
    HWND control = GetWindow(dialog, GW_CHILD);
    for (int i = 0; i < ControlCount; ++i, control = GetWindow(control, GW_HWNDNEXT)) {
        const ExpectedControl& expected = Controls[i];
        if (!Check(control != nullptr, Describe(i, "exists").c_str())) return;
        if (i == CreditsIndex) credits = WindowText(control);
        CheckText(ClassName(control).c_str(), expected.ClassName, Describe(i, "class").c_str());
        CheckEqual(static_cast<WORD>(GetDlgCtrlID(control)), expected.Identifier, Describe(i, "identifier").c_str());
        if (expected.Text) CheckText(WindowText(control).c_str(), expected.Text, Describe(i, "text").c_str());

        // The bits that make each control what it is; the control may add others of its own.
        const DWORD liveStyle = GetWindowLongA(control, GWL_STYLE);
        const DWORD common = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP;
        CheckEqual(liveStyle & common, expected.Style & common, Describe(i, "window style bits").c_str());
        // The dialog manager draws an edit field's WS_BORDER as a sunken client edge.
        const bool bordered = (liveStyle & WS_BORDER) || (GetWindowLongA(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
        Check(bordered == ((expected.Style & WS_BORDER) != 0), Describe(i, "border").c_str());
        DWORD kindMask = 0;
        if (expected.ClassAtom == 0x80) kindMask = BS_TYPEMASK;
        if (expected.ClassAtom == 0x82) kindMask = SS_TYPEMASK;
        if (expected.ClassAtom == 0x81) kindMask = ES_AUTOHSCROLL | ES_MULTILINE | ES_READONLY;
        if (expected.ClassAtom == 0) kindMask = TBS_AUTOTICKS | TBS_VERT | TBS_TOP | TBS_BOTH | TBS_NOTICKS;
        CheckEqual(liveStyle & kindMask, expected.Style & kindMask, Describe(i, "kind style bits").c_str());

        RECT bounds;
        GetWindowRect(control, &bounds);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&bounds), 2);
        const RECT wanted = MapUnits(reference, expected.X, expected.Y, expected.Width, expected.Height);
        CheckEqual(bounds.left, wanted.left, Describe(i, "left").c_str());
        CheckEqual(bounds.top, wanted.top, Describe(i, "top").c_str());
        if (i == BannerIndex) {
            // A bitmap picture takes the size of its bitmap.
            CheckEqual(bounds.right - bounds.left, 234, Describe(i, "width of bitmap 122").c_str());
            CheckEqual(bounds.bottom - bounds.top, 40, Describe(i, "height of bitmap 122").c_str());
        } else {
            CheckEqual(bounds.right - bounds.left, wanted.right, Describe(i, "width").c_str());
            CheckEqual(bounds.bottom - bounds.top, wanted.bottom, Describe(i, "height").c_str());
        }
    }
    Check(control == nullptr, "no control beyond the fifteen");

    // Four centred lines that credit the Orvindale team.
    int lines = 1;
    for (char c : credits) lines += c == '\n';
    CheckEqual(lines, 4, "the credits have four lines");
    Check(credits.find("Orvindale") != std::string::npos, "the credits name the Orvindale team");
}

void CheckTabOrderAndFocus(HWND dialog) {
    const int order[] = {20, 30, 1003, 1004, 1008, 1010, 1011, 1012, 1013, 1014, 1015, 20};
    HWND at = GetDlgItem(dialog, order[0]);
    for (int i = 1; i < 12; ++i) {
        at = GetNextDlgTabItem(dialog, at, FALSE);
        char what[64];
        snprintf(what, sizeof what, "tab stop after %d", order[i - 1]);
        CheckEqual(GetDlgCtrlID(at), order[i], what);
    }
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &thread);
    CheckEqual(GetDlgCtrlID(thread.hwndFocus), 20, "the focus is on OK when the dialog opens");
}

}  // namespace

// The slider's labels say the range the settings table gives it: its ends and its middle.
void CheckSliderLabels() {
    CheckEqual(atoi(Controls[7].Text), LowestIntervalSeconds, "the left label is the lowest interval");
    CheckEqual(atoi(Controls[8].Text), HighestIntervalSeconds, "the right label is the highest interval");
    CheckEqual(atoi(Controls[9].Text), (LowestIntervalSeconds + HighestIntervalSeconds) / 2,
               "the middle label is the middle of the range");
}

int main(int argc, char** argv) {
    CheckSliderLabels();
    const bool fileOnly = argc == 3 && strcmp(argv[2], "--file-only") == 0;
    if (argc != 2 && !fileOnly) {
        fprintf(stderr, "usage: dialog_template_test SCR_PATH [--file-only]\n");
        return 2;
    }
    HMODULE scr = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (Check(scr != nullptr, "the .scr loads as data")) {
        CheckTemplateBytes(scr);
        CheckBannerBitmap(scr);
        CheckManifest(scr);
        FreeLibrary(scr);
    }
    if (fileOnly) return FinishChecks();

    StoreDialogSettings(nullptr, nullptr);  // the field then shows the template's empty text
    DialogSession session;
    if (OpenConfiguration(argv[1], &session)) {
        HWND reference = CreateReferenceDialog();
        if (Check(reference != nullptr, "a reference dialog with the template's font")) {
            CheckLiveDialog(session.Dialog, reference);
            DestroyWindow(reference);
        }
        CheckTabOrderAndFocus(session.Dialog);
        ClickControl(GetDlgItem(session.Dialog, 30));
        CheckEqual(WaitForExit(session, 10000), 0, "Cancel ends /c with 0");
    }
    CloseSession(&session);
    return FinishChecks();
}
