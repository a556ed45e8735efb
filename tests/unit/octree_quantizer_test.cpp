#include "render/octree_quantizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <vector>

#include "imaging/packed_dib.h"
#include "render/palette_entries.h"
#include "tests/reference/reference_octree.h"

namespace {

struct FreeBlock {
    void operator()(unsigned char* p) const { free(p); }
};
typedef std::unique_ptr<unsigned char, FreeBlock> Image;

struct Rgb {
    int r, g, b;
};

std::vector<unsigned char> TableOf(const OctreeQuantizer& q) {
    std::vector<unsigned char> table(4 * OctreeColorLimit + 4 * 64, 0xCD);
    q.GetColorTable(table.data());
    table.resize(4 * q.GetColorCount());
    return table;
}

std::vector<unsigned char> TableOf(const reference::OctreeQuantizer& q) {
    std::vector<unsigned char> table(4 * OctreeColorLimit + 4 * 64, 0xCD);
    q.GetColorTable(table.data());
    table.resize(4 * q.GetColorCount());
    return table;
}

// Depth-first order: red's bit is the most significant part of each child index, from the top bit.
uint32_t TreeOrder(const Rgb& c) {
    uint32_t key = 0;
    for (int bit = 7; bit >= 0; --bit) {
        key = (key << 3) | (((c.r >> bit) & 1) << 2) | (((c.g >> bit) & 1) << 1) | ((c.b >> bit) & 1);
    }
    return key;
}

// A 24-bit image of the given pixels, rows of `width`, with garbage in the pad bytes.
Image MakeImage24(uint32_t width, const std::vector<Rgb>& pixels, std::mt19937& random) {
    const uint32_t height = static_cast<uint32_t>(pixels.size() / width);
    Image image(CreatePackedDib(width, height, 24));
    unsigned char* bits = PackedDibBits(image.get());
    const size_t stride = DibStride(width, 24);
    for (uint32_t y = 0; y < height; ++y) {
        unsigned char* row = bits + y * stride;
        for (size_t i = 3 * width; i < stride; ++i) row[i] = static_cast<unsigned char>(random());
        for (uint32_t x = 0; x < width; ++x) {
            const Rgb& c = pixels[y * width + x];
            row[3 * x] = static_cast<unsigned char>(c.b);
            row[3 * x + 1] = static_cast<unsigned char>(c.g);
            row[3 * x + 2] = static_cast<unsigned char>(c.r);
        }
    }
    return image;
}

// A 16- or 32-bit image with an information header, bit-field masks when given, random pixels
// and pad bytes.
Image MakeMaskedImage(uint32_t bitCount, uint32_t width, uint32_t height, const uint32_t* masks, std::mt19937& random) {
    const size_t stride = DibStride(width, bitCount);
    const size_t maskBytes = masks ? 12 : 0;
    Image image(static_cast<unsigned char*>(malloc(40 + maskBytes + stride * height)));
    DibInfoHeader header = {};
    header.biSize = 40;
    header.biWidth = static_cast<int32_t>(width);
    header.biHeight = static_cast<int32_t>(height);
    header.biPlanes = 1;
    header.biBitCount = static_cast<uint16_t>(bitCount);
    header.biCompression = masks ? DibCompressionBitfields : DibCompressionRgb;
    memcpy(image.get(), &header, 40);
    if (masks) memcpy(image.get() + 40, masks, 12);
    for (size_t i = 40 + maskBytes; i < 40 + maskBytes + stride * height; ++i) {
        image.get()[i] = static_cast<unsigned char>(random());
    }
    return image;
}

TEST(OctreeQuantizer, TwoRedsAndABlueGiveBlueFirst) {
    OctreeQuantizer q(OctreeColorLimit, OctreeDepth);
    q.AddColor(255, 0, 0);
    q.AddColor(0, 0, 255);
    q.AddColor(255, 0, 0);
    EXPECT_EQ(q.GetColorCount(), 2u);
    EXPECT_EQ(TableOf(q), (std::vector<unsigned char>{255, 0, 0, 0, 0, 0, 255, 0}));
    q.AddColor(0x1FF, 0x100, 0x100);  // only the low 8 bits count: red once more
    EXPECT_EQ(q.GetColorCount(), 2u);
}

TEST(OctreeQuantizer, UpToTheLimitEveryColourComesBackExactlyInTreeOrder) {
    std::mt19937 random(1);
    for (uint32_t count : {1u, 2u, 10u, 100u, 235u, 236u}) {
        std::set<uint32_t> seen;
        std::vector<Rgb> colors;
        while (colors.size() < count) {
            const Rgb c = {static_cast<int>(random() & 0xFF), static_cast<int>(random() & 0xFF),
                           static_cast<int>(random() & 0xFF)};
            if (seen.insert(TreeOrder(c)).second) colors.push_back(c);
        }
        std::vector<Rgb> pixels;
        for (int repeat = 0; repeat < 3; ++repeat) pixels.insert(pixels.end(), colors.begin(), colors.end());
        std::shuffle(pixels.begin(), pixels.end(), random);
        Image image = MakeImage24(static_cast<uint32_t>(pixels.size() % 7 == 0 ? 7 : 1), pixels, random);
        OctreeQuantizer q(OctreeColorLimit, OctreeDepth);
        ASSERT_TRUE(q.AddImage(image.get()));
        ASSERT_EQ(q.GetColorCount(), count);
        std::sort(colors.begin(), colors.end(), [](const Rgb& a, const Rgb& b) { return TreeOrder(a) < TreeOrder(b); });
        std::vector<unsigned char> expected;
        for (const Rgb& c : colors) {
            expected.insert(expected.end(), {static_cast<unsigned char>(c.b), static_cast<unsigned char>(c.g),
                                             static_cast<unsigned char>(c.r), 0});
        }
        EXPECT_EQ(TableOf(q), expected) << count << " colours";
    }
}

TEST(OctreeQuantizer, TheColourPastTheLimitMergesTheNewestDeepestNode) {
    // Blues 0..236: level-7 nodes hold the pairs (0, 1), (2, 3), ... and the last one 236 alone.
    // Its single child merges without a gain, so the pair (234, 235) merges next, to their mean.
    std::vector<Rgb> pixels;
    for (int b = 0; b <= 236; ++b) pixels.push_back({0, 0, b});
    pixels.push_back({0, 0, 235});  // a second 235 weighs the merged mean: (234 + 235 + 235) / 3
    std::mt19937 random(2);
    Image image = MakeImage24(1, pixels, random);
    OctreeQuantizer q(OctreeColorLimit, OctreeDepth);
    ASSERT_TRUE(q.AddImage(image.get()));
    ASSERT_EQ(q.GetColorCount(), 236u);
    const std::vector<unsigned char> table = TableOf(q);
    for (int i = 0; i < 234; ++i) EXPECT_EQ(table[4 * i], i);
    EXPECT_EQ(table[4 * 234], 234);  // (234 + 235 + 235) / 3 = 234.67, truncated
    EXPECT_EQ(table[4 * 235], 236);
}

TEST(OctreeQuantizer, PadBytesNeverCountAsColours) {
    std::mt19937 random(3);
    for (uint32_t width : {1u, 2u, 3u, 5u, 6u, 7u}) {
        std::vector<Rgb> pixels(width * 9, Rgb{10, 20, 30});
        Image image = MakeImage24(width, pixels, random);  // random pad bytes
        OctreeQuantizer q(OctreeColorLimit, OctreeDepth);
        ASSERT_TRUE(q.AddImage(image.get()));
        EXPECT_EQ(TableOf(q), (std::vector<unsigned char>{30, 20, 10, 0})) << "width " << width;
    }
}

TEST(OctreeQuantizer, ReadsSixteenAndThirtyTwoBitPixelsThroughTheirMasks) {
    struct Case {
        uint32_t bitCount;
        std::vector<uint32_t> masks;  // empty: no bit fields
        uint32_t pixel;
        Rgb expected;
    } cases[] = {
        {16, {}, 0x7FFF, {248, 248, 248}},  // 5-5-5: v × 8
        {16, {}, (3u << 10) | (17u << 5) | 31u, {24, 136, 248}},
        {16, {0xF800, 0x07E0, 0x001F}, (5u << 11) | (63u << 5) | 1u, {40, 252, 8}},  // 5-6-5
        {16, {0xFFF0, 0x000C, 0x0003}, 0xABC5, {0xAB, 64, 64}},                      // 12 bits keep their top 8
        {32, {}, 0x00123456, {0x12, 0x34, 0x56}},
        {32, {0x3FF00000, 0x000FFC00, 0x000003FF}, (1023u << 20) | (512u << 10) | 3u, {255, 128, 0}},  // 10 bits
        {32, {0x0000FF00, 0x00FF0000, 0xFF000000}, 0x11223344, {0x33, 0x22, 0x11}},
        {32, {0x0000000F, 0, 0x000000F0}, 0x000000A5, {5, 0, 10}},  // narrow 32-bit channels stay narrow
    };
    std::mt19937 random(4);
    for (const Case& c : cases) {
        Image image = MakeMaskedImage(c.bitCount, 3, 2, c.masks.empty() ? nullptr : c.masks.data(), random);
        const DibLayout layout = ReadDibLayout(image.get());
        unsigned char* bits = image.get() + layout.bitsOffset;
        const size_t stride = DibStride(3, c.bitCount);
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 3; ++x) memcpy(bits + y * stride + x * (c.bitCount / 8), &c.pixel, c.bitCount / 8);
        }
        OctreeQuantizer q(OctreeColorLimit, OctreeDepth);
        ASSERT_TRUE(q.AddImage(image.get()));
        EXPECT_EQ(TableOf(q), (std::vector<unsigned char>{static_cast<unsigned char>(c.expected.b),
                                                          static_cast<unsigned char>(c.expected.g),
                                                          static_cast<unsigned char>(c.expected.r), 0}))
            << c.bitCount << "-bit pixel " << std::hex << c.pixel;
    }
}

TEST(OctreeQuantizer, RefusesWhatItCannotReadAndAcceptsEmptyImages) {
    for (uint16_t bits : {1, 4, 8}) {
        Image image(CreatePackedDib(4, 4, bits));
        OctreeQuantizer q(OctreeColorLimit, OctreeDepth);
        EXPECT_FALSE(q.AddImage(image.get()));
        EXPECT_EQ(q.GetColorCount(), 0u);
    }
    Image jpeg(CreatePackedDib(4, 4, 24));
    PackedDibHeader(jpeg.get())->biCompression = DibCompressionJpeg;
    EXPECT_FALSE(OctreeQuantizer(OctreeColorLimit, OctreeDepth).AddImage(jpeg.get()));

    for (auto size : {std::make_pair(0u, 5u), std::make_pair(5u, 0u)}) {
        Image empty(CreatePackedDib(size.first, size.second, 24));
        OctreeQuantizer q(OctreeColorLimit, OctreeDepth);
        EXPECT_TRUE(q.AddImage(empty.get()));
        EXPECT_EQ(q.GetColorCount(), 0u);
        unsigned char untouched[4] = {1, 2, 3, 4};
        q.GetColorTable(untouched);
        EXPECT_EQ(untouched[0], 1);
    }
}

TEST(OctreeQuantizer, SumsDoNotWrapWhenOneLeafStandsForMillionsOfPixels) {
    // 4100 × 4100 pixels of one colour: 16.8 million × 255 passes 2^32.
    Image image(CreatePackedDib(4100, 4100, 24));
    unsigned char* bits = PackedDibBits(image.get());
    for (size_t i = 0; i < DibStride(4100, 24) * 4100; i += 3) {
        bits[i] = 253;
        bits[i + 1] = 254;
        bits[i + 2] = 255;
    }
    OctreeQuantizer q(OctreeColorLimit, OctreeDepth);
    ASSERT_TRUE(q.AddImage(image.get()));
    EXPECT_EQ(TableOf(q), (std::vector<unsigned char>{253, 254, 255, 0}));
}

TEST(OctreeQuantizer, MatchesTheReferenceOnRandomImages) {
    std::mt19937 random(5);
    for (int i = 0; i < 400; ++i) {
        const uint32_t width = 1 + random() % 90, height = 1 + random() % 60;
        Image image;
        const int kind = i % 6;
        if (kind < 4) {
            // Few colours, many colours, smooth ramps and noise around a few centres.
            std::vector<Rgb> palette(1 + random() % (kind == 0 ? 8 : 600));
            for (Rgb& c : palette)
                c = {static_cast<int>(random() & 0xFF), static_cast<int>(random() & 0xFF),
                     static_cast<int>(random() & 0xFF)};
            std::vector<Rgb> pixels(width * height);
            for (uint32_t p = 0; p < pixels.size(); ++p) {
                const uint32_t x = p % width, y = p / width;
                switch (kind) {
                    case 0:
                    case 1: pixels[p] = palette[random() % palette.size()]; break;
                    case 2:
                        pixels[p] = {static_cast<int>((x * 3 + y) & 0xFF), static_cast<int>((y * 5) & 0xFF),
                                     static_cast<int>((x + y * 2) & 0xFF)};
                        break;
                    default: {
                        const Rgb& c = palette[(x / 8 + y / 8) % palette.size()];
                        auto jitter = [&](int v) {
                            return std::min(255, std::max(0, v + static_cast<int>(random() % 9) - 4));
                        };
                        pixels[p] = {jitter(c.r), jitter(c.g), jitter(c.b)};
                    }
                }
            }
            image = MakeImage24(width, pixels, random);
        } else {
            const uint32_t bitCount = kind == 4 ? 16 : 32;
            uint32_t masks[3];
            for (uint32_t& m : masks) {
                const uint32_t low = random() % bitCount, length = 1 + random() % 12;
                m = static_cast<uint32_t>(((1ull << length) - 1) << low);
                if (bitCount == 16) m &= 0xFFFF;
            }
            image = MakeMaskedImage(bitCount, width, height, random() % 2 ? masks : nullptr, random);
        }
        const uint32_t limit = i % 5 == 0 ? 1 + random() % 40 : OctreeColorLimit;
        const int32_t depth = i % 7 == 0 ? static_cast<int32_t>(random() % 9) : static_cast<int32_t>(OctreeDepth);
        reference::OctreeQuantizer expected(limit, depth);
        OctreeQuantizer actual(limit, depth);
        ASSERT_EQ(expected.AddImage(image.get()), actual.AddImage(image.get()));
        ASSERT_EQ(TableOf(expected), TableOf(actual))
            << "image " << i << ": " << width << "x" << height << ", limit " << limit << ", depth " << depth;
    }
}

}  // namespace
