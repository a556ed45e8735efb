// The fade's off-screen slide: a bitmap compatible with the window's display in a memory device
// context, drawn like any slide, then AlphaBlend-ed onto the window at a constant alpha per frame.
#include "render/picture_fade_win32.h"

#include "platform/handle_scopes_win32.h"
#include "render/image_presenter_win32.h"

namespace {

typedef BOOL(WINAPI* AlphaBlendCall)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);

struct FadeState {
    bool Looked;  // for AlphaBlend, once
    AlphaBlendCall AlphaBlend;
    HDC Composed;  // none: no fade underway
    HBITMAP Bitmap;
    HGDIOBJ PreviousBitmap;
    RECT Area;  // where the composed slide goes, in the window's client coordinates
};

FadeState Fade = {};

AlphaBlendCall FindAlphaBlend() {
    if (!Fade.Looked) {
        Fade.Looked = true;
        // Kept for the process's life: a module a fade may be using is never let go.
        HMODULE module = LoadLibraryA("msimg32.dll");
        if (module)
            Fade.AlphaBlend =
                reinterpret_cast<AlphaBlendCall>(reinterpret_cast<void*>(GetProcAddress(module, "AlphaBlend")));
    }
    return Fade.AlphaBlend;
}

}  // namespace

bool CanFade(HWND window) { return !IsPaletteDisplay(window) && FindAlphaBlend() != nullptr; }

bool Fading() { return Fade.Composed != nullptr; }

void DropFade() {
    if (!Fade.Composed) return;
    SelectObject(Fade.Composed, Fade.PreviousBitmap);
    DeleteObject(Fade.Bitmap);
    DeleteDC(Fade.Composed);
    Fade.Composed = nullptr;
    Fade.Bitmap = nullptr;
}

bool BeginFade(HWND window, const char* name, const PreparedPicture& picture, const char* caption) {
    if (Fading()) DrawFadeFrame(window, 255, true);
    const RECT area = ShowAreaOf(window);
    const int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0 || !FindAlphaBlend()) return false;
    WindowDc dc(window, GetDC(window));
    HDC composed = CreateCompatibleDC(dc);
    HBITMAP bitmap = composed ? CreateCompatibleBitmap(dc, width, height) : nullptr;
    if (!bitmap) {
        if (composed) DeleteDC(composed);
        return false;
    }
    Fade.Composed = composed;
    Fade.Bitmap = bitmap;
    Fade.PreviousBitmap = SelectObject(composed, bitmap);
    Fade.Area = area;
    const RECT local = {0, 0, width, height};
    FillRect(composed, &local, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    DrawSlide(composed, local, name, picture, caption);
    return true;
}

void DrawFadeFrame(HWND window, uint32_t alpha, bool whole) {
    if (!Fade.Composed) return;
    const RECT& area = Fade.Area;
    const int width = area.right - area.left, height = area.bottom - area.top;
    WindowDc dc(window, GetDC(window));
    if (whole) {
        BitBlt(dc, area.left, area.top, width, height, Fade.Composed, 0, 0, SRCCOPY);
        dc.Release();
        DropFade();
        return;
    }
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, static_cast<BYTE>(alpha), 0};
    Fade.AlphaBlend(dc, area.left, area.top, width, height, Fade.Composed, 0, 0, width, height, blend);
}
