// CMYK and YCCK JPEGs shown as common viewers show them: converted to the 24-bit rows the rest of
// the program draws.
#pragma once
#include <cstdint>

// Converts one row of CMYK samples (4 per pixel) into blue, green, red bytes (3 per pixel).
// adobeInverted: the samples are stored inverted (255 means no ink), as Adobe applications
// write them and as an APP14 segment declares.
void CmykRowToBgr(const unsigned char* cmyk, unsigned char* bgr, uint32_t width, bool adobeInverted);
