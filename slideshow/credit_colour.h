// The colour of one frame of the credit line: red, green and blue as three sines a third of a
// turn apart, each lit while its sine is positive; two full turns over the credit's frames.
#pragma once
#include <cstdint>

// The colour as the platform's COLORREF holds it: red in the low byte, then green, then blue.
uint32_t CreditColour(int32_t frame);

inline uint8_t ColourRed(uint32_t colour) { return static_cast<uint8_t>(colour); }
inline uint8_t ColourGreen(uint32_t colour) { return static_cast<uint8_t>(colour >> 8); }
inline uint8_t ColourBlue(uint32_t colour) { return static_cast<uint8_t>(colour >> 16); }
