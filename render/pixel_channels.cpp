// Bit-field masks: where a 16- or 32-bit image keeps them and how a channel is read through one.
#include "render/pixel_channels.h"

#include "imaging/byte_order.h"
#include "imaging/packed_dib.h"

ChannelReader MakeChannelReader(uint32_t mask, uint32_t bitCount) {
    ChannelReader reader = {mask, 0, 0};
    if (mask == 0) return reader;
    uint32_t lowest = 0, setBits = 0;
    while (!(mask & (1u << lowest))) ++lowest;
    for (uint32_t m = mask; m; m &= m - 1) ++setBits;
    reader.RightShift = lowest;
    if (setBits > 8) {
        reader.RightShift += setBits - 8;
    } else if (bitCount == 16) {
        reader.LeftShift = 8 - setBits;
    }
    return reader;
}

PixelChannels ReadPixelChannels(const unsigned char* image, const DibLayout& layout) {
    uint32_t red = layout.bitCount == 16 ? 0x7C00 : 0x00FF0000;
    uint32_t green = layout.bitCount == 16 ? 0x03E0 : 0x0000FF00;
    uint32_t blue = layout.bitCount == 16 ? 0x001F : 0x000000FF;
    // The masks follow a 40-byte header and are the first fields past it in the later forms.
    const bool bitFields =
        layout.compression == DibCompressionBitfields || layout.compression == DibCompressionAlphaBitfields;
    if (bitFields && layout.headerSize >= DibInfoHeaderSize) {
        red = ReadLittleU32(image + 40);
        green = ReadLittleU32(image + 44);
        blue = ReadLittleU32(image + 48);
    }
    return {MakeChannelReader(red, layout.bitCount), MakeChannelReader(green, layout.bitCount),
            MakeChannelReader(blue, layout.bitCount)};
}
