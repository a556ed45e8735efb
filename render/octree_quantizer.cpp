// The octree quantizer. The tree's shape, its merges and its colours are exactly those of one
// zero-filled allocation per node and a walk from the root for every pixel; what is faster is how
// it gets there. Nodes come from one pool. Only a pixel whose walk would make a node can change
// the tree, and sums add up in any order, so a pixel that is known to end in an existing leaf
// is just counted: by its prefix when its leaf lies within PrefixBits of the root, else when it
// lies under the same leaf as the pixel before (same top bits down to that leaf's depth).
#include "render/octree_quantizer.h"

#include <cstdlib>
#include <cstring>

#include "imaging/byte_order.h"
#include "imaging/packed_dib.h"
#include "render/pixel_channels.h"

namespace {

// Colours travel as 0xRRGGBB. The bits a leaf at depth d resolves of each channel.
const uint32_t DepthMask[9] = {0x000000, 0x808080, 0xC0C0C0, 0xE0E0E0, 0xF0F0F0,
                               0xF8F8F8, 0xFCFCFC, 0xFEFEFE, 0xFFFFFF};
const uint32_t NoColor = 0xFFFFFFFF;  // matches no colour under any mask but its own

struct Rgb {
    uint32_t Red, Green, Blue;  // 0 to 255 each
};

uint32_t PrefixOf(uint32_t color) {
    const uint32_t drop = 8 - PrefixBits, mask = (1u << PrefixBits) - 1;
    return (((color >> (16 + drop)) & mask) << (2 * PrefixBits)) | (((color >> (8 + drop)) & mask) << PrefixBits) |
           ((color >> drop) & mask);
}

uint32_t ChildIndex(uint32_t color, int32_t level) {
    const uint32_t shift = 7 - static_cast<uint32_t>(level);
    return (((color >> (16 + shift)) & 1) << 2) | (((color >> (8 + shift)) & 1) << 1) | ((color >> shift) & 1);
}

// Calls visit(prefix) for every prefix under a node no deeper than PrefixBits.
template <class Visit>
void ForEachPrefix(const OctreeNode& node, Visit visit) {
    const uint32_t span = 1u << (PrefixBits - node.Level), base = PrefixOf(node.Path);
    for (uint32_t r = 0; r < span; ++r) {
        for (uint32_t g = 0; g < span; ++g) {
            for (uint32_t b = 0; b < span; ++b) visit(base | (r << (2 * PrefixBits)) | (g << PrefixBits) | b);
        }
    }
}

}  // namespace

OctreeQuantizer::OctreeQuantizer(uint32_t colorLimit, int32_t leafLevel)
    : Root(0),
      LeafCount(0),
      ColorLimit(colorLimit),
      LeafLevel(leafLevel < 0   ? 0
                : leafLevel > 8 ? 8
                                : leafLevel),
      Nodes(nullptr),
      NodeCapacity(0),
      NodeCount(1),
      FreeNodes(0),
      PrefixLeaves(static_cast<uint32_t*>(calloc(PrefixCount, sizeof(uint32_t)))),
      PendingRedAndCount(static_cast<uint64_t*>(calloc(2 * PrefixBanks * PrefixCount, sizeof(uint64_t)))),
      PendingBlueAndGreen(PendingRedAndCount ? PendingRedAndCount + PrefixBanks * PrefixCount : nullptr) {
    for (uint32_t& head : ReducibleNodes) head = 0;
    if (!PrefixLeaves || !PendingRedAndCount) {
        free(PrefixLeaves);
        free(PendingRedAndCount);
        PrefixLeaves = nullptr;
        PendingRedAndCount = PendingBlueAndGreen = nullptr;
    }
}

OctreeQuantizer::~OctreeQuantizer() {
    free(Nodes);
    free(PrefixLeaves);
    free(PendingRedAndCount);
}

// A leaf within PrefixBits of the root takes every colour with its prefixes from now on.
void OctreeQuantizer::SetPrefixLeaf(uint32_t node) {
    if (!PrefixLeaves || Nodes[node].Level > PrefixBits) return;
    ForEachPrefix(Nodes[node], [this, node](uint32_t prefix) { PrefixLeaves[prefix] = node; });
}

// Adds the pixels counted under a node's prefixes to the leaves they were counted for.
void OctreeQuantizer::FlushPrefixes(uint32_t node) {
    if (!PrefixLeaves || Nodes[node].Level > PrefixBits) return;
    ForEachPrefix(Nodes[node], [this](uint32_t prefix) {
        for (uint32_t i = PrefixBanks * prefix; i < PrefixBanks * (prefix + 1); ++i) {
            if (!PendingRedAndCount[i]) continue;
            OctreeNode& leaf = Nodes[PrefixLeaves[prefix]];
            leaf.PixelCount += static_cast<uint32_t>(PendingRedAndCount[i] >> 32);
            leaf.RedSum += static_cast<uint32_t>(PendingRedAndCount[i]);
            leaf.GreenSum += static_cast<uint32_t>(PendingBlueAndGreen[i] >> 32);
            leaf.BlueSum += static_cast<uint32_t>(PendingBlueAndGreen[i]);
            PendingRedAndCount[i] = PendingBlueAndGreen[i] = 0;
        }
    });
}

uint32_t OctreeQuantizer::NewNode(int32_t level, uint32_t color) {
    uint32_t node = FreeNodes;
    if (node) {
        FreeNodes = Nodes[node].NextReducible;
    } else {
        if (NodeCount >= NodeCapacity) {
            if (NodeCapacity > UINT32_MAX / 2 ||
                2 * static_cast<size_t>(NodeCapacity) > SIZE_MAX / sizeof(OctreeNode)) {
                return 0;
            }
            const uint32_t capacity = NodeCapacity ? 2 * NodeCapacity : 512;
            OctreeNode* grown = static_cast<OctreeNode*>(realloc(Nodes, sizeof(OctreeNode) * capacity));
            if (!grown) return 0;
            Nodes = grown;
            NodeCapacity = capacity;
        }
        node = NodeCount++;
    }
    memset(&Nodes[node], 0, sizeof(OctreeNode));
    Nodes[node].Level = static_cast<uint32_t>(level);
    Nodes[node].Path = color & DepthMask[level];
    if (level == LeafLevel) {
        Nodes[node].IsLeaf = 1;
        ++LeafCount;
        SetPrefixLeaf(node);
    } else {
        Nodes[node].NextReducible = ReducibleNodes[level];
        ReducibleNodes[level] = node;
    }
    return node;
}

// The leaf the colour stops at, made on the way where missing; 0 when a node could not be made.
uint32_t OctreeQuantizer::FindLeaf(uint32_t color, uint32_t* depth) {
    if (!Root) Root = NewNode(0, color);
    uint32_t node = Root;
    for (int32_t level = 0; node; ++level) {
        if (Nodes[node].IsLeaf) {
            *depth = static_cast<uint32_t>(level);
            return node;
        }
        const uint32_t index = ChildIndex(color, level);
        uint32_t child = Nodes[node].Children[index];
        if (!child) {
            child = NewNode(level + 1, color);  // may move the pool
            Nodes[node].Children[index] = child;
        }
        node = child;
    }
    return 0;
}

void OctreeQuantizer::AddColor(uint32_t red, uint32_t green, uint32_t blue) {
    const uint32_t color = ((red & 0xFF) << 16) | ((green & 0xFF) << 8) | (blue & 0xFF);
    uint32_t depth;
    const uint32_t leaf = FindLeaf(color, &depth);
    if (!leaf) return;
    OctreeNode& n = Nodes[leaf];
    ++n.PixelCount;
    n.RedSum += color >> 16;
    n.GreenSum += (color >> 8) & 0xFF;
    n.BlueSum += color & 0xFF;
}

bool OctreeQuantizer::ReduceTree() {
    int32_t level = LeafLevel - 1;
    if (level < 0) return false;
    while (level > 0 && !ReducibleNodes[level]) --level;
    const uint32_t node = ReducibleNodes[level];
    if (!node) return false;  // a single leaf and a limit of 0: nothing left to merge
    ReducibleNodes[level] = Nodes[node].NextReducible;
    FlushPrefixes(node);

    OctreeNode& n = Nodes[node];
    uint64_t red = 0, green = 0, blue = 0;
    uint32_t freed = 0;
    for (uint32_t& child : n.Children) {
        if (!child) continue;
        const OctreeNode& c = Nodes[child];
        red += c.RedSum;
        green += c.GreenSum;
        blue += c.BlueSum;
        n.PixelCount += c.PixelCount;
        Nodes[child].NextReducible = FreeNodes;
        FreeNodes = child;
        child = 0;
        ++freed;
    }
    n.IsLeaf = 1;
    n.RedSum = red;
    n.GreenSum = green;
    n.BlueSum = blue;
    LeafCount += 1 - freed;
    SetPrefixLeaf(node);
    return true;
}

// Adds a pixel whose leaf the prefixes do not know: counted for the previous pixel's leaf when it
// lies under it too, else walked to its leaf, which may make nodes and merge others.
void OctreeQuantizer::AddByWalk(uint32_t color, WalkCache& cache) {
    if (((color ^ cache.Color) & cache.Mask) == 0) {
        ++cache.PixelCount;
        cache.RedSum += color >> 16;
        cache.GreenSum += (color >> 8) & 0xFF;
        cache.BlueSum += color & 0xFF;
        return;
    }
    FlushWalkCache(cache);
    uint32_t depth = 0;
    const uint32_t leaf = FindLeaf(color, &depth);
    cache.Color = NoColor;
    cache.Mask = NoColor;
    if (!leaf) return;  // out of memory: this colour is not added
    OctreeNode& n = Nodes[leaf];
    ++n.PixelCount;
    n.RedSum += color >> 16;
    n.GreenSum += (color >> 8) & 0xFF;
    n.BlueSum += color & 0xFF;
    if (LeafCount > ColorLimit) {
        while (LeafCount > ColorLimit && ReduceTree()) {
        }
        return;  // the leaf may have been merged away
    }
    cache.Leaf = leaf;
    cache.Color = color;
    cache.Mask = DepthMask[depth];
}

void OctreeQuantizer::FlushWalkCache(WalkCache& cache) {
    if (!cache.PixelCount) return;
    OctreeNode& n = Nodes[cache.Leaf];
    n.PixelCount += cache.PixelCount;
    n.RedSum += cache.RedSum;
    n.GreenSum += cache.GreenSum;
    n.BlueSum += cache.BlueSum;
    cache.PixelCount = 0;
    cache.RedSum = cache.GreenSum = cache.BlueSum = 0;
}

template <class ReadPixel>
void OctreeQuantizer::AddPixels(const unsigned char* bits, uint32_t width, uint32_t height, uint32_t stride,
                                uint32_t bytesPerPixel, ReadPixel readPixel) {
    WalkCache cache = {0, NoColor, NoColor, 0, 0, 0, 0};
    const uint32_t drop = 8 - PrefixBits;
    // Without tables every prefix reads as unknown and every pixel is walked.
    static const uint32_t NoPrefixLeaves[PrefixCount] = {};
    const uint32_t* const prefixLeaves = PrefixLeaves ? PrefixLeaves : NoPrefixLeaves;
    uint64_t* const redAndCount = PendingRedAndCount;
    uint64_t* const blueAndGreen = PendingBlueAndGreen;
    uint32_t pendingPixels = 0;
    for (uint32_t y = 0; y < height; ++y) {
        const unsigned char* row = bits + static_cast<size_t>(y) * stride;
        for (uint32_t x0 = 0; x0 < width; x0 += MaxPendingPixels) {
            const uint32_t x1 = width - x0 > MaxPendingPixels ? x0 + MaxPendingPixels : width;
            if (pendingPixels > MaxPendingPixels - (x1 - x0)) {
                if (Root) FlushPrefixes(Root);
                pendingPixels = 0;
            }
            pendingPixels += x1 - x0;
            // Four pixels a step, each counting in its own bank, so that a run of one prefix does
            // not wait on its own last addition.
            auto addPixel = [&](const unsigned char* p, uint32_t bank) {
                const Rgb rgb = readPixel(p);
                const uint32_t prefix =
                    ((rgb.Red >> drop) << (2 * PrefixBits)) | ((rgb.Green >> drop) << PrefixBits) | (rgb.Blue >> drop);
                if (prefixLeaves[prefix]) {
                    const uint32_t i = PrefixBanks * prefix + bank;
                    redAndCount[i] += rgb.Red | (uint64_t{1} << 32);
                    blueAndGreen[i] += rgb.Blue | (uint64_t{rgb.Green} << 32);
                    return;
                }
                AddByWalk((rgb.Red << 16) | (rgb.Green << 8) | rgb.Blue, cache);
            };
            const unsigned char* p = row + static_cast<size_t>(x0) * bytesPerPixel;
            uint32_t x = x0;
            for (; x1 - x >= PrefixBanks; x += PrefixBanks, p += PrefixBanks * bytesPerPixel) {
                addPixel(p, 0);
                addPixel(p + bytesPerPixel, 1);
                addPixel(p + 2 * bytesPerPixel, 2);
                addPixel(p + 3 * bytesPerPixel, 3);
            }
            for (; x < x1; ++x, p += bytesPerPixel) addPixel(p, x & (PrefixBanks - 1));
        }
    }
    FlushWalkCache(cache);
    if (Root) FlushPrefixes(Root);
}

bool OctreeQuantizer::AddImage(const unsigned char* image) { return AddImage(image, ReadDibLayout(image)); }

bool OctreeQuantizer::AddImage(const unsigned char* image, const DibLayout& layout) {
    const uint32_t bitCount = layout.bitCount;
    if (bitCount != 16 && bitCount != 24 && bitCount != 32) return false;
    const bool bitFields =
        layout.compression == DibCompressionBitfields || layout.compression == DibCompressionAlphaBitfields;
    // Any other compression leaves no pixels to read, only coded bytes.
    if (layout.compression != DibCompressionRgb && (bitCount == 24 || !bitFields)) return false;
    if (layout.width <= 0 || layout.height <= 0) return true;

    const unsigned char* bits = image + layout.bitsOffset;
    const uint32_t width = static_cast<uint32_t>(layout.width), height = static_cast<uint32_t>(layout.height);
    const uint32_t stride = static_cast<uint32_t>(DibStride(width, bitCount));
    if (bitCount == 24) {
        AddPixels(bits, width, height, stride, 3, [](const unsigned char* p) { return Rgb{p[2], p[1], p[0]}; });
        return true;
    }
    const PixelChannels channels = ReadPixelChannels(image, layout);
    auto color = [channels](uint32_t pixel) {
        return Rgb{ReadChannel(pixel, channels.Red), ReadChannel(pixel, channels.Green),
                   ReadChannel(pixel, channels.Blue)};
    };
    if (bitCount == 16) {
        AddPixels(bits, width, height, stride, 2, [color](const unsigned char* p) { return color(ReadLittleU16(p)); });
    } else {
        AddPixels(bits, width, height, stride, 4, [color](const unsigned char* p) {
            uint32_t pixel;
            memcpy(&pixel, p, 4);  // little-endian, as every build of this program runs
            return color(pixel);
        });
    }
    return true;
}

void OctreeQuantizer::GetColorTable(unsigned char* table) const {
    uint32_t index = 0;
    CollectLeafColors(Root, table, &index);
}

void OctreeQuantizer::CollectLeafColors(uint32_t node, unsigned char* table, uint32_t* index) const {
    if (!node) return;
    const OctreeNode& n = Nodes[node];
    if (n.IsLeaf) {
        const uint64_t count = n.PixelCount ? n.PixelCount : 1;
        unsigned char* entry = table + 4 * static_cast<size_t>(*index);
        entry[0] = static_cast<unsigned char>(n.BlueSum / count);
        entry[1] = static_cast<unsigned char>(n.GreenSum / count);
        entry[2] = static_cast<unsigned char>(n.RedSum / count);
        entry[3] = 0;
        ++*index;
        return;
    }
    for (uint32_t child : n.Children) CollectLeafColors(child, table, index);
}
