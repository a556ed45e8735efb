#include "imaging/packed_dib.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/unit/image_test_files.h"

namespace {

using image_test::LayoutFields;

struct FreeBlock {
    void operator()(unsigned char* p) const { free(p); }
};

TEST(PackedDib, CreateLaysOutHeaderTableAndRows) {
    struct Case {
        uint32_t width, height;
        uint16_t askedBits, bits;
        uint32_t stride, bitsOffset, colors;
    } cases[] = {
        {609, 448, 24, 24, 1828, 40, 0}, {10, 1, 8, 8, 12, 1064, 256},
        {3, 2, 32, 4, 4, 104, 16},  // wider than 24 bits becomes 4, as the classic helpers do
        {3, 2, 0, 1, 4, 48, 2},          {3, 2, 16, 24, 12, 40, 0},
        {4, 4, 24, 24, 12, 40, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.askedBits);
        std::unique_ptr<unsigned char, FreeBlock> image(CreatePackedDib(c.width, c.height, c.askedBits));
        ASSERT_NE(image, nullptr);
        const DibInfoHeader* h = PackedDibHeader(image.get());
        EXPECT_EQ(h->biSize, 40u);
        EXPECT_EQ(h->biWidth, static_cast<int32_t>(c.width));
        EXPECT_EQ(h->biHeight, static_cast<int32_t>(c.height));
        EXPECT_EQ(h->biPlanes, 1);
        EXPECT_EQ(h->biBitCount, c.bits);
        EXPECT_EQ(h->biCompression, 0u);
        EXPECT_EQ(h->biSizeImage, (c.width * c.bits * c.height) >> 3);
        EXPECT_EQ(h->biXPelsPerMeter, 2834);
        EXPECT_EQ(h->biYPelsPerMeter, 2834);
        EXPECT_EQ(h->biClrUsed, 0u);
        EXPECT_EQ(h->biClrImportant, 0u);
        EXPECT_EQ(DibStride(c.width, c.bits), c.stride);
        EXPECT_EQ(PackedDibBits(image.get()) - image.get(), static_cast<ptrdiff_t>(c.bitsOffset));
        EXPECT_EQ(PackedDibColorCount(image.get()), c.colors);
        // The whole block is addressable: write every byte (ASan catches a short block).
        memset(image.get() + 40, 0xA5, c.bitsOffset - 40 + static_cast<size_t>(c.stride) * c.height);
        // The layout a new picture carries is what its header reads as.
        const DibPicture made = CreateDibPicture(c.width, c.height, c.askedBits);
        ASSERT_NE(made.Block, nullptr);
        EXPECT_EQ(LayoutFields(made.Layout), LayoutFields(ReadDibLayout(made.Block)));
        free(made.Block);
    }
    EXPECT_EQ(
        PackedDibHeader(std::unique_ptr<unsigned char, FreeBlock>(CreatePackedDib(609, 448, 24)).get())->biSizeImage,
        818496u);
}

TEST(PackedDib, SizesBeyondWhatEveryBuildAddressesGiveNone) {
    EXPECT_TRUE(DibSizeIsAddressable(65535, 8191, 32));
    EXPECT_FALSE(DibSizeIsAddressable(65500, 65500, 24));             // 12.8 GB of rows
    EXPECT_FALSE(DibSizeIsAddressable(0x7FFFFFFFu / 24 + 1, 1, 24));  // bits × width + 31 overflows
    EXPECT_FALSE(DibSizeIsAddressable(0x80000000u, 1, 1));
    EXPECT_EQ(CreatePackedDib(65500, 65500, 24), nullptr);
    EXPECT_EQ(CreatePackedDib(0xFFFFFFFFu, 1, 24), nullptr);
    EXPECT_EQ(CreateDibPicture(65500, 65500, 24).Block, nullptr);
    EXPECT_EQ(ReadDibPicture(nullptr).Layout.width, 0);
}

std::vector<unsigned char> Header(uint32_t size, int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                                  uint32_t clrUsed) {
    std::vector<unsigned char> block(size + 1024, 0);
    DibInfoHeader h = {};
    h.biSize = size;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = bits;
    h.biCompression = compression;
    h.biClrUsed = clrUsed;
    memcpy(block.data(), &h, sizeof h);
    return block;
}

TEST(PackedDib, LayoutOfEveryHeaderForm) {
    struct Case {
        uint32_t headerSize;
        uint16_t bits;
        uint32_t compression, clrUsed;
        uint32_t colorTable, entrySize, colors, rows;
    } cases[] = {
        {40, 8, 0, 20, 40, 4, 20, 120},
        {40, 8, 0, 0, 40, 4, 256, 1064},
        {40, 16, 0, 0, 40, 4, 0, 40},
        {40, 32, 0, 0, 40, 4, 0, 40},
        {40, 16, 3, 0, 52, 4, 0, 52},  // three masks after the 40-byte header
        {40, 32, 6, 0, 56, 4, 0, 56},  // four with the alpha mask
        {40, 24, 0, 2, 40, 4, 2, 48},  // a direct-colour image may carry a table
        {40, 8, 0, 16384, 40, 4, 16384, 40 + 4 * 16384},
        {108, 8, 0, 0, 108, 4, 256, 108 + 1024},  // later forms: 4-byte entries, masks inside
        {124, 8, 0, 7, 124, 4, 7, 124 + 28},
        {124, 16, 3, 0, 124, 4, 0, 124},
        {52, 4, 0, 0, 52, 4, 16, 52 + 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.headerSize << "/" << c.bits << "/" << c.compression << "/" << c.clrUsed);
        auto block = Header(c.headerSize, 5, 3, c.bits, c.compression, c.clrUsed);
        const DibLayout layout = ReadDibLayout(block.data());
        EXPECT_EQ(layout.width, 5);
        EXPECT_EQ(layout.height, 3);
        EXPECT_EQ(layout.bitCount, c.bits);
        EXPECT_EQ(layout.colorTableOffset, c.colorTable);
        EXPECT_EQ(layout.colorEntrySize, c.entrySize);
        EXPECT_EQ(layout.colorCount, c.colors);
        EXPECT_EQ(layout.bitsOffset, c.rows);
        EXPECT_EQ(PackedDibBits(block.data()) - block.data(), static_cast<ptrdiff_t>(c.rows));
    }
}

TEST(PackedDib, CoreHeaderHasShortFieldsAndThreeByteEntries) {
    std::vector<unsigned char> block(12 + 768, 0);
    const unsigned char header[12] = {12, 0, 0, 0, 0x2C, 0x01, 0xC8, 0x00, 1, 0, 8, 0};
    memcpy(block.data(), header, sizeof header);
    const DibLayout layout = ReadDibLayout(block.data());
    EXPECT_EQ(layout.width, 300);
    EXPECT_EQ(layout.height, 200);
    EXPECT_EQ(layout.bitCount, 8);
    EXPECT_EQ(layout.colorEntrySize, 3u);
    EXPECT_EQ(PackedDibColorCount(block.data()), 256);
    EXPECT_EQ(PackedDibBits(block.data()) - block.data(), 780);
}

}  // namespace
