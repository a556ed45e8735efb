// Colour management with Little CMS: a picture's embedded description of its colours (an ICC
// profile, or a PNG's gamma and primaries) turns its pixels into those of the display, relative
// colorimetric. The display is sRGB unless the platform has named a profile of its own. Whatever
// cannot be opened or joined leaves the picture as if it carried no profile: no transform.
#pragma once
#include <cstddef>
#include <cstdint>

// How the pixels handed to the transform are laid out.
enum class ColourPixels {
    Bgr,           // 3 bytes blue, green, red; the result in place
    GrayAsBgr,     // 3 equal bytes (a gray picture spread to blue, green, red); the result in place
    Bgr0,          // 4 bytes blue, green, red, a byte left alone (colour-table entries); in place
    Cmyk,          // 4 bytes of ink, 0 none; the result in a separate BGR row
    CmykInverted,  // 4 bytes of ink as Adobe's JPEGs store them, 255 none
};

struct ColourTransform;  // opaque; made by the functions below, released by FreeColourTransform

// A transform from the colours an ICC profile describes, or nullptr when the profile cannot be
// opened, does not describe pixels of this kind, or no transform can be made.
ColourTransform* TransformFromProfile(const unsigned char* icc, size_t length, ColourPixels pixels);

// From a PNG's gAMA (gamma times 100000, as stored) and cHRM (white x, y, then red, green, blue,
// each times 100000). nullptr for values no picture can have.
ColourTransform* TransformFromGammaAndPrimaries(uint32_t gamma, const uint32_t chromaticities[8], ColourPixels pixels);

// From sRGB itself: nullptr while the display is sRGB, since the pixels are then right as they are.
ColourTransform* TransformFromSrgb(ColourPixels pixels);

void FreeColourTransform(ColourTransform* transform);

// Turns count pixels. For the in-place layouts `to` must be `from`.
void TransformPixels(const ColourTransform* transform, const unsigned char* from, unsigned char* to, size_t count);

// The profile of the display the pictures are shown on, in place of sRGB from now on: a copy is
// kept. Called before any load that is to use it; a profile that cannot be opened as an RGB
// display's, or nullptr, brings back sRGB. Returns whether the profile is in use.
bool UseDisplayProfile(const unsigned char* icc, size_t length);
