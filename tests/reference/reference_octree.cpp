// The octree quantizer exactly as its description reads.
#include "tests/reference/reference_octree.h"

#include <cstdlib>
#include <cstring>

#include "imaging/packed_dib.h"

namespace reference {

namespace {

const unsigned char LevelMask[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};

uint32_t ReadU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

int LowestSetBit(uint32_t mask) {
    int position = 0;
    while (position < 32 && !(mask & (1u << position))) ++position;
    return position;
}

int SetBits(uint32_t mask) {
    int count = 0;
    for (int i = 0; i < 32; ++i) count += (mask >> i) & 1;
    return count;
}

// One channel of a 16- or 32-bit pixel: masked, moved down to bit 0, wider channels cut to their
// top 8 bits, narrower 16-bit channels widened to 8 bits.
uint32_t ChannelValue(uint32_t pixel, uint32_t mask, int bitCount) {
    if (mask == 0) return 0;
    uint32_t value = (pixel & mask) >> LowestSetBit(mask);
    const int bits = SetBits(mask);
    if (bits > 8) return value >> (bits - 8);
    if (bitCount == 16) value = (value << (8 - bits)) & 0xFF;
    return value;
}

}  // namespace

OctreeQuantizer::OctreeQuantizer(uint32_t colorLimit, int32_t leafLevel)
    : Root(nullptr), LeafCount(0), ColorLimit(colorLimit), LeafLevel(leafLevel) {
    for (OctreeNode*& head : ReducibleNodes) head = nullptr;
    if (LeafLevel < 0) LeafLevel = 0;
    if (LeafLevel > 8) LeafLevel = 8;
}

OctreeQuantizer::~OctreeQuantizer() { DeleteSubtree(&Root); }

void OctreeQuantizer::DeleteSubtree(OctreeNode** slot) {
    OctreeNode* node = *slot;
    if (!node) return;
    for (OctreeNode*& child : node->Children) DeleteSubtree(&child);
    free(node);
    *slot = nullptr;
}

void OctreeQuantizer::AddColor(uint32_t red, uint32_t green, uint32_t blue) {
    red &= 0xFF;
    green &= 0xFF;
    blue &= 0xFF;
    OctreeNode** slot = &Root;
    for (int level = 0;; ++level) {
        if (!*slot) {
            OctreeNode* node = static_cast<OctreeNode*>(calloc(1, sizeof(OctreeNode)));
            if (!node) return;
            if (level == LeafLevel) {
                node->IsLeaf = 1;
                ++LeafCount;
            } else {
                node->NextReducible = ReducibleNodes[level];
                ReducibleNodes[level] = node;
            }
            *slot = node;
        }
        OctreeNode* node = *slot;
        if (node->IsLeaf) {
            ++node->PixelCount;
            node->RedSum += red;
            node->GreenSum += green;
            node->BlueSum += blue;
            return;
        }
        const int shift = 7 - level;
        const int index = (((red & LevelMask[level]) >> shift) << 2) | (((green & LevelMask[level]) >> shift) << 1) |
                          ((blue & LevelMask[level]) >> shift);
        slot = &node->Children[index];
    }
}

bool OctreeQuantizer::ReduceTree() {
    int level = LeafLevel - 1;
    if (level < 0) return false;
    while (level > 0 && !ReducibleNodes[level]) --level;
    OctreeNode* node = ReducibleNodes[level];
    if (!node) return false;  // a single leaf and a limit of 0: nothing left to merge
    ReducibleNodes[level] = node->NextReducible;

    uint64_t red = 0, green = 0, blue = 0;
    uint32_t freed = 0;
    for (OctreeNode*& child : node->Children) {
        if (!child) continue;
        red += child->RedSum;
        green += child->GreenSum;
        blue += child->BlueSum;
        node->PixelCount += child->PixelCount;
        free(child);
        child = nullptr;
        ++freed;
    }
    node->IsLeaf = 1;
    node->RedSum = red;
    node->GreenSum = green;
    node->BlueSum = blue;
    LeafCount += 1 - freed;
    return true;
}

bool OctreeQuantizer::AddImage(const unsigned char* image) {
    const DibLayout layout = ReadDibLayout(image);
    const int bitCount = layout.bitCount;
    if (bitCount != 16 && bitCount != 24 && bitCount != 32) return false;
    const bool masked =
        layout.compression == DibCompressionBitfields || layout.compression == DibCompressionAlphaBitfields;
    if (layout.compression != DibCompressionRgb && (bitCount == 24 || !masked)) return false;

    uint32_t redMask = bitCount == 16 ? 0x7C00 : 0x00FF0000;
    uint32_t greenMask = bitCount == 16 ? 0x03E0 : 0x0000FF00;
    uint32_t blueMask = bitCount == 16 ? 0x001F : 0x000000FF;
    if (masked && layout.headerSize >= DibInfoHeaderSize) {
        redMask = ReadU32(image + 40);
        greenMask = ReadU32(image + 44);
        blueMask = ReadU32(image + 48);
    }

    const unsigned char* bits = image + layout.bitsOffset;
    const uint32_t rowLength = ((bitCount * static_cast<uint32_t>(layout.width) + 31) / 32) * 4;
    for (int32_t row = 0; row < layout.height; ++row) {
        const unsigned char* p = bits + static_cast<size_t>(row) * rowLength;
        for (int32_t x = 0; x < layout.width; ++x) {
            if (bitCount == 24) {
                AddColor(p[2], p[1], p[0]);
                p += 3;
            } else {
                const uint32_t pixel = bitCount == 16 ? static_cast<uint32_t>(p[0] | (p[1] << 8)) : ReadU32(p);
                AddColor(ChannelValue(pixel, redMask, bitCount), ChannelValue(pixel, greenMask, bitCount),
                         ChannelValue(pixel, blueMask, bitCount));
                p += bitCount / 8;
            }
            while (LeafCount > ColorLimit && ReduceTree()) {
            }
        }
    }
    return true;
}

void OctreeQuantizer::GetColorTable(unsigned char* table) const {
    uint32_t index = 0;
    CollectLeafColors(Root, table, &index);
}

void OctreeQuantizer::CollectLeafColors(const OctreeNode* node, unsigned char* table, uint32_t* index) const {
    if (!node) return;
    if (node->IsLeaf) {
        const uint64_t count = node->PixelCount ? node->PixelCount : 1;
        unsigned char* entry = table + 4 * static_cast<size_t>(*index);
        entry[0] = static_cast<unsigned char>(node->BlueSum / count);
        entry[1] = static_cast<unsigned char>(node->GreenSum / count);
        entry[2] = static_cast<unsigned char>(node->RedSum / count);
        entry[3] = 0;
        ++*index;
        return;
    }
    for (const OctreeNode* child : node->Children) CollectLeafColors(child, table, index);
}

}  // namespace reference
