#include "render/image_reducer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "image_test_files.h"
#include "imaging/bmp_loader.h"
#include "imaging/jpeg_decoder.h"
#include "imaging/png_loader.h"
#include "platform/debug_output.h"
#include "platform/trace_labels.h"
#include "render/picture_fit.h"
#include "render/reduction_plan.h"
#include "render/column_means.h"
#include "render/row_means.h"
#include "render/streamed_reduction.h"
#include "slideshow/file_type_table.h"
#include "tests/reference/reference_reducer.h"

namespace {

struct FreeBlock {
    void operator()(unsigned char* p) const { free(p); }
};
typedef std::unique_ptr<unsigned char, FreeBlock> Image;

size_t BlockSize(const unsigned char* image) {
    const DibLayout layout = ReadDibLayout(image);
    return layout.bitsOffset + DibStride(static_cast<uint64_t>(layout.width), layout.bitCount) * layout.height;
}

Image CopyOf(const unsigned char* image) {
    const size_t size = BlockSize(image);
    Image copy(static_cast<unsigned char*>(malloc(size)));
    memcpy(copy.get(), image, size);
    return copy;
}

enum class Content { Noise, Smooth, Flat, Bright, Stripes };

// A 24-bit image whose pad bytes hold garbage, so that a reduction that averaged them would show.
Image MakeImage(uint32_t width, uint32_t height, Content content, std::mt19937& random) {
    Image image(CreatePackedDib(width, height, 24));
    unsigned char* bits = PackedDibBits(image.get());
    const size_t stride = DibStride(width, 24);
    const int phase = static_cast<int>(random() % 97);
    for (uint32_t y = 0; y < height; ++y) {
        unsigned char* row = bits + y * stride;
        for (size_t i = 3 * static_cast<size_t>(width); i < stride; ++i) row[i] = static_cast<unsigned char>(random());
        for (uint32_t x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                int v = 0;
                switch (content) {
                    case Content::Noise: v = static_cast<int>(random() & 0xFF); break;
                    case Content::Smooth: v = (static_cast<int>(x * (c + 1) + y * (3 - c)) + phase) & 0xFF; break;
                    case Content::Flat: v = 17 + 80 * c; break;
                    case Content::Bright: v = 255 - static_cast<int>(random() % 3); break;
                    case Content::Stripes: v = ((x + y) % 3 == 0) ? 255 : 0; break;
                }
                row[3 * x + c] = static_cast<unsigned char>(v);
            }
        }
    }
    return image;
}

// Compares what the reduction promises: the header and the first new-height rows of new-width
// pixels at the new row length.
void ExpectSameVisiblePixels(const unsigned char* expected, const unsigned char* actual) {
    ASSERT_EQ(memcmp(expected, actual, 40), 0) << "headers differ";
    const DibLayout layout = ReadDibLayout(expected);
    const size_t stride = DibStride(static_cast<uint64_t>(layout.width), 24);
    const unsigned char* e = expected + layout.bitsOffset;
    const unsigned char* a = actual + layout.bitsOffset;
    for (int32_t y = 0; y < layout.height; ++y) {
        for (int32_t x = 0; x < layout.width; ++x) {
            const size_t at = y * stride + 3 * static_cast<size_t>(x);
            if (memcmp(e + at, a + at, 3) != 0) {
                FAIL() << "pixel " << x << "," << y << ": expected " << int(e[at]) << " " << int(e[at + 1]) << " "
                       << int(e[at + 2]) << ", got " << int(a[at]) << " " << int(a[at + 1]) << " " << int(a[at + 2]);
            }
        }
    }
}

void ReduceBothAndCompare(const unsigned char* source, int32_t targetWidth, int32_t targetHeight) {
    Image expected = CopyOf(source), actual = CopyOf(source);
    reference::ImageReducer().ProcessImage(expected.get(), targetWidth, targetHeight);
    ImageReducer().ProcessImage(actual.get(), targetWidth, targetHeight);
    ExpectSameVisiblePixels(expected.get(), actual.get());
}

std::string CapturedTrace;
void CaptureTrace(const char* text) { CapturedTrace += text; }

TEST(ReductionPlan, NewSizeKeepsTheAspectRatioAndRoundsDown) {
    struct Case {
        int32_t sw, sh, tw, th, w, h;
    } cases[] = {
        {1600, 1200, 1024, 768, 1024, 768},
        {3000, 2000, 1024, 768, 1024, 682},
        {1025, 769, 1024, 768, 1023, 768},
        {5000, 2, 1024, 768, 1024, 0},
        {4, 2, 2, 1, 2, 1},
        {2000, 1000, 1000, 500, 1000, 500},  // equal ratios: fit the width
        {1000, 3000, 1024, 768, 256, 768},
        {640, 480, 0, 768, 0, 0},
        {640, 480, 1024, 0, 0, 0},
        {640, 480, 0, 0, 0, 0},
        {0, 0, 0, 0, 0, 0},
        {0, 10, 0, 5, 0, 0},
    };
    for (const Case& c : cases) {
        int32_t w = -1, h = -1;
        ASSERT_TRUE(FitSize(c.sw, c.sh, c.tw, c.th, &w, &h)) << c.sw << "x" << c.sh;
        EXPECT_EQ(w, c.w) << c.sw << "x" << c.sh << " into " << c.tw << "x" << c.th;
        EXPECT_EQ(h, c.h) << c.sw << "x" << c.sh << " into " << c.tw << "x" << c.th;
    }
    int32_t w, h;
    EXPECT_FALSE(FitSize(100, -100, 50, 50, &w, &h));
    EXPECT_FALSE(FitSize(100, 100, -50, 50, &w, &h));
    EXPECT_FALSE(FitSize(100, 100, 50, -1, &w, &h));
    EXPECT_FALSE(FitSize(100, 50, 200, 150, &w, &h));  // would widen
    EXPECT_FALSE(FitSize(50, 100, 150, 200, &w, &h));  // would heighten
    EXPECT_FALSE(FitSize(0, 0, 10, 10, &w, &h));
}

TEST(ReductionPlan, WeightsCloseExactlyTheNewLengthOfRuns) {
    std::vector<int32_t> w(8);
    EXPECT_EQ(FillWeights(w.data(), 5, 3), 2);
    EXPECT_EQ(std::vector<int32_t>(w.begin(), w.begin() + 5), (std::vector<int32_t>{1, 0, 2, 0, 2}));
    EXPECT_EQ(FillWeights(w.data(), 8, 3), 3);
    EXPECT_EQ(w, (std::vector<int32_t>{0, 2, 0, 2, 0, 0, 3, 0}));
    std::vector<int32_t> long_(1600);
    EXPECT_EQ(FillWeights(long_.data(), 1600, 1024), 2);
    EXPECT_EQ(std::vector<int32_t>(long_.begin(), long_.begin() + 12),
              (std::vector<int32_t>{1, 0, 2, 1, 0, 2, 0, 2, 1, 0, 2, 1}));
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        const int32_t n = 1 + static_cast<int32_t>(random() % 5000), m = static_cast<int32_t>(random() % (n + 1));
        std::vector<int32_t> weights(n);
        FillWeights(weights.data(), n, m);
        int32_t closed = 0, covered = 0;
        for (int32_t v : weights) closed += v != 0, covered += v;
        EXPECT_EQ(closed, m) << n << " over " << m;
        EXPECT_LE(covered, n);
    }
}

TEST(ReductionPlan, RunEndsComeStraightFromTheSidesAsFromTheWeights) {
    for (int32_t n = 1; n <= 160; ++n) {
        std::vector<int32_t> weights(n);
        std::vector<uint32_t> fromWeights(n + 1), direct(n + 1);
        for (int32_t m = 1; m <= n; ++m) {
            FillWeights(weights.data(), n, m);
            // The longer side, the shorter sides that read its leading entries, outputs cut short.
            for (int32_t count : {n, n / 2 + 1, 1}) {
                for (int32_t outputs : {m, m / 3, count * m / n + 1}) {
                    const LineRuns a = FillRunEnds(weights.data(), count, outputs, fromWeights.data());
                    const LineRuns b = RunEndsAlong(n, m, count, outputs, direct.data());
                    ASSERT_EQ(a.Closed, b.Closed) << n << " over " << m << ", " << count << " " << outputs;
                    ASSERT_EQ(a.Longest, b.Longest) << n << " over " << m;
                    for (uint32_t i = 0; i < a.Closed; ++i) ASSERT_EQ(fromWeights[i], direct[i]);
                }
            }
        }
    }
    // Sides far past what a weight array could hold.
    std::vector<uint32_t> ends(1080);
    const LineRuns tall = RunEndsAlong(536870911, 1080, 536870911, 1080, ends.data());
    EXPECT_EQ(tall.Closed, 1080u);
    EXPECT_EQ(ends[1079], 536870911u - 536870911u / 2160);  // half a run short of the end
}

TEST(ReductionPlan, SmallDivisorsDivideEverySumExactly) {
    for (uint32_t divisor = 1; divisor <= LargestSmallDivisor; ++divisor) {
        const SmallDivisor d = MakeSmallDivisor(divisor);
        for (uint32_t sum = 0; sum <= 255 * divisor; ++sum) {
            ASSERT_LT(2 * sum, 65536u) << "the doubled sum must fit a 16-bit lane";
            // As a 16-bit lane computes it: the high half of the product, then the shift.
            const uint32_t high = (static_cast<uint32_t>(static_cast<uint16_t>(2 * sum)) * d.Multiplier) >> 16;
            ASSERT_EQ(high >> d.Shift, sum / divisor) << sum << " / " << divisor;
            ASSERT_EQ(DivideSmall(sum, d), sum / divisor) << sum << " / " << divisor;
        }
    }
}

TEST(ReductionPlan, RowRunsCanFallShortOfTheNewWidth) {
    // 769 × 1025 into 768 × 1024: the height's weights give the row pass 767 runs for 768 outputs.
    std::vector<int32_t> weights(1025);
    FillWeights(weights.data(), 1025, 1023);
    std::vector<uint32_t> ends(768);
    const LineRuns runs = FillRunEnds(weights.data(), 769, 768, ends.data());
    EXPECT_EQ(runs.Closed, 767u);
    EXPECT_LE(ends[766], 769u);
    EXPECT_EQ(runs.Longest, 2u);
    uint32_t first = 0;
    for (uint32_t j = 0; j < runs.Closed; ++j) {
        EXPECT_EQ(static_cast<int32_t>(ends[j] - first), weights[ends[j] - 1]) << j;
        first = ends[j];
    }
    // No more runs than outputs are asked for.
    EXPECT_EQ(FillRunEnds(weights.data(), 1025, 100, ends.data()).Closed, 100u);
}

TEST(ImageReducer, FourByTwoIntoTwoByOneAveragesTheBottomRow) {
    Image image(CreatePackedDib(4, 2, 24));
    unsigned char* bits = PackedDibBits(image.get());
    const unsigned char rows[2][12] = {{1, 2, 3, 12, 13, 14, 14, 15, 16, 200, 200, 200},
                                       {90, 90, 90, 91, 91, 91, 92, 92, 92, 93, 93, 93}};
    memcpy(bits, rows[0], 12);
    memcpy(bits + 12, rows[1], 12);
    ImageReducer().ProcessImage(image.get(), 2, 1);
    const DibInfoHeader* header = PackedDibHeader(image.get());
    EXPECT_EQ(header->biWidth, 2);
    EXPECT_EQ(header->biHeight, 1);
    EXPECT_EQ(header->biSizeImage, 24u);  // untouched
    const unsigned char expected[6] = {1, 2, 3, 13, 14, 15};
    EXPECT_EQ(memcmp(bits, expected, 6), 0);
}

TEST(ImageReducer, ScreenSizedExamplesMatchTheReference) {
    std::mt19937 random(11);
    const struct {
        uint32_t sw, sh;
        int32_t tw, th, w, h;
    } cases[] = {
        {1600, 1200, 1024, 768, 1024, 768},  // pair runs
        {3000, 2000, 1024, 768, 1024, 682},  // the column pass makes one row more than the header
                                             // says
        {1025, 769, 1024, 768, 1023, 768},   // ... and here one fewer: the top row is the row pass's
        {5000, 2, 1024, 768, 1024, 0},
        {1000, 3000, 1024, 768, 256, 768},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh);
        Image source = MakeImage(c.sw, c.sh, Content::Noise, random);
        Image reduced = CopyOf(source.get());
        ImageReducer().ProcessImage(reduced.get(), c.tw, c.th);
        EXPECT_EQ(PackedDibHeader(reduced.get())->biWidth, c.w);
        EXPECT_EQ(PackedDibHeader(reduced.get())->biHeight, c.h);
        ReduceBothAndCompare(source.get(), c.tw, c.th);
    }
}

TEST(ImageReducer, TopRowKeepsTheRowPassWhenTheColumnRunsFallShort) {
    // 1025 × 769 into 1024 × 768 gives 1023 × 768, but the column pass closes only 767 row runs.
    std::mt19937 random(5);
    Image source = MakeImage(1025, 769, Content::Smooth, random);
    Image reduced = CopyOf(source.get());
    ImageReducer().ProcessImage(reduced.get(), 1024, 768);
    std::vector<int32_t> weights(1025);
    FillWeights(weights.data(), 1025, 1023);
    const unsigned char* sourceRow = PackedDibBits(source.get()) + 767 * DibStride(1025, 24);
    const unsigned char* topRow = PackedDibBits(reduced.get()) + 767 * DibStride(1023, 24);
    uint32_t first = 0;
    int32_t output = 0;
    for (int32_t i = 0; i < 1025 && output < 1023; ++i) {
        if (!weights[i]) continue;
        for (int c = 0; c < 3; ++c) {
            uint32_t sum = 0;
            for (int32_t x = static_cast<int32_t>(first); x <= i; ++x) sum += sourceRow[3 * x + c];
            ASSERT_EQ(topRow[3 * output + c], sum / weights[i]) << "output " << output;
        }
        ++output;
        first = static_cast<uint32_t>(i) + 1;
    }
    EXPECT_EQ(output, 1023);
}

TEST(ImageReducer, MatchesTheReferenceOnRandomSizesTargetsAndContents) {
    std::mt19937 random(20240611);
    const Content contents[] = {Content::Noise, Content::Smooth, Content::Flat, Content::Bright, Content::Stripes};
    for (int i = 0; i < 1500; ++i) {
        uint32_t sw, sh;
        switch (i % 5) {
            case 0: sw = 1 + random() % 64, sh = 1 + random() % 64; break;
            case 1: sw = 1 + random() % 400, sh = 1 + random() % 12; break;  // wide and flat
            case 2: sw = 1 + random() % 12, sh = 1 + random() % 400; break;  // tall and thin
            case 3: sw = 100 + random() % 300, sh = 100 + random() % 300; break;
            default: sw = 1 + random() % 1200, sh = 1 + random() % 6; break;  // runs past the vector kernels' limit
        }
        int32_t tw, th;
        switch (random() % 4) {
            case 0:
                tw = static_cast<int32_t>(random() % (sw + 1)), th = static_cast<int32_t>(random() % (sh + 1));
                break;
            case 1: tw = static_cast<int32_t>(sw - random() % 3), th = static_cast<int32_t>(sh + random() % 3); break;
            case 2: tw = 1 + static_cast<int32_t>(random() % 4), th = 1 + static_cast<int32_t>(random() % 4); break;
            default:
                tw = static_cast<int32_t>(random() % (2 * sw + 2)), th = static_cast<int32_t>(random() % (2 * sh + 2));
                break;
        }
        SCOPED_TRACE(testing::Message() << "case " << i << ": " << sw << "x" << sh << " into " << tw << "x" << th);
        Image source = MakeImage(sw, sh, contents[random() % 5], random);
        ReduceBothAndCompare(source.get(), tw, th);
        if (HasFatalFailure() || HasNonfatalFailure()) return;
    }
}

TEST(ImageReducer, LeavesOtherImagesAndImpossibleTargetsAlone) {
    std::mt19937 random(3);
    Image rgb = MakeImage(40, 30, Content::Noise, random);
    const size_t size = BlockSize(rgb.get());
    auto unchanged = [&](unsigned char* image, int32_t tw, int32_t th) {
        Image before = CopyOf(image);
        ImageReducer().ProcessImage(image, tw, th);
        return memcmp(before.get(), image, BlockSize(before.get())) == 0;
    };
    EXPECT_TRUE(unchanged(rgb.get(), 50, 40));  // would widen
    EXPECT_TRUE(unchanged(rgb.get(), -5, 10));
    EXPECT_TRUE(unchanged(rgb.get(), 10, -5));

    Image eight(CreatePackedDib(40, 30, 8));
    memset(eight.get() + 40, 0x5A, BlockSize(eight.get()) - 40);
    EXPECT_TRUE(unchanged(eight.get(), 10, 10));

    Image topDown = CopyOf(rgb.get());
    PackedDibHeader(topDown.get())->biHeight = -30;
    Image before = CopyOf(rgb.get());
    ImageReducer().ProcessImage(topDown.get(), 10, 10);
    EXPECT_EQ(memcmp(topDown.get() + 40, before.get() + 40, size - 40), 0);
    EXPECT_EQ(PackedDibHeader(topDown.get())->biHeight, -30);

    Image compressed = CopyOf(rgb.get());
    PackedDibHeader(compressed.get())->biCompression = DibCompressionJpeg;  // its bytes are no pixels
    EXPECT_TRUE(unchanged(compressed.get(), 10, 10));

    ImageReducer().ProcessImage(nullptr, 10, 10);
}

TEST(ImageReducer, ZeroTargetsGiveAnEmptyImage) {
    std::mt19937 random(4);
    for (auto target : {std::make_pair(0, 0), std::make_pair(0, 768), std::make_pair(1024, 0)}) {
        Image image = MakeImage(64, 48, Content::Noise, random);
        ImageReducer().ProcessImage(image.get(), target.first, target.second);
        EXPECT_EQ(PackedDibHeader(image.get())->biWidth, 0);
        EXPECT_EQ(PackedDibHeader(image.get())->biHeight, 0);
    }
}

// What the fit makes of a picture: its size and its pixels.
void ExpectSamePixels(const unsigned char* expected, const unsigned char* actual) {
    const DibLayout e = ReadDibLayout(expected), a = ReadDibLayout(actual);
    ASSERT_EQ(a.bitCount, 24);
    ASSERT_EQ(a.width, e.width);
    ASSERT_EQ(a.height, e.height);
    long different = 0;
    for (int32_t y = 0; y < e.height; ++y) {
        for (int32_t x = 0; x < e.width; ++x) {
            unsigned char want[3], got[3];
            image_test::ImagePixel(expected, x, y, want);
            image_test::ImagePixel(actual, x, y, got);
            if (memcmp(want, got, 3) != 0 && different++ < 3)
                ADD_FAILURE() << x << "," << y << " want " << int(want[0]) << " " << int(want[1]) << " " << int(want[2])
                              << " got " << int(got[0]) << " " << int(got[1]) << " " << int(got[2]);
        }
    }
    EXPECT_EQ(different, 0);
}

Image TrueColourOf(const image_test::Picture& picture) {
    Image image(CreatePackedDib(picture.Width, picture.Height, 24));
    const size_t stride = DibStride(picture.Width, 24);
    unsigned char* bits = PackedDibBits(image.get());
    memset(bits, 0, stride * picture.Height);
    for (int y = 0; y < picture.Height; ++y) {
        for (int x = 0; x < picture.Width; ++x) {
            const unsigned char* rgb = &picture.Rgb[(static_cast<size_t>(y) * picture.Width + x) * 3];
            unsigned char* pixel = bits + stride * (picture.Height - 1 - y) + 3 * x;
            pixel[0] = rgb[2], pixel[1] = rgb[1], pixel[2] = rgb[0];
        }
    }
    return image;
}

TEST(PictureFit, EveryDepthLargerThanTheAreaIsReducedAsItsTrueColourPicture) {
    // ImageMagick's picture of each file, reduced: what the fit must give from the file itself.
    const char* names[] = {"pal1.bmp",      "pal1bg.bmp",  "pal4.bmp",   "pal4rle.bmp", "pal8.bmp",
                           "pal8rle.bmp",   "pal8os2.bmp", "pal8v5.bmp", "pal8-0.bmp",  "rgb16.bmp",
                           "rgb16-565.bmp", "rgb32.bmp",   "rgb32bf.bmp"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const std::string path = std::string(SAVER_TEST_DATA) + "/bmpsuite/g/" + name;
        ASSERT_EQ(image_test::RunShell("convert '" + path + "' -depth 8 '" + image_test::TmpPath("fit.ppm") + "'"), 0);
        image_test::Picture picture;
        ASSERT_TRUE(image_test::ReadPnm(image_test::TmpPath("fit.ppm"), picture));
        for (auto area : {std::make_pair(50, 40), std::make_pair(126, 63), std::make_pair(127, 20)}) {
            SCOPED_TRACE(testing::Message() << area.first << " x " << area.second);
            Image expected = TrueColourOf(picture);
            ImageReducer().ProcessImage(expected.get(), area.first, area.second);
            LoadResult loaded = LoadBmpFile(path.c_str(), NeverStop);
            ASSERT_NE(loaded.Image, nullptr);
            Image fitted(
                image_test::CheckedBlock(FitPicture(ReadDibPicture(loaded.Image), 1, area.first, area.second)));
            ExpectSamePixels(expected.get(), fitted.get());
        }
        // A picture that fits keeps its depth and its block.
        LoadResult loaded = LoadBmpFile(path.c_str(), NeverStop);
        const uint16_t depth = ReadDibLayout(loaded.Image).bitCount;
        Image kept(image_test::CheckedBlock(FitPicture(ReadDibPicture(loaded.Image), 1, 200, 200)));
        EXPECT_EQ(kept.get(), loaded.Image);
        EXPECT_EQ(ReadDibLayout(kept.get()).bitCount, depth);
    }
}

// A 24-bit BMP of the test pattern, its rows bottom-up or (negative height) top-down.
bool WriteBmp24(const std::string& path, const image_test::Picture& picture, bool topDown) {
    const size_t stride = DibStride(static_cast<uint64_t>(picture.Width), 24);
    image_test::Bytes bytes(54 + stride * picture.Height, 0);
    auto put = [&](size_t at, uint32_t value, int count) {
        for (int i = 0; i < count; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
    };
    bytes[0] = 'B', bytes[1] = 'M';
    put(2, static_cast<uint32_t>(bytes.size()), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<uint32_t>(picture.Width), 4);
    put(22, static_cast<uint32_t>(topDown ? -picture.Height : picture.Height), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    for (int y = 0; y < picture.Height; ++y) {
        unsigned char* row = &bytes[54 + stride * (topDown ? y : picture.Height - 1 - y)];
        for (int x = 0; x < picture.Width; ++x) {
            const unsigned char* rgb = &picture.Rgb[(static_cast<size_t>(y) * picture.Width + x) * 3];
            row[3 * x] = rgb[2], row[3 * x + 1] = rgb[1], row[3 * x + 2] = rgb[0];
        }
    }
    return image_test::WriteBytes(path, bytes);
}

// The file with an EXIF segment saying the orientation put right after its start marker.
bool AddOrientation(const std::string& path, uint8_t orientation) {
    image_test::Bytes jpeg;
    if (!image_test::ReadBytes(path, jpeg) || jpeg.size() < 2) return false;
    const unsigned char app1[] = {0xFF, 0xE1, 0, 34, 'E',         'x', 'i', 'f', 0,    0,    'I', 'I',
                                  42,   0,    8, 0,  0,           0,   1,   0,   0x12, 0x01, 3,   0,
                                  1,    0,    0, 0,  orientation, 0,   0,   0,   0,    0,    0,   0};
    jpeg.insert(jpeg.begin() + 2, app1, app1 + sizeof app1);
    return image_test::WriteBytes(path, jpeg);
}

TEST(StreamedReduction, GivesThePixelsOfTheWholePictureFitted) {
    using image_test::RunShell;
    using image_test::TmpPath;
    const std::string samples = std::string(SAVER_TEST_DATA) + "/../../samples/";
    struct Case {
        std::string path;
        ImageLoader loader;
        bool streams;  // whether the loader hands its rows to the reduction
    };
    std::vector<Case> cases;
    // Odd widths, one-pixel sides, heights that no run length divides.
    const std::pair<int, int> sizes[] = {{97, 61}, {61, 97}, {301, 1}, {1, 203}, {130, 129}};
    for (const auto& size : sizes) {
        const std::string name = std::to_string(size.first) + "x" + std::to_string(size.second);
        const image_test::Picture picture = image_test::TestPattern(size.first, size.second);
        for (bool topDown : {false, true}) {
            const std::string path = TmpPath(name + (topDown ? "-top-down.bmp" : ".bmp"));
            ASSERT_TRUE(WriteBmp24(path, picture, topDown));
            cases.push_back({path, LoadBmpFile, true});
        }
        for (const char* form : {"", "-progressive", "-grayscale", "-sample 1x1 -restart 1"}) {
            const std::string file = name + form + ".jpg";
            ASSERT_TRUE(image_test::MakeJpeg(file, size.first, size.second, form));
            cases.push_back({TmpPath(file), LoadJpegFile, true});
        }
        const std::string ppm = TmpPath(name + ".jpg.ppm");
        ASSERT_EQ(RunShell("convert '" + ppm + "' -colorspace CMYK '" + TmpPath(name + "-cmyk.jpg") + "'"), 0);
        cases.push_back({TmpPath(name + "-cmyk.jpg"), LoadJpegFile, true});
        ASSERT_EQ(RunShell("convert '" + ppm + "' PNG24:'" + TmpPath(name + ".png") + "'"), 0);
        cases.push_back({TmpPath(name + ".png"), LoadPngFile, true});
        ASSERT_EQ(RunShell("convert '" + ppm + "' -colorspace gray '" + TmpPath(name + "-gray.png") + "'"), 0);
        cases.push_back({TmpPath(name + "-gray.png"), LoadPngFile, true});
        // Every pass is needed before any row is whole: it loads whole, to the same pixels.
        ASSERT_EQ(RunShell("convert '" + ppm + "' -interlace PNG PNG24:'" + TmpPath(name + "-interlaced.png") + "'"),
                  0);
        cases.push_back({TmpPath(name + "-interlaced.png"), LoadPngFile, false});
    }
    for (uint8_t orientation = 2; orientation <= 8; ++orientation) {
        const std::string file = "oriented" + std::to_string(orientation) + ".jpg";
        ASSERT_TRUE(image_test::MakeJpeg(file, 83, 45, ""));
        ASSERT_TRUE(AddOrientation(TmpPath(file), orientation));
        cases.push_back({TmpPath(file), LoadJpegFile, true});
    }
    for (const char* name :
         {"dunes.bmp", "mandelbrot.bmp", "kite.png", "lighthouse.jpg", "moon.jpg", "orchard.jpg", "panorama.jpg"})
        cases.push_back({samples + name, FindImageLoaderForPath(name), strcmp(name, "mandelbrot.bmp") != 0});

    // Runs of one row to runs of many, areas of either shape, and one that fits without reduction.
    const std::pair<int32_t, int32_t> areas[] = {{96, 60}, {40, 30}, {30, 40}, {7, 3}, {1, 1}, {5000, 5000}};
    for (const Case& c : cases) {
        for (const auto& area : areas) {
            SCOPED_TRACE(testing::Message() << c.path << " into " << area.first << " x " << area.second);
            const LoadResult whole = c.loader(c.path.c_str(), NeverStop);
            ASSERT_NE(whole.Image, nullptr) << whole.Reason;
            const DibLayout stored = ReadDibLayout(whole.Image);
            int32_t fitWidth = 0, fitHeight = 0;
            const bool reduces = FittedSize(stored.width, stored.height < 0 ? -stored.height : stored.height,
                                            whole.Orientation, area.first, area.second, &fitWidth, &fitHeight);
            Image expected(image_test::CheckedBlock(
                FitPicture(ReadDibPicture(whole.Image), whole.Orientation, area.first, area.second)));

            StreamedReduction reduction;
            OpenStreamedReduction(&reduction, area.first, area.second);
            const LoadResult streamed = c.loader(c.path.c_str(), LoadControl{nullptr, nullptr, &reduction.Sink});
            CloseStreamedReduction(&reduction);
            ASSERT_NE(streamed.Image, nullptr) << streamed.Reason;
            EXPECT_EQ(streamed.Orientation, whole.Orientation);
            // A streamed load hands back the reduced picture itself, in a block of its own size.
            const DibLayout got = ReadDibLayout(streamed.Image);
            if (reduces && c.streams) {
                EXPECT_EQ(got.width, fitWidth);
                EXPECT_EQ(got.height, fitHeight);
                EXPECT_EQ(streamed.BlockSize, BlockSize(streamed.Image));
            } else {
                EXPECT_EQ(got.width, stored.width);
            }
            Image actual(image_test::CheckedBlock(
                FitPicture(ReadDibPicture(streamed.Image), streamed.Orientation, area.first, area.second)));
            if (!reduces && stored.bitCount != 24) {
                // A palette picture that fits is kept as it loaded.
                ASSERT_EQ(BlockSize(actual.get()), BlockSize(expected.get()));
                EXPECT_EQ(memcmp(actual.get(), expected.get(), BlockSize(expected.get())), 0);
                continue;
            }
            ExpectSamePixels(expected.get(), actual.get());
        }
    }
}

TEST(StreamedReduction, StreamedLoadsAskToGoOnAndStopWhenTold) {
    using image_test::TmpPath;
    // The BMP is over the 4 MB that one read piece holds.
    ASSERT_TRUE(WriteBmp24(TmpPath("asked.bmp"), image_test::TestPattern(1500, 1200), true));
    ASSERT_TRUE(image_test::MakeJpeg("asked.jpg", 400, 300, ""));
    ASSERT_TRUE(image_test::MakeJpeg("asked-progressive.jpg", 400, 300, "-progressive"));
    ASSERT_EQ(image_test::RunShell("convert '" + TmpPath("asked.jpg.ppm") + "' PNG24:'" + TmpPath("asked.png") + "'"),
              0);
    const std::pair<std::string, ImageLoader> files[] = {{"asked.bmp", LoadBmpFile},
                                                         {"asked.jpg", LoadJpegFile},
                                                         {"asked-progressive.jpg", LoadJpegFile},
                                                         {"asked.png", LoadPngFile}};
    for (const auto& file : files) {
        SCOPED_TRACE(file.first);
        for (int stopAt : {0, 1}) {
            StreamedReduction reduction;
            OpenStreamedReduction(&reduction, 100, 100);
            image_test::QuestionCounter counter = {0, stopAt};
            LoadControl control = image_test::CountingControl(&counter);
            control.Sink = &reduction.Sink;
            const LoadResult loaded = file.second(TmpPath(file.first).c_str(), control);
            CloseStreamedReduction(&reduction);
            EXPECT_GT(counter.Asked, 0);
            EXPECT_EQ(loaded.CutShort, stopAt == 1);
            EXPECT_EQ(loaded.Image == nullptr, stopAt == 1);
            if (loaded.Image) EXPECT_EQ(ReadDibLayout(loaded.Image).width, 100);
            free(loaded.Image);
        }
    }
}

TEST(PictureFit, ThinPicturesKeepALineOfThemselves) {
    std::mt19937 random(9);
    const struct {
        uint32_t width, height;
        uint16_t bits;
        uint8_t orientation;
        int32_t areaWidth, areaHeight, fitWidth, fitHeight;
    } cases[] = {
        {5000, 2, 24, 1, 1024, 768, 1024, 1},   {8, 40000, 24, 1, 1920, 1080, 1, 1080},
        {8, 40000, 24, 5, 1920, 1080, 1920, 1},  // stored sideways: stands 40000 wide
        {9000, 3, 8, 1, 1920, 1080, 1920, 1},   {64, 48, 24, 1, 0, 0, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << ", " << c.bits << " bits");
        PackedDib image = CreatePackedDib(c.width, c.height, c.bits);
        const DibLayout layout = ReadDibLayout(image);
        memset(image + DibInfoHeaderSize, 0x40,
               layout.bitsOffset - DibInfoHeaderSize + DibStride(c.width, c.bits) * c.height);
        Image fitted(
            image_test::CheckedBlock(FitPicture(ReadDibPicture(image), c.orientation, c.areaWidth, c.areaHeight)));
        const DibLayout result = ReadDibLayout(fitted.get());
        EXPECT_EQ(result.width, c.fitWidth);
        EXPECT_EQ(result.height, c.fitHeight);
        EXPECT_EQ(result.bitCount, 24);
        unsigned char rgb[3];
        image_test::ImagePixel(fitted.get(), 0, 0, rgb);
        EXPECT_EQ(rgb[0] + rgb[1] + rgb[2], 3 * 0x40);
    }
}

TEST(ImageReducer, ReducesCoreHeaderImagesThroughTheirOwnFields) {
    std::mt19937 random(6);
    Image info = MakeImage(30, 20, Content::Noise, random);
    const size_t rows = DibStride(30, 24) * 20;
    Image core(static_cast<unsigned char*>(malloc(12 + rows)));
    const unsigned char header[12] = {12, 0, 0, 0, 30, 0, 20, 0, 1, 0, 24, 0};
    memcpy(core.get(), header, 12);
    memcpy(core.get() + 12, PackedDibBits(info.get()), rows);
    ImageReducer().ProcessImage(core.get(), 15, 10);
    ImageReducer().ProcessImage(info.get(), 15, 10);
    const DibLayout layout = ReadDibLayout(core.get());
    EXPECT_EQ(layout.width, 15);
    EXPECT_EQ(layout.height, 10);
    EXPECT_EQ(memcmp(core.get() + 12, PackedDibBits(info.get()), DibStride(15, 24) * 10), 0);
}

TEST(ImageReducer, WritesTheThreePassTracesInOrder) {
    std::mt19937 random(8);
    Image image = MakeImage(300, 200, Content::Noise, random);
    CapturedTrace.clear();
    SetDebugOutputSink(CaptureTrace);
    ImageReducer().ProcessImage(image.get(), 100, 100);
    SetDebugOutputSink(nullptr);
    const std::string& t = CapturedTrace;
    // Each label, then its milliseconds.
    const size_t rows = t.find(std::string(TraceLabel::ReduceRows) + " ");
    const size_t cols = t.find(std::string(TraceLabel::ReduceColumns) + " ");
    const size_t move = t.find(std::string(TraceLabel::ReduceMove) + " ");
    ASSERT_NE(rows, std::string::npos) << t;
    ASSERT_NE(cols, std::string::npos) << t;
    ASSERT_NE(move, std::string::npos) << t;
    EXPECT_LT(rows, cols);
    EXPECT_LT(cols, move);
    EXPECT_NE(t.find(" ms.\n", move), std::string::npos);

    CapturedTrace.clear();
    SetDebugOutputSink(CaptureTrace);
    ImageReducer().ProcessImage(image.get(), 500, 400);  // would widen: no work, no trace
    SetDebugOutputSink(nullptr);
    EXPECT_EQ(CapturedTrace, "");
}

std::vector<SmallDivisor> DivisorsUpTo(uint32_t longest) {
    std::vector<SmallDivisor> divisors(LargestSmallDivisor + 1);
    for (uint32_t length = 1; length <= longest && length <= LargestSmallDivisor; ++length)
        divisors[length] = MakeSmallDivisor(length);
    return divisors;
}

void ExpectRowKernelAgreesWithPortable(void (*kernel)(const RowBlock&, const RowPass&), uint32_t kernelRows) {
    std::mt19937 random(9);
    for (int i = 0; i < 600; ++i) {
        // Short runs of every kind, and long runs that make segments of single outputs.
        const uint32_t width = 1 + random() % (i % 3 == 2 ? 3000 : 700);
        const uint32_t rowCount = 1 + random() % kernelRows;
        const uint32_t outputs = i % 3 == 2 ? 1 + width / (1 + random() % LargestSmallDivisor) : 1 + random() % width;
        std::vector<int32_t> weights(width);
        FillWeights(weights.data(), static_cast<int32_t>(width), static_cast<int32_t>(outputs));
        std::vector<uint32_t> ends(outputs);
        const LineRuns runs =
            FillRunEnds(weights.data(), static_cast<int32_t>(width), static_cast<int32_t>(outputs), ends.data());
        if (runs.Longest > LargestSmallDivisor) continue;
        const std::vector<SmallDivisor> divisors = DivisorsUpTo(runs.Longest);
        const RowPass pass = {ends.data(), runs, divisors.data()};
        // Rows exactly as long as the block, so that reading past it would show.
        const size_t stride = DibStride(width, 24);
        std::vector<unsigned char> source(stride * rowCount);
        for (unsigned char& b : source) b = static_cast<unsigned char>(random());
        std::vector<unsigned char> expected(source);
        std::unique_ptr<unsigned char[]> actual(new unsigned char[source.size()]);
        memcpy(actual.get(), source.data(), source.size());
        for (uint32_t r = 0; r < rowCount; ++r) RowMeansPortable(expected.data() + r * stride, pass);
        const RowBlock block = {actual.get(), stride, rowCount, source.size()};
        kernel(block, pass);
        ASSERT_EQ(memcmp(expected.data(), actual.get(), source.size()), 0)
            << width << " pixels into " << outputs << ", " << rowCount << " rows";
    }
}

TEST(RowMeans, PortableAndSse2KernelsAgreeOnBlocksOfRows) {
    if (!HaveSse2RowMeans()) GTEST_SKIP() << "no SSE2 in this build";
    ExpectRowKernelAgreesWithPortable(RowMeansSse2, Sse2Rows);
}

TEST(RowMeans, PortableAndAvx2KernelsAgreeOnBlocksOfRows) {
    if (!HaveAvx2RowMeans()) GTEST_SKIP() << "no AVX2 here";
    ExpectRowKernelAgreesWithPortable(RowMeansAvx2, Avx2Rows);
}

TEST(RowMeans, PortableKernelAveragesEachClosedRunInPlace) {
    // 5 pixels into 3 (weights 1, 0, 2, 0, 2): runs of 1, 2 and 2 pixels.
    std::vector<int32_t> weights(5);
    FillWeights(weights.data(), 5, 3);
    std::vector<uint32_t> ends(3);
    const LineRuns runs = FillRunEnds(weights.data(), 5, 3, ends.data());
    const std::vector<SmallDivisor> divisors = DivisorsUpTo(runs.Longest);
    unsigned char row[16] = {1, 2, 3, 10, 20, 30, 11, 21, 31, 7, 8, 9, 100, 0, 255, 0xAA};
    RowMeansPortable(row, {ends.data(), runs, divisors.data()});
    const unsigned char expected[16] = {1, 2, 3, 10, 20, 30, 53, 4, 132, 7, 8, 9, 100, 0, 255, 0xAA};
    EXPECT_EQ(memcmp(row, expected, 16), 0);
}

void ExpectColumnKernelAgreesWithPortable(void (*kernel)(const RowRun&, size_t, SmallDivisor, unsigned char*)) {
    std::mt19937 random(10);
    for (int i = 0; i < 400; ++i) {
        const uint32_t rowCount = 1 + random() % LargestSmallDivisor;
        const size_t byteCount = random() % 200, stride = byteCount + random() % 40;
        // The output row at the first row, or before it by up to two rows' worth.
        const size_t before = i % 2 ? 0 : random() % (2 * stride + 1);
        std::vector<unsigned char> source(before + stride * rowCount + byteCount);
        for (unsigned char& b : source) b = static_cast<unsigned char>(random());
        std::vector<unsigned char> expected(source), actual(source);
        const RowRun expectedRun = {expected.data() + before, stride, rowCount};
        const RowRun actualRun = {actual.data() + before, stride, rowCount};
        ColumnMeansPortable(expectedRun, 0, byteCount, expected.data());
        kernel(actualRun, byteCount, MakeSmallDivisor(rowCount), actual.data());
        ASSERT_EQ(expected, actual) << rowCount << " rows of " << byteCount << " bytes, " << stride << " apart, output "
                                    << before << " before";
        // And the means themselves, from the untouched source.
        for (size_t x = 0; x < byteCount; ++x) {
            uint32_t sum = 0;
            for (uint32_t r = 0; r < rowCount; ++r) sum += source[before + r * stride + x];
            ASSERT_EQ(expected[x], sum / rowCount) << x;
        }
    }
}

TEST(ColumnMeans, PortableAndSse2KernelsAgreeInPlace) {
    if (!HaveSse2ColumnMeans()) GTEST_SKIP() << "no SSE2 in this build";
    ExpectColumnKernelAgreesWithPortable(ColumnMeansSse2);
}

TEST(ColumnMeans, PortableAndAvx2KernelsAgreeInPlace) {
    if (!HaveAvx2ColumnMeans()) GTEST_SKIP() << "no AVX2 here";
    ExpectColumnKernelAgreesWithPortable(ColumnMeansAvx2);
}

}  // namespace
