// The fit-to-screen reduction written the plain way: a weight array, four line kernels, the row
// pass, the column pass down every source column and the row packing. Slow on purpose; it is the
// oracle the production reducer is checked against and the baseline of its benchmarks.
#pragma once
#include <cstdint>

#include "imaging/packed_dib.h"

namespace reference {

class ImageReducer {
public:
    ImageReducer() : Weights(nullptr) {}
    virtual ~ImageReducer();

    void ProcessImage(PackedDib image, int32_t targetWidth, int32_t targetHeight);

private:
    int32_t* Weights;
};

// The size ProcessImage gives an image of sw × sh with targets tw × th; false when it leaves the
// image alone (negative sizes, or a side that would grow).
bool NewSize(int32_t sw, int32_t sh, int32_t tw, int32_t th, int32_t* newWidth, int32_t* newHeight);

void BoxRow(int32_t count, unsigned char* line, unsigned char* out, const int32_t* weights);
void BoxColumn(int32_t count, unsigned char* line, unsigned char* out, uint32_t step, const int32_t* weights);
void PairRow(int32_t count, unsigned char* line, unsigned char* out, const int32_t* weights);
void PairColumn(int32_t count, unsigned char* line, unsigned char* out, uint32_t step, const int32_t* weights);

}  // namespace reference
