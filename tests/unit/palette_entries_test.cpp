#include "render/palette_entries.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/packed_dib.h"
#include "tests/reference/reference_palette.h"

namespace {

struct FreeBlock {
    void operator()(void* p) const { free(p); }
};
typedef std::unique_ptr<unsigned char, FreeBlock> Image;
typedef std::unique_ptr<LogPalette, FreeBlock> Palette;

std::vector<uint32_t> EntriesOf(const LogPalette* palette) {
    std::vector<uint32_t> entries;
    for (uint32_t i = 0; i < palette->palNumEntries; ++i) {
        const PaletteEntry& e = palette->palPalEntry[i];
        entries.push_back((uint32_t(e.peRed) << 24) | (uint32_t(e.peGreen) << 16) | (uint32_t(e.peBlue) << 8) |
                          e.peFlags);
    }
    return entries;
}

// A block with the given header bytes, a colour table of `count` entries of entrySize bytes (entry
// i: blue i, green 2i, red 3i, then 0xEE where there is a fourth byte) and 8-bit rows.
Image MakeTableImage(const std::vector<unsigned char>& header, uint32_t count, uint32_t entrySize, uint32_t rowBytes) {
    Image image(static_cast<unsigned char*>(calloc(1, header.size() + count * entrySize + rowBytes)));
    memcpy(image.get(), header.data(), header.size());
    unsigned char* entry = image.get() + header.size();
    for (uint32_t i = 0; i < count; ++i, entry += entrySize) {
        entry[0] = static_cast<unsigned char>(i);
        entry[1] = static_cast<unsigned char>(2 * i);
        entry[2] = static_cast<unsigned char>(3 * i);
        if (entrySize == 4) entry[3] = 0xEE;
    }
    return image;
}

std::vector<uint32_t> TableEntries(uint32_t count) {
    std::vector<uint32_t> entries;
    for (uint32_t i = 0; i < count; ++i) {
        entries.push_back((uint32_t(3 * i & 0xFF) << 24) | (uint32_t(2 * i & 0xFF) << 16) | (uint32_t(i & 0xFF) << 8));
    }
    return entries;
}

std::vector<unsigned char> InfoHeader(uint32_t size, int32_t width, int32_t height, uint16_t bits, uint32_t used) {
    std::vector<unsigned char> header(size, 0);
    DibInfoHeader h = {};
    h.biSize = size;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = bits;
    h.biClrUsed = used;
    memcpy(header.data(), &h, 40);
    return header;
}

TEST(PaletteEntries, ColourTablesBecomePalettesInTableOrderWithoutTheReservedByte) {
    Image eight = MakeTableImage(InfoHeader(40, 4, 1, 8, 0), 256, 4, 4);
    Palette palette(CreateBIPaletteEntries(eight.get()));
    ASSERT_TRUE(palette);
    EXPECT_EQ(palette->palVersion, 0x300);
    EXPECT_EQ(EntriesOf(palette.get()), TableEntries(256));

    Image one = MakeTableImage(InfoHeader(40, 8, 1, 1, 0), 2, 4, 4);
    EXPECT_EQ(EntriesOf(Palette(CreateBIPaletteEntries(one.get())).get()), TableEntries(2));

    Image used = MakeTableImage(InfoHeader(40, 4, 1, 8, 20), 20, 4, 4);
    EXPECT_EQ(EntriesOf(Palette(CreateBIPaletteEntries(used.get())).get()), TableEntries(20));

    // A 24-bit image that carries a table gets the table, not the quantizer's colours.
    Image rgbWithTable = MakeTableImage(InfoHeader(40, 1, 1, 24, 5), 5, 4, 4);
    EXPECT_EQ(EntriesOf(Palette(CreateBIPaletteEntries(rgbWithTable.get())).get()), TableEntries(5));
}

TEST(PaletteEntries, CoreAndLaterHeadersGiveTheirTablesToo) {
    const std::vector<unsigned char> core = {12, 0, 0, 0, 4, 0, 1, 0, 1, 0, 8, 0};
    Image coreImage = MakeTableImage(core, 256, 3, 4);
    EXPECT_EQ(EntriesOf(Palette(CreateBIPaletteEntries(coreImage.get())).get()), TableEntries(256));

    for (uint32_t size : {52u, 56u, 108u, 124u}) {
        Image later = MakeTableImage(InfoHeader(size, 4, 1, 8, 16), 16, 4, 4);
        Palette palette(CreateBIPaletteEntries(later.get()));
        ASSERT_TRUE(palette) << size;
        EXPECT_EQ(EntriesOf(palette.get()), TableEntries(16)) << size;
    }
}

TEST(PaletteEntries, TrueColourPicturesGetTheQuantizersColoursThenBlack) {
    Image image(CreatePackedDib(5, 2, 24));
    unsigned char* bits = PackedDibBits(image.get());
    memset(bits, 0x77, DibStride(5, 24) * 2);  // pad bytes too
    for (int i = 0; i < 10; ++i) {
        unsigned char* p = bits + (i / 5) * DibStride(5, 24) + 3 * (i % 5);
        p[0] = static_cast<unsigned char>(20 * i);  // blue
        p[1] = 7;
        p[2] = 200;
    }
    Palette palette(CreateBIPaletteEntries(image.get()));
    ASSERT_TRUE(palette);
    ASSERT_EQ(palette->palNumEntries, OctreeColorLimit);
    std::vector<uint32_t> expected;
    for (int i = 0; i < 10; ++i) expected.push_back((200u << 24) | (7u << 16) | (uint32_t(20 * i) << 8));
    expected.resize(OctreeColorLimit, 0);
    EXPECT_EQ(EntriesOf(palette.get()), expected);

    Image empty(CreatePackedDib(7, 0, 24));
    Palette black(CreateBIPaletteEntries(empty.get()));
    ASSERT_TRUE(black);
    EXPECT_EQ(EntriesOf(black.get()), std::vector<uint32_t>(OctreeColorLimit, 0));
}

TEST(PaletteEntries, RampWhenTheQuantizerRefusesAndNoneWithoutColours) {
    Image jpeg(CreatePackedDib(4, 4, 24));
    PackedDibHeader(jpeg.get())->biCompression = DibCompressionJpeg;
    Palette ramp(CreateBIPaletteEntries(jpeg.get()));
    ASSERT_TRUE(ramp);
    ASSERT_EQ(ramp->palNumEntries, OctreeColorLimit);
    const PaletteEntry& e = ramp->palPalEntry[8 * 8 * 2 + 8 * 3 + 5];  // i = 157
    EXPECT_EQ(e.peRed, 160);
    EXPECT_EQ(e.peGreen, 96);
    EXPECT_EQ(e.peBlue, 128);
    EXPECT_EQ(ramp->palPalEntry[235].peBlue, 192);

    for (uint16_t bits : {16, 32}) {
        Image image = MakeTableImage(InfoHeader(40, 2, 2, bits, 0), 0, 4, 16);
        EXPECT_EQ(CreateBIPaletteEntries(image.get()), nullptr) << bits;
    }
    EXPECT_EQ(CreateBIPaletteEntries(nullptr), nullptr);
}

TEST(PaletteEntries, MatchReferenceOnRandomPictures) {
    std::mt19937 random(6);
    for (int i = 0; i < 60; ++i) {
        const uint32_t width = 1 + random() % 120, height = 1 + random() % 80;
        Image image(CreatePackedDib(width, height, 24));
        unsigned char* bits = PackedDibBits(image.get());
        const int spread = 1 + static_cast<int>(random() % 256);
        for (size_t b = 0; b < DibStride(width, 24) * height; ++b) {
            bits[b] = static_cast<unsigned char>((b / 3 % width) * 3 + random() % spread);
        }
        Palette expected(reference::CreateBIPaletteEntries(image.get())), actual(CreateBIPaletteEntries(image.get()));
        ASSERT_TRUE(expected && actual);
        ASSERT_EQ(EntriesOf(expected.get()), EntriesOf(actual.get())) << width << "x" << height;
    }
}

}  // namespace
