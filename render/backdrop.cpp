#include "render/backdrop.h"

#include <cstdlib>
#include <cstring>

#include "render/pixel_channels.h"

namespace {

struct Rgb {
    uint32_t Blue, Green, Red;
};

// Reads any uncompressed picture's pixels as red, green and blue, rows counted from the top.
class PixelSource {
public:
    explicit PixelSource(const DibPicture& picture)
        : layout_(picture.Layout), image_(picture.Block), bits_(DibPictureBits(picture)) {
        if (layout_.bitCount == 16 || layout_.bitCount == 32) channels_ = ReadPixelChannels(image_, layout_);
        stride_ = static_cast<size_t>(DibStride(static_cast<uint32_t>(layout_.width), layout_.bitCount));
    }

    bool Readable() const {
        const uint16_t bits = layout_.bitCount;
        const bool indexed = bits == 1 || bits == 4 || bits == 8;
        if (layout_.width <= 0 || layout_.height == 0) return false;
        if (indexed) return layout_.compression == DibCompressionRgb && layout_.colorCount > 0;
        if (bits == 24) return layout_.compression == DibCompressionRgb;
        return (bits == 16 || bits == 32) &&
               (layout_.compression == DibCompressionRgb || layout_.compression == DibCompressionBitfields ||
                layout_.compression == DibCompressionAlphaBitfields);
    }
    int32_t Width() const { return layout_.width; }
    int32_t Height() const { return layout_.height < 0 ? -layout_.height : layout_.height; }

    Rgb At(int32_t x, int32_t yFromTop) const {
        const int32_t row = layout_.height < 0 ? yFromTop : layout_.height - 1 - yFromTop;
        const unsigned char* line = bits_ + static_cast<size_t>(row) * stride_;
        switch (layout_.bitCount) {
            case 24: return {line[3 * x], line[3 * x + 1], line[3 * x + 2]};
            case 16: return FromChannels(static_cast<uint32_t>(line[2 * x] | (line[2 * x + 1] << 8)));
            case 32:
                return FromChannels(static_cast<uint32_t>(line[4 * x]) | (static_cast<uint32_t>(line[4 * x + 1]) << 8) |
                                    (static_cast<uint32_t>(line[4 * x + 2]) << 16) |
                                    (static_cast<uint32_t>(line[4 * x + 3]) << 24));
            default: break;
        }
        const uint32_t perByte = 8 / layout_.bitCount;
        const uint32_t shift = 8 - layout_.bitCount * (1 + static_cast<uint32_t>(x) % perByte);
        uint32_t index = (line[static_cast<uint32_t>(x) / perByte] >> shift) & ((1u << layout_.bitCount) - 1);
        if (index >= layout_.colorCount) index = 0;
        const unsigned char* entry = image_ + layout_.colorTableOffset + index * layout_.colorEntrySize;
        return {entry[0], entry[1], entry[2]};
    }

private:
    Rgb FromChannels(uint32_t pixel) const {
        return {ReadChannel(pixel, channels_.Blue), ReadChannel(pixel, channels_.Green),
                ReadChannel(pixel, channels_.Red)};
    }

    DibLayout layout_;
    const unsigned char* image_;
    const unsigned char* bits_;
    PixelChannels channels_ = {};
    size_t stride_ = 0;
};

// The small copy: the middle of the picture that has the area's shape, each cell the mean of
// the picture's pixels it covers (at least one).
void CoverWithCells(const PixelSource& source, Rgb* cells, int32_t cellsWide, int32_t cellsHigh, int32_t width,
                    int32_t height) {
    // The crop of the picture with the area's aspect ratio, as large as the picture allows.
    int64_t cropWidth = source.Width(), cropHeight = source.Height();
    if (cropWidth * height > cropHeight * width) {
        cropWidth = cropHeight * width / height;
    } else {
        cropHeight = cropWidth * height / width;
    }
    if (cropWidth < 1) cropWidth = 1;
    if (cropHeight < 1) cropHeight = 1;
    const int64_t left = (source.Width() - cropWidth) / 2, top = (source.Height() - cropHeight) / 2;
    for (int32_t cy = 0; cy < cellsHigh; ++cy) {
        const int64_t y0 = top + cropHeight * cy / cellsHigh;
        int64_t y1 = top + cropHeight * (cy + 1) / cellsHigh;
        if (y1 <= y0) y1 = y0 + 1;
        for (int32_t cx = 0; cx < cellsWide; ++cx) {
            const int64_t x0 = left + cropWidth * cx / cellsWide;
            int64_t x1 = left + cropWidth * (cx + 1) / cellsWide;
            if (x1 <= x0) x1 = x0 + 1;
            uint64_t blue = 0, green = 0, red = 0;
            for (int64_t y = y0; y < y1; ++y) {
                for (int64_t x = x0; x < x1; ++x) {
                    const Rgb p = source.At(static_cast<int32_t>(x), static_cast<int32_t>(y));
                    blue += p.Blue;
                    green += p.Green;
                    red += p.Red;
                }
            }
            const uint64_t count = static_cast<uint64_t>((y1 - y0) * (x1 - x0));
            cells[static_cast<size_t>(cy) * cellsWide + cx] = {static_cast<uint32_t>(blue / count),
                                                               static_cast<uint32_t>(green / count),
                                                               static_cast<uint32_t>(red / count)};
        }
    }
}

// One box pass along rows (step 1) or columns (step cellsWide), the edges held.
// line: room for length cells.
void BoxPass(Rgb* cells, Rgb* line, int32_t lines, int32_t length, size_t lineStep, size_t step) {
    const int32_t span = 2 * BackdropBlurRadius + 1;
    for (int32_t l = 0; l < lines; ++l) {
        Rgb* first = &cells[static_cast<size_t>(l) * lineStep];
        for (int32_t i = 0; i < length; ++i) line[static_cast<size_t>(i)] = first[static_cast<size_t>(i) * step];
        for (int32_t i = 0; i < length; ++i) {
            uint32_t blue = 0, green = 0, red = 0;
            for (int32_t k = i - BackdropBlurRadius; k <= i + BackdropBlurRadius; ++k) {
                const Rgb& p = line[static_cast<size_t>(k < 0 ? 0 : (k >= length ? length - 1 : k))];
                blue += p.Blue;
                green += p.Green;
                red += p.Red;
            }
            first[static_cast<size_t>(i) * step] = {blue / span, green / span, red / span};
        }
    }
}

// Where destination pixel i of size falls among count cells, in 1/256 of a cell, for the
// smooth stretch: pixel centres onto cell centres, held inside the first and last cell.
struct Tap {
    int32_t Low;
    uint32_t Weight;  // of the cell after Low, of 256
};

void FillTaps(Tap* taps, int32_t size, int32_t count) {
    for (int32_t i = 0; i < size; ++i) {
        int64_t at = ((2 * static_cast<int64_t>(i) + 1) * count * 256) / (2 * static_cast<int64_t>(size)) - 128;
        if (at < 0) at = 0;
        if (at > (count - 1) * 256) at = (count - 1) * 256;
        int32_t low = static_cast<int32_t>(at / 256);
        uint32_t weight = static_cast<uint32_t>(at % 256);
        if (low == count - 1) weight = 0;
        taps[static_cast<size_t>(i)] = {low, weight};
    }
}

uint32_t Mix(uint32_t a, uint32_t b, uint32_t weight) { return (a * (256 - weight) + b * weight + 128) >> 8; }

}  // namespace

DibPicture MakeBackdrop(const DibPicture& picture, int32_t width, int32_t height) {
    if (!picture.Block || width <= 0 || height <= 0) return {};
    const PixelSource source(picture);
    if (!source.Readable()) return {};
    if (source.Width() >= width && source.Height() >= height) return {};
    if (!DibSizeIsAddressable(static_cast<uint32_t>(width), static_cast<uint32_t>(height), 24)) return {};

    const int32_t cellsWide = width / BackdropCellPixels > 0 ? width / BackdropCellPixels : 1;
    const int32_t cellsHigh = height / BackdropCellPixels > 0 ? height / BackdropCellPixels : 1;
    // One scratch block: the cells, a line of them for the blur (the longer side), a row of them
    // for the stretch, and the stretch's taps across and down.
    const size_t cellCount = static_cast<size_t>(cellsWide) * cellsHigh;
    const size_t lineCount = static_cast<size_t>(cellsWide > cellsHigh ? cellsWide : cellsHigh);
    const size_t tapCount = static_cast<size_t>(width) + static_cast<size_t>(height);
    void* scratch = malloc((cellCount + 2 * lineCount) * sizeof(Rgb) + tapCount * sizeof(Tap));
    const DibPicture backdrop =
        scratch ? CreateDibPicture(static_cast<uint32_t>(width), static_cast<uint32_t>(height), 24) : DibPicture{};
    if (!backdrop.Block) {
        free(scratch);
        return {};
    }
    Rgb* cells = static_cast<Rgb*>(scratch);
    Rgb* line = cells + cellCount;
    Rgb* row = line + lineCount;
    Tap* across = reinterpret_cast<Tap*>(row + lineCount);
    Tap* down = across + width;

    CoverWithCells(source, cells, cellsWide, cellsHigh, width, height);
    for (int pass = 0; pass < 2; ++pass) {
        BoxPass(cells, line, cellsHigh, cellsWide, static_cast<size_t>(cellsWide), 1);
        BoxPass(cells, line, cellsWide, cellsHigh, 1, static_cast<size_t>(cellsWide));
    }
    for (size_t i = 0; i < cellCount; ++i) {
        cells[i].Blue = cells[i].Blue * BackdropBrightnessPercent / 100;
        cells[i].Green = cells[i].Green * BackdropBrightnessPercent / 100;
        cells[i].Red = cells[i].Red * BackdropBrightnessPercent / 100;
    }

    FillTaps(across, width, cellsWide);
    FillTaps(down, height, cellsHigh);
    const size_t stride = static_cast<size_t>(DibStride(static_cast<uint32_t>(width), 24));
    unsigned char* bits = DibPictureBits(backdrop);
    for (int32_t y = 0; y < height; ++y) {
        const Tap& v = down[static_cast<size_t>(y)];
        const Rgb* upper = &cells[static_cast<size_t>(v.Low) * cellsWide];
        const Rgb* lower = v.Weight ? upper + cellsWide : upper;
        for (int32_t cx = 0; cx < cellsWide; ++cx) {
            row[static_cast<size_t>(cx)] = {Mix(upper[cx].Blue, lower[cx].Blue, v.Weight),
                                            Mix(upper[cx].Green, lower[cx].Green, v.Weight),
                                            Mix(upper[cx].Red, lower[cx].Red, v.Weight)};
        }
        unsigned char* out = bits + static_cast<size_t>(height - 1 - y) * stride;  // bottom-up
        for (int32_t x = 0; x < width; ++x) {
            const Tap& h = across[static_cast<size_t>(x)];
            const Rgb& a = row[static_cast<size_t>(h.Low)];
            const Rgb& b = h.Weight ? row[static_cast<size_t>(h.Low) + 1] : a;
            out[3 * x] = static_cast<unsigned char>(Mix(a.Blue, b.Blue, h.Weight));
            out[3 * x + 1] = static_cast<unsigned char>(Mix(a.Green, b.Green, h.Weight));
            out[3 * x + 2] = static_cast<unsigned char>(Mix(a.Red, b.Red, h.Weight));
        }
    }
    free(scratch);
    return backdrop;
}
