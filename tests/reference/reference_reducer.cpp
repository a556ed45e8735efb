// The reduction exactly as its description reads, step by step.
#include "tests/reference/reference_reducer.h"

#include <cstdlib>
#include <cstring>

#include "platform/debug_output.h"
#include "platform/trace_labels.h"

namespace reference {

namespace {

// Integer quotient of a signed 32-bit product; a zero divisor gives 0 (only a 0 × 0 image meets
// it).
int32_t ScaledSide(int32_t a, int32_t b, int32_t divisor) {
    if (divisor == 0) return 0;
    return static_cast<int32_t>(static_cast<int64_t>(a) * b / divisor);
}

void SetSize(PackedDib image, int32_t width, int32_t height) {
    if (ReadDibLayout(image).headerSize == DibCoreHeaderSize) {
        const uint16_t w = static_cast<uint16_t>(width), h = static_cast<uint16_t>(height);
        memcpy(image + 4, &w, 2);
        memcpy(image + 6, &h, 2);
        return;
    }
    memcpy(image + 4, &width, 4);
    memcpy(image + 8, &height, 4);
}

}  // namespace

bool NewSize(int32_t sw, int32_t sh, int32_t tw, int32_t th, int32_t* newWidth, int32_t* newHeight) {
    if (sw < 0 || sh < 0 || tw < 0 || th < 0) return false;
    const double sourceAspect = static_cast<double>(sw) / sh;
    const double targetAspect = static_cast<double>(tw) / th;
    int32_t w, h;
    if (sourceAspect >= targetAspect) {
        w = tw;
        h = ScaledSide(sh, tw, sw);
    } else {
        h = th;
        w = ScaledSide(sw, th, sh);
    }
    if (w > sw || h > sh) return false;
    *newWidth = w;
    *newHeight = h;
    return true;
}

void BoxRow(int32_t count, unsigned char* line, unsigned char* out, const int32_t* weights) {
    uint32_t blue = 0, green = 0, red = 0;
    for (int32_t i = 0; i < count; ++i) {
        blue += line[3 * i];
        green += line[3 * i + 1];
        red += line[3 * i + 2];
        const int32_t w = weights[i];
        if (w != 0) {
            out[0] = static_cast<unsigned char>(blue / w);
            out[1] = static_cast<unsigned char>(green / w);
            out[2] = static_cast<unsigned char>(red / w);
            out += 3;
            blue = green = red = 0;
        }
    }
}

void BoxColumn(int32_t count, unsigned char* line, unsigned char* out, uint32_t step, const int32_t* weights) {
    uint32_t blue = 0, green = 0, red = 0;
    for (int32_t i = 0; i < count; ++i) {
        const unsigned char* pixel = line + static_cast<size_t>(i) * step;
        blue += pixel[0];
        green += pixel[1];
        red += pixel[2];
        const int32_t w = weights[i];
        if (w != 0) {
            out[0] = static_cast<unsigned char>(blue / w);
            out[1] = static_cast<unsigned char>(green / w);
            out[2] = static_cast<unsigned char>(red / w);
            out += step;
            blue = green = red = 0;
        }
    }
}

void PairRow(int32_t count, unsigned char* line, unsigned char* out, const int32_t* weights) {
    uint32_t blue = 0, green = 0, red = 0;
    for (int32_t i = 0; i < count; ++i) {
        blue += line[3 * i];
        green += line[3 * i + 1];
        red += line[3 * i + 2];
        const int32_t w = weights[i];
        if (w != 0) {
            const int shift = w == 1 ? 0 : 1;
            out[0] = static_cast<unsigned char>(blue >> shift);
            out[1] = static_cast<unsigned char>(green >> shift);
            out[2] = static_cast<unsigned char>(red >> shift);
            out += 3;
            blue = green = red = 0;
        }
    }
}

void PairColumn(int32_t count, unsigned char* line, unsigned char* out, uint32_t step, const int32_t* weights) {
    uint32_t blue = 0, green = 0, red = 0;
    for (int32_t i = 0; i < count; ++i) {
        const unsigned char* pixel = line + static_cast<size_t>(i) * step;
        blue += pixel[0];
        green += pixel[1];
        red += pixel[2];
        const int32_t w = weights[i];
        if (w != 0) {
            const int shift = w == 1 ? 0 : 1;
            out[0] = static_cast<unsigned char>(blue >> shift);
            out[1] = static_cast<unsigned char>(green >> shift);
            out[2] = static_cast<unsigned char>(red >> shift);
            out += step;
            blue = green = red = 0;
        }
    }
}

ImageReducer::~ImageReducer() { free(Weights); }

void ImageReducer::ProcessImage(PackedDib image, int32_t targetWidth, int32_t targetHeight) {
    if (!image) return;
    const DibLayout layout = ReadDibLayout(image);
    const int32_t sw = layout.width, sh = layout.height;

    // 1. New size.
    int32_t newWidth, newHeight;
    if (!NewSize(sw, sh, targetWidth, targetHeight, &newWidth, &newHeight)) return;

    // 2. Source row length.
    const uint32_t rowLength = ((layout.bitCount * static_cast<uint32_t>(sw) + 31) / 32) * 4;

    // 3. Weights along the longer side.
    const int32_t n = sw > sh ? sw : sh;
    const int32_t m = sw > sh ? newWidth : newHeight;
    Weights = static_cast<int32_t*>(malloc(static_cast<size_t>(n > 0 ? n : 1) * sizeof(int32_t)));
    if (!Weights) return;
    int32_t e = 2 * m - n, run = 0, longestRun = 0;
    for (int32_t i = 0; i < n; ++i) {
        ++run;
        if (run > longestRun) longestRun = run;
        if (e < 0) {
            Weights[i] = 0;
            e += 2 * m;
        } else {
            Weights[i] = run;
            run = 0;
            e += 2 * (m - n);
        }
    }

    // 4. Only uncompressed 24-bit pictures are reduced.
    if (layout.bitCount != 24 || layout.compression != DibCompressionRgb) {
        free(Weights);
        Weights = nullptr;
        return;
    }

    // 5. to 8.
    const uint32_t startTick = TickCount();
    unsigned char* bits = image + layout.bitsOffset;
    for (int32_t row = 0; row < sh; ++row) {
        unsigned char* line = bits + static_cast<size_t>(row) * rowLength;
        if (longestRun > 2) {
            BoxRow(sw, line, line, Weights);
        } else {
            PairRow(sw, line, line, Weights);
        }
    }
    WriteTrace(TraceLabel::ReduceRows, startTick);

    for (int32_t column = 0; column < sw; ++column) {
        unsigned char* line = bits + 3 * static_cast<size_t>(column);
        if (longestRun > 2) {
            BoxColumn(sh, line, line, rowLength, Weights);
        } else {
            PairColumn(sh, line, line, rowLength, Weights);
        }
    }
    WriteTrace(TraceLabel::ReduceColumns, startTick);

    const uint32_t newRowLength = ((24 * static_cast<uint32_t>(newWidth) + 31) / 32) * 4;
    for (int32_t row = 1; row < sh; ++row) {
        memmove(bits + static_cast<size_t>(row) * newRowLength, bits + static_cast<size_t>(row) * rowLength,
                newRowLength);
    }
    WriteTrace(TraceLabel::ReduceMove, startTick);

    // 9., 10.
    SetSize(image, newWidth, newHeight);
    free(Weights);
    Weights = nullptr;
}

}  // namespace reference
