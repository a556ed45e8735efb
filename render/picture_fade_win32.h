// The fade: the next slide composed off screen, then blended in over the one on screen, a frame
// at a time (render/slide_overlay.h says how much each frame blends). Only where the display has
// no palette and the system has AlphaBlend (msimg32, looked for at run time: Windows 95 lacks it);
// elsewhere the caller cuts as ever. Window's thread only: one fade at a time.
#pragma once
#include <windows.h>

#include <cstdint>

#include "render/prepared_picture.h"

// Whether slides on this window can fade in.
bool CanFade(HWND window);

// Composes the slide (its backdrop, picture and caption, or the name) for the window's show area,
// ready to blend in; any fade still underway ends first with its slide put up whole. False when
// it cannot be composed: the caller shows it with a cut.
bool BeginFade(HWND window, const char* name, const PreparedPicture& picture, const char* caption);

// Whether a fade is underway.
bool Fading();

// Blends the composed slide in over the screen at alpha (1 to 254); whole: puts it up as it is
// and ends the fade.
void DrawFadeFrame(HWND window, uint32_t alpha, bool whole);

// Ends the fade without drawing (the show went back to its logo, or the window closes).
void DropFade();
