// The octree colour quantizer written the plain way: one zero-filled allocation per node, a walk
// from the root for every pixel, a division per channel for every 16- and 32-bit pixel. The
// oracle of the production quantizer and the baseline of its benchmark.
#pragma once
#include <cstdint>

namespace reference {

struct OctreeNode {
    uint32_t IsLeaf;
    uint32_t PixelCount;
    uint64_t RedSum;  // 64-bit: a leaf may stand for more pixels than 32-bit sums can add up
    uint64_t GreenSum;
    uint64_t BlueSum;
    OctreeNode* Children[8];
    OctreeNode* NextReducible;
};

class OctreeQuantizer {
public:
    OctreeQuantizer(uint32_t colorLimit, int32_t leafLevel);
    virtual ~OctreeQuantizer();

    bool AddImage(const unsigned char* image);
    void AddColor(uint32_t red, uint32_t green, uint32_t blue);
    bool ReduceTree();  // false when no node is left to merge
    uint32_t GetColorCount() const { return LeafCount; }
    // table: room for ColorLimit entries of blue, green, red, 0.
    void GetColorTable(unsigned char* table) const;

    const OctreeNode* RootNode() const { return Root; }

private:
    void CollectLeafColors(const OctreeNode* node, unsigned char* table, uint32_t* index) const;
    static void DeleteSubtree(OctreeNode** slot);

    OctreeNode* Root;
    uint32_t LeafCount;
    OctreeNode* ReducibleNodes[9];
    uint32_t ColorLimit;
    int32_t LeafLevel;
};

}  // namespace reference
