// Octree colour quantizer: sorts every pixel of a true-colour image into a tree of depth LeafLevel
// by the bits of its red, green and blue values, and whenever the tree holds more than ColorLimit
// leaves merges the children of the newest non-leaf node of the deepest level into one leaf with
// their pixel-weighted mean. Each leaf at the end is one colour.
#pragma once
#include <cstdint>

#include "imaging/packed_dib.h"

// Nodes live in the quantizer's pool and refer to each other by index; index 0 means none.
struct OctreeNode {
    uint32_t IsLeaf;
    uint32_t PixelCount;
    uint64_t RedSum;  // 64-bit: one leaf may stand for more pixels than 32-bit sums can add up
    uint64_t GreenSum;
    uint64_t BlueSum;
    uint32_t Children[8];  // child i: the colours whose bits at this level give index i (red × 4 +
                           // green × 2 + blue)
    uint32_t NextReducible;
    uint32_t Level;
    uint32_t Path;  // the colour bits (0xRRGGBB) that lead here, down to this node's level
};

// Colours by their top PrefixBits bits of each channel: 0xRRGGBB >> (8 − PrefixBits) per channel.
enum : uint32_t { PrefixBits = 4, PrefixCount = 1u << (3 * PrefixBits) };

// Pixels counted for a prefix and not yet added to its leaf are kept as 32-bit fields two to a
// word, so that a pixel is two additions: red + pixels × 2^32 and blue + green × 2^32. They are
// added to the leaf before any field could pass 2^32.
enum : uint32_t {
    PrefixBanks = 4,              // neighbouring pixels count in different places
    MaxPendingPixels = 1u << 24,  // 255 × 2^24 < 2^32
};

class OctreeQuantizer {
public:
    OctreeQuantizer(uint32_t colorLimit, int32_t leafLevel);
    virtual ~OctreeQuantizer();
    OctreeQuantizer(const OctreeQuantizer&) = delete;  // owns its pool and tables
    OctreeQuantizer& operator=(const OctreeQuantizer&) = delete;

    // Adds every pixel of a 16-, 24- or 32-bit uncompressed (or, for 16 and 32 bits, bit-field)
    // image, reducing the tree after each; false, adding nothing, for any other image.
    bool AddImage(const unsigned char* image);
    bool AddImage(const unsigned char* image, const DibLayout& layout);  // its layout already read
    // Adds one colour (the low 8 bits of each value) without reducing the tree.
    void AddColor(uint32_t red, uint32_t green, uint32_t blue);
    // Merges one node into a leaf; false when there is none left to merge.
    bool ReduceTree();
    uint32_t GetColorCount() const { return LeafCount; }
    // Writes GetColorCount() entries of blue, green, red, 0 in depth-first order; the table must
    // have room for ColorLimit entries.
    void GetColorTable(unsigned char* table) const;

private:
    // The leaf the last walked pixel went to, the colour bits that lead there, and the pixels
    // counted for it since.
    struct WalkCache {
        uint32_t Leaf;
        uint32_t Color;
        uint32_t Mask;
        uint32_t PixelCount;
        uint64_t RedSum;
        uint64_t GreenSum;
        uint64_t BlueSum;
    };

    uint32_t NewNode(int32_t level, uint32_t color);
    void AddByWalk(uint32_t color, WalkCache& cache);
    void FlushWalkCache(WalkCache& cache);
    void SetPrefixLeaf(uint32_t node);
    void FlushPrefixes(uint32_t node);
    uint32_t FindLeaf(uint32_t color, uint32_t* depth);
    void CollectLeafColors(uint32_t node, unsigned char* table, uint32_t* index) const;
    template <class ReadPixel>
    void AddPixels(const unsigned char* bits, uint32_t width, uint32_t height, uint32_t stride, uint32_t bytesPerPixel,
                   ReadPixel readPixel);

    uint32_t Root;
    uint32_t LeafCount;
    uint32_t ReducibleNodes[9];  // per level, the non-leaf nodes, newest first
    uint32_t ColorLimit;
    int32_t LeafLevel;
    OctreeNode* Nodes;  // the pool; entry 0 stays unused
    uint32_t NodeCapacity;
    uint32_t NodeCount;
    uint32_t FreeNodes;  // merged-away nodes, chained through NextReducible
    // Where a leaf lies no deeper than PrefixBits, every colour with its prefix goes to it without
    // a walk: PrefixLeaves says which leaf (0: walk), PendingRedAndCount and PendingBlueAndGreen
    // (PrefixBanks entries per prefix) hold those pixels' sums until a merge or the end needs them
    // in the leaf. All none when the heap had no room.
    uint32_t* PrefixLeaves;
    uint64_t* PendingRedAndCount;
    uint64_t* PendingBlueAndGreen;
};
