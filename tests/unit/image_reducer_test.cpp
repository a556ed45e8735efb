#include "render/image_reducer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/debug_output.h"
#include "render/reduction_plan.h"
#include "render/row_group_average.h"
#include "tests/reference/reference_reducer.h"

namespace {

struct FreeBlock {
    void operator()(unsigned char* p) const { free(p); }
};
typedef std::unique_ptr<unsigned char, FreeBlock> Image;

size_t BlockSize(const unsigned char* image) {
    const DibLayout layout = ReadDibLayout(image);
    return layout.bitsOffset +
           DibStride(static_cast<uint64_t>(layout.width), layout.bitCount) * layout.height;
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
        for (size_t i = 3 * static_cast<size_t>(width); i < stride; ++i)
            row[i] = static_cast<unsigned char>(random());
        for (uint32_t x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                int v = 0;
                switch (content) {
                    case Content::Noise: v = static_cast<int>(random() & 0xFF); break;
                    case Content::Smooth:
                        v = (static_cast<int>(x * (c + 1) + y * (3 - c)) + phase) & 0xFF;
                        break;
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
                FAIL() << "pixel " << x << "," << y << ": expected " << int(e[at]) << " "
                       << int(e[at + 1]) << " " << int(e[at + 2]) << ", got " << int(a[at]) << " "
                       << int(a[at + 1]) << " " << int(a[at + 2]);
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
    EXPECT_EQ(std::vector<int32_t>(w.begin(), w.begin() + 5),
              (std::vector<int32_t>{1, 0, 2, 0, 2}));
    EXPECT_EQ(FillWeights(w.data(), 8, 3), 3);
    EXPECT_EQ(w, (std::vector<int32_t>{0, 2, 0, 2, 0, 0, 3, 0}));
    std::vector<int32_t> long_(1600);
    EXPECT_EQ(FillWeights(long_.data(), 1600, 1024), 2);
    EXPECT_EQ(std::vector<int32_t>(long_.begin(), long_.begin() + 12),
              (std::vector<int32_t>{1, 0, 2, 1, 0, 2, 0, 2, 1, 0, 2, 1}));
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        const int32_t n = 1 + static_cast<int32_t>(random() % 5000),
                      m = static_cast<int32_t>(random() % (n + 1));
        std::vector<int32_t> weights(n);
        FillWeights(weights.data(), n, m);
        int32_t closed = 0, covered = 0;
        for (int32_t v : weights) closed += v != 0, covered += v;
        EXPECT_EQ(closed, m) << n << " over " << m;
        EXPECT_LE(covered, n);
    }
}

TEST(ReductionPlan, SmallDivisorsDivideEverySumExactly) {
    for (uint32_t divisor = 1; divisor <= LargestSmallDivisor; ++divisor) {
        const SmallDivisor d = MakeSmallDivisor(divisor);
        for (uint32_t sum = 0; sum <= 255 * divisor; ++sum) {
            const uint32_t quotient = (((sum * d.Multiplier) >> 16) >> d.Shift) | (sum & d.Keep);
            ASSERT_EQ(quotient, sum / divisor) << sum << " / " << divisor;
        }
    }
    const SmallDivisor large = MakeSmallDivisor(LargestSmallDivisor + 1);
    EXPECT_EQ(large.Multiplier | large.Keep, 0);
}

TEST(ReductionPlan, OutputsPastTheLastClosedRunKeepTheirOwnPixel) {
    // 769 × 1025 into 768 × 1024: the height's weights give the row pass 767 runs for 768 outputs.
    std::vector<int32_t> weights(1025);
    FillWeights(weights.data(), 1025, 1023);
    std::vector<PixelRun> runs(768);
    FillPixelRuns(weights.data(), 769, 768, runs.data());
    EXPECT_EQ(runs[767].First, 767u);
    EXPECT_EQ(runs[767].Length, 1u);
    EXPECT_LE(runs[766].First + runs[766].Length, 769u);
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
        {1025, 769, 1024, 768, 1023, 768},  // ... and here one fewer: the top row is the row pass's
        {5000, 2, 1024, 768, 1024, 0},      {1000, 3000, 1024, 768, 256, 768},
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
    const Content contents[] = {Content::Noise, Content::Smooth, Content::Flat, Content::Bright,
                                Content::Stripes};
    for (int i = 0; i < 1500; ++i) {
        uint32_t sw, sh;
        switch (i % 5) {
            case 0: sw = 1 + random() % 64, sh = 1 + random() % 64; break;
            case 1: sw = 1 + random() % 400, sh = 1 + random() % 12; break;  // wide and flat
            case 2: sw = 1 + random() % 12, sh = 1 + random() % 400; break;  // tall and thin
            case 3: sw = 100 + random() % 300, sh = 100 + random() % 300; break;
            default:
                sw = 1 + random() % 1200, sh = 1 + random() % 6;
                break;  // runs past the SSE2 limit
        }
        int32_t tw, th;
        switch (random() % 4) {
            case 0:
                tw = static_cast<int32_t>(random() % (sw + 1)),
                th = static_cast<int32_t>(random() % (sh + 1));
                break;
            case 1:
                tw = static_cast<int32_t>(sw - random() % 3),
                th = static_cast<int32_t>(sh + random() % 3);
                break;
            case 2:
                tw = 1 + static_cast<int32_t>(random() % 4),
                th = 1 + static_cast<int32_t>(random() % 4);
                break;
            default:
                tw = static_cast<int32_t>(random() % (2 * sw + 2)),
                th = static_cast<int32_t>(random() % (2 * sh + 2));
                break;
        }
        SCOPED_TRACE(testing::Message()
                     << "case " << i << ": " << sw << "x" << sh << " into " << tw << "x" << th);
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
    PackedDibHeader(compressed.get())->biCompression =
        DibCompressionJpeg;  // its bytes are no pixels
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
    const size_t rows = t.find("\trows "), cols = t.find("\tcols "), move = t.find("\tmove ");
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

TEST(RowGroupAverage, PortableAndSse2KernelsAgreeOnRowGroups) {
    if (!HaveSse2RowGroupAverage()) GTEST_SKIP() << "no SSE2 in this build";
    std::mt19937 random(9);
    for (int i = 0; i < 300; ++i) {
        const uint32_t width = 1 + random() % 700, rowCount = 1 + random() % 20;
        const uint32_t outputs = 1 + random() % width;
        std::vector<int32_t> weights(width);
        FillWeights(weights.data(), static_cast<int32_t>(width), static_cast<int32_t>(outputs));
        std::vector<PixelRun> runs(outputs);
        const RunLengths lengths = FillPixelRuns(weights.data(), static_cast<int32_t>(width),
                                                 static_cast<int32_t>(outputs), runs.data());
        if (lengths.Longest > LargestSmallDivisor) continue;
        const size_t stride = DibStride(width, 24);
        std::vector<unsigned char> rows(stride * rowCount);
        for (unsigned char& b : rows) b = static_cast<unsigned char>(random());
        std::vector<unsigned char> expected(3 * outputs + 1, 0xEE), actual(3 * outputs + 1, 0xEE);
        const RowGroup group = {rows.data(), stride, rowCount};
        std::vector<RunChunk> chunks(outputs);
        const PixelRunTable table = {runs.data(), outputs, lengths, chunks.data(),
                                     SplitIntoChunks(runs.data(), lengths.Closed, chunks.data())};
        AverageRowGroupPortable(group, table, 0, lengths.Closed, expected.data());
        AverageRowGroupSse2(group, table, actual.data());
        actual.resize(3 * lengths.Closed);
        expected.resize(3 * lengths.Closed);
        ASSERT_EQ(expected, actual)
            << width << " pixels into " << outputs << ", " << rowCount << " rows";
    }
}

}  // namespace
