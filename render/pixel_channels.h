// Reading red, green and blue out of 16- and 32-bit pixels through their bit-field masks.
#pragma once
#include <cstdint>

#include "imaging/packed_dib.h"

// value = (((pixel & Mask) >> RightShift) << LeftShift) & 0xFF. A mask's bits are moved down to
// bit 0; more than 8 set bits keep the top 8; in a 16-bit pixel fewer than 8 are widened to 8 bits
// (5 bits v become v × 8). A zero mask gives 0.
struct ChannelReader {
    uint32_t Mask;
    uint32_t RightShift;
    uint32_t LeftShift;
};

ChannelReader MakeChannelReader(uint32_t mask, uint32_t bitCount);

inline uint32_t ReadChannel(uint32_t pixel, const ChannelReader& reader) {
    return (((pixel & reader.Mask) >> reader.RightShift) << reader.LeftShift) & 0xFF;
}

struct PixelChannels {
    ChannelReader Red;
    ChannelReader Green;
    ChannelReader Blue;
};

// The readers for a 16- or 32-bit image: its own masks when it has bit fields, else 5-5-5 for
// 16 bits and 8-8-8 for 32 bits.
PixelChannels ReadPixelChannels(const unsigned char* image, const DibLayout& layout);
