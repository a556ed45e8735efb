#include "imaging/jpeg_decoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cstring>

#include <jpeglib.h>

#include "image_test_files.h"
#include "tests/reference/reference_jpeg_decode.h"

namespace {

using namespace image_test;

// A decoded image must be djpeg's picture, pixel for pixel, in a 24-bit bottom-up block whose pad
// bytes are zero and whose size the loader reported.
void ExpectDjpegPicture(const Loaded& loaded, const Picture& want) {
    const unsigned char* image = loaded.Image.get();
    ASSERT_NE(image, nullptr) << loaded.Reason;
    const DibInfoHeader* header = PackedDibHeader(image);
    EXPECT_EQ(header->biSize, 40u);
    EXPECT_EQ(header->biBitCount, 24);
    EXPECT_EQ(header->biClrUsed, 0u);
    EXPECT_EQ(PackedDibBits(image) - image, 40);
    EXPECT_EQ(CountDifferentPixels(image, want, 0), 0);
    const size_t stride = static_cast<size_t>(DibStride(want.Width, 24));
    EXPECT_EQ(loaded.BlockSize, 40 + stride * want.Height);
    int nonZeroPads = 0;
    for (int row = 0; row < want.Height; ++row) {
        for (size_t i = static_cast<size_t>(want.Width) * 3; i < stride; ++i)
            nonZeroPads += PackedDibBits(image)[row * stride + i] != 0;
    }
    EXPECT_EQ(nonZeroPads, 0);
}

// The library's own picture of a file, decoded the plain way with the library this build links.
bool ReferencePicture(const std::string& path, Picture& picture) {
    reference::JpegPicture decoded;
    if (!reference::DecodeJpegFile(path.c_str(), &decoded)) return false;
    picture.Width = static_cast<int>(decoded.Width);
    picture.Height = static_cast<int>(decoded.Height);
    const size_t pixels = static_cast<size_t>(decoded.Width) * decoded.Height;
    picture.Rgb.resize(pixels * 3);
    for (size_t i = 0; i < pixels; ++i) {
        for (int c = 0; c < 3; ++c)
            picture.Rgb[i * 3 + c] = decoded.Pixels[i * decoded.Components + (decoded.Components == 3 ? c : 0)];
    }
    free(decoded.Pixels);
    return true;
}

// Both loaders, file and memory, must give the library's picture of the file, or none where the
// library gives up. Damaged data can decode differently in the library's SIMD and plain C
// paths, so the plain decode with this build's own library is the reference; where that library
// is the system's (every build but i386), djpeg must agree with it too.
void ExpectBothLoadersMatchTheLibrary(const std::string& path) {
    Picture want;
    const bool decodes = ReferencePicture(path, want);
#if !defined(__i386__)
    Picture djpeg;
    const int status = DjpegPicture(path, djpeg);
    EXPECT_EQ(status != 1, decodes);
    if (status != 1 && decodes) {
        EXPECT_EQ(djpeg.Width, want.Width);
        EXPECT_EQ(djpeg.Height, want.Height);
        EXPECT_TRUE(djpeg.Rgb == want.Rgb);
    }
#endif
    Bytes bytes;
    ASSERT_TRUE(ReadBytes(path, bytes));
    const Loaded fromFile = Take(LoadJpegFile(path.c_str(), NeverStop));
    const Loaded fromMemory = Take(LoadJpegMemory(bytes.data(), static_cast<uint32_t>(bytes.size()), NeverStop));
    if (!decodes) {
        EXPECT_EQ(fromFile.Image, nullptr);
        EXPECT_NE(fromFile.Failure, LoadFailure::None);
        EXPECT_EQ(fromMemory.Image, nullptr);
        return;
    }
    {
        SCOPED_TRACE("file");
        ExpectDjpegPicture(fromFile, want);
    }
    {
        SCOPED_TRACE("memory");
        ExpectDjpegPicture(fromMemory, want);
    }
}

// Clean streams decode alike in every build of the library, so djpeg is the reference everywhere.
void ExpectBothLoadersMatchDjpeg(const std::string& path) {
    Picture want;
    ASSERT_EQ(DjpegPicture(path, want), 0);
    Bytes bytes;
    ASSERT_TRUE(ReadBytes(path, bytes));
    {
        SCOPED_TRACE("file");
        ExpectDjpegPicture(Take(LoadJpegFile(path.c_str(), NeverStop)), want);
    }
    {
        SCOPED_TRACE("memory");
        ExpectDjpegPicture(Take(LoadJpegMemory(bytes.data(), static_cast<uint32_t>(bytes.size()), NeverStop)), want);
    }
}

TEST(JpegDecoder, MatchesDjpegPixelForPixel) {
    const struct {
        int width, height;
        const char* options;
    } cases[] = {
        {1, 1, ""},
        {2, 2, "-sample 2x2"},
        {3, 1, "-sample 1x1"},
        {4, 4, ""},  // width × 3 a multiple of 4: no pad
        {8, 3, "-sample 2x1"},
        {7, 5, "-sample 2x1"},
        {17, 13, "-sample 1x1 -quality 95"},
        {33, 31, "-progressive"},
        {45, 29, "-grayscale"},
        {46, 30, "-grayscale -progressive"},
        {64, 48, "-restart 1"},
        {65, 47, "-restart 3B -progressive"},
        {101, 67, "-optimize -sample 2x2 -quality 60"},
        {23, 19, "-arithmetic"},
        {31, 17, "-rgb"},
        {29, 37, "-sample 1x2"},
        {609, 12, "-quality 90"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " " << c.options);
        ASSERT_TRUE(MakeJpeg("pattern.jpg", c.width, c.height, c.options));
        ExpectBothLoadersMatchDjpeg(TmpPath("pattern.jpg"));
    }
}

TEST(JpegDecoder, CutShortGivesWhatTheLibraryGives) {
    for (const char* options : {"", "-progressive", "-restart 1 -sample 1x1", "-grayscale -progressive"}) {
        ASSERT_TRUE(MakeJpeg("whole.jpg", 57, 43, options));
        Bytes whole;
        ASSERT_TRUE(ReadBytes(TmpPath("whole.jpg"), whole));
        const size_t n = whole.size();
        for (size_t length : {size_t(2), size_t(20), size_t(150), size_t(330), n / 4, n / 2, n * 3 / 4, n - 2, n - 1}) {
            SCOPED_TRACE(testing::Message() << "'" << options << "' cut to " << length << " of " << n);
            ASSERT_TRUE(WriteBytes(TmpPath("cut.jpg"), Bytes(whole.begin(), whole.begin() + length)));
            ExpectBothLoadersMatchTheLibrary(TmpPath("cut.jpg"));
        }
    }
}

TEST(JpegDecoder, CorruptStreamsGiveWhatTheLibraryGivesOrNone) {
    for (const char* options : {"", "-progressive"}) {
        ASSERT_TRUE(MakeJpeg("whole.jpg", 40, 40, options));
        Bytes whole;
        ASSERT_TRUE(ReadBytes(TmpPath("whole.jpg"), whole));
        const size_t n = whole.size();
        const struct {
            size_t at;
            unsigned char value;
        } damages[] = {
            {n / 3, 0x55}, {n / 2, 0x00}, {n * 4 / 5, 0xFF}, {n - 3, 0xD9}, {3, 0x00},         {5, 0xFF},
            {25, 0x00},    {80, 0xFF},    {120, 0x13},       {170, 0x99},   {n / 2 + 1, 0xD9},
        };
        for (const auto& d : damages) {
            SCOPED_TRACE(testing::Message() << "'" << options << "' byte " << d.at << " = " << int(d.value));
            Bytes damaged = whole;
            damaged[d.at] = d.value;
            ASSERT_TRUE(WriteBytes(TmpPath("damaged.jpg"), damaged));
            ExpectBothLoadersMatchTheLibrary(TmpPath("damaged.jpg"));
        }
    }
}

TEST(JpegDecoder, UndecodableFilesGiveNoneWithTheLibrarysReason) {
    const std::string notJpeg = std::string(SAVER_TEST_DATA) + "/bmpsuite/g/pal8.bmp";
    ASSERT_TRUE(WriteBytes(TmpPath("empty.jpg"), {}));
    ASSERT_TRUE(WriteBytes(TmpPath("soi.jpg"), {0xFF, 0xD8}));
    const struct {
        std::string path;
        ExpectedFailure reason;
    } cases[] = {
        {notJpeg, "not a JPEG file: starts with 0x42 0x4d"},
        {TmpPath("empty.jpg"), "empty input file"},
        {TmpPath("soi.jpg"), "JPEG datastream contains no image"},
        {TmpPath("no such file.jpg"), LoadFailure::CannotOpen},
        {SAVER_TEST_TMP, LoadFailure::CannotOpen},
    };
    const int freeBefore = LowestFreeDescriptor();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const Loaded loaded = Take(LoadJpegFile(c.path.c_str(), NeverStop));
        EXPECT_EQ(loaded.Image, nullptr);
        // The library's message, only its first letter lowered; a directory may fail either way.
        if (c.path != SAVER_TEST_TMP) {
            ExpectFailure(loaded, c.reason);
        }
        EXPECT_EQ(LowestFreeDescriptor(), freeBefore);
    }
}

// A comment segment of 60000 bytes that say nothing: size without substance.
std::vector<std::pair<unsigned char, Bytes>> Padding(int segments) {
    return std::vector<std::pair<unsigned char, Bytes>>(segments, {0xFE, Bytes(60000, ' ')});
}

// A colour picture whose luma has half the resolution of its chroma.
Bytes LumaHalfChromaWhole() {
    auto configure = [](jpeg_compress_struct& encoder) {
        encoder.comp_info[0].h_samp_factor = encoder.comp_info[0].v_samp_factor = 1;
        for (int c = 1; c < 3; ++c) encoder.comp_info[c].h_samp_factor = encoder.comp_info[c].v_samp_factor = 2;
    };
    auto row = [](int y, unsigned char* samples) {
        for (int i = 0; i < 48; ++i) samples[i] = static_cast<unsigned char>(i * 5 + y * 3);
    };
    return reference::CompressPicture(16, 16, 3, JCS_RGB, configure, row);
}

TEST(JpegDecoder, SizesAreDecidedFromTheHeaderBeforeDecoding) {
    using namespace reference;
    const Bytes progressive = EncodeJpeg(16, 16, false, false, ScanLayout::SimpleProgression);
    const Bytes baseline = EncodeJpeg(16, 16, false, false, ScanLayout::Baseline);
    const struct {
        const char* name;
        Bytes jpeg;
        ExpectedFailure reason;
    } cases[] = {
        {"progressive 65500 x 65500", WithFrameSize(progressive, 65500, 65500), LoadFailure::FileTooShortForSize},
        {"baseline 65500 x 65500", WithFrameSize(baseline, 65500, 65500), LoadFailure::FileTooShortForSize},
        // Bytes enough for a bit a block of luma (781 KB), not for the chroma's blocks as well.
        {"padded progressive 20000 x 20000",
         WithSegmentsAfterSoi(WithFrameSize(progressive, 20000, 20000), Padding(14)), LoadFailure::FileTooShortForSize},
        // Luma sampled 1 × 1 and chroma 2 × 2: 9 blocks an MCU, a ninth of them luma.
        {"padded 4000 x 4000 with full-size chroma",
         WithSegmentsAfterSoi(WithFrameSize(LumaHalfChromaWhole(), 4000, 4000), {{0xFE, Bytes(20000, ' ')}}),
         LoadFailure::FileTooShortForSize},
        // Hostile streams of a few kilobytes that once cost seconds and gigabytes.
        {"1000 empty DC scans claiming 23000 x 23000", ProgressiveSizeClaim(23000, 23000, 1000),
         LoadFailure::FileTooShortForSize},
        {"a header claiming 26000 x 27000", BaselineHeaderClaim(26000, 27000), LoadFailure::FileTooShortForSize},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The reason comes from the header check, which runs before jpeg_start_decompress and before
        // the image block exists: nothing of the claimed size is allocated.
        const Loaded loaded = Take(LoadJpegMemory(c.jpeg.data(), static_cast<uint32_t>(c.jpeg.size()), NeverStop));
        EXPECT_EQ(loaded.Image, nullptr);
        ExpectFailure(loaded, c.reason);
    }
}

TEST(JpegDecoder, APictureTooLargeToHoldWholeIsDecodedAtTheLargestScaleThatFits) {
    const struct {
        uint16_t width, height;
        uint32_t shownWidth, shownHeight;
    } cases[] = {
        {8000, 6000, 8000, 6000},     // whole: 144 MB
        {65000, 11100, 32500, 5550},  // 24 bits × width fits, the rows (2.2 GB) do not: half
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        const Bytes jpeg = reference::FlatGrayBaseline(c.width, c.height);
        const Loaded loaded = Take(LoadJpegMemory(jpeg.data(), static_cast<uint32_t>(jpeg.size()), NeverStop));
        ASSERT_NE(loaded.Image, nullptr) << loaded.Reason;
        const DibLayout layout = ReadDibLayout(loaded.Image.get());
        EXPECT_EQ(static_cast<uint32_t>(layout.width), c.shownWidth);
        EXPECT_EQ(static_cast<uint32_t>(layout.height), c.shownHeight);
        EXPECT_EQ(loaded.BlockSize, 40 + DibStride(c.shownWidth, 24) * c.shownHeight);
        // Mid-grey everywhere: first, middle and last rows.
        for (int32_t y : {0, layout.height / 2, layout.height - 1}) {
            for (int32_t x : {0, layout.width / 3, layout.width - 1}) {
                unsigned char rgb[3];
                ImagePixel(loaded.Image.get(), x, y, rgb);
                EXPECT_EQ(rgb[0] + rgb[1] * 256 + rgb[2] * 65536, 128 * 65793) << x << ", " << y;
            }
        }
    }
}

TEST(JpegDecoder, AFileCutShortIsRefusedOnlyBelowABitABlock) {
    // 128 × 128 blocks: a complete file holds at least 2048 bytes.
    const Bytes whole = reference::EncodeJpeg(1024, 1024, true, false, reference::ScanLayout::Baseline);
    ASSERT_GT(whole.size(), 4096u);
    for (const char* options : {"baseline", "progressive"}) {
        SCOPED_TRACE(options);
        const Bytes stream =
            std::string(options) == "baseline"
                ? whole
                : reference::EncodeJpeg(1024, 1024, true, false, reference::ScanLayout::SimpleProgression);
        // At one bit a block the library's picture of what is there, warnings and all.
        ASSERT_TRUE(WriteBytes(TmpPath("cut-at-bound.jpg"), Bytes(stream.begin(), stream.begin() + 2048)));
        ExpectBothLoadersMatchTheLibrary(TmpPath("cut-at-bound.jpg"));
        ASSERT_TRUE(WriteBytes(TmpPath("cut-below-bound.jpg"), Bytes(stream.begin(), stream.begin() + 2047)));
        const Loaded fromFile = Take(LoadJpegFile(TmpPath("cut-below-bound.jpg").c_str(), NeverStop));
        EXPECT_EQ(fromFile.Image, nullptr);
        EXPECT_EQ(fromFile.Failure, LoadFailure::FileTooShortForSize);
        const Loaded fromMemory = Take(LoadJpegMemory(stream.data(), 2047, NeverStop));
        EXPECT_EQ(fromMemory.Failure, LoadFailure::FileTooShortForSize);
    }
}

TEST(JpegDecoder, MultiScanFilesLoadAsDjpegUpToAHundredScans) {
    using namespace reference;
    // The library's encoder writes at most 100 scans; one per coefficient is the most a real file has.
    const struct {
        const char* name;
        Bytes jpeg;
    } legitimate[] = {
        {"gray, one scan per coefficient (64)", EncodeJpeg(97, 61, true, false, ScanLayout::OneScanPerCoefficient)},
        {"colour, one scan per coefficient (96)", EncodeJpeg(97, 61, false, false, ScanLayout::OneScanPerCoefficient)},
    };
    for (const auto& c : legitimate) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteBytes(TmpPath("scans.jpg"), c.jpeg));
        ExpectBothLoadersMatchDjpeg(TmpPath("scans.jpg"));
    }
    const Bytes flat = EncodeJpeg(256, 256, true, true, ScanLayout::SimpleProgression);
    for (int scans : {100, 101}) {
        SCOPED_TRACE(scans);
        ASSERT_TRUE(WriteBytes(TmpPath("many-scans.jpg"), WithScanCount(flat, scans)));
        // djpeg's own scan limit is the reference: it refuses exactly the files this loader refuses.
        Picture want;
        const int status = DjpegPicture(TmpPath("many-scans.jpg"), want, "-maxscans 100");
        EXPECT_EQ(status == 1, scans > 100);
        const Loaded loaded = Take(LoadJpegFile(TmpPath("many-scans.jpg").c_str(), NeverStop));
        if (status == 1) {
            EXPECT_EQ(loaded.Image, nullptr);
            EXPECT_EQ(loaded.Failure, LoadFailure::TooManyScans);
        } else {
            ExpectDjpegPicture(loaded, want);
        }
    }
    // A complete picture whose end-of-band scans go on and on stops at the limit.
    const Bytes endless = EndOfBandScans(1024, 1024, 1000);
    const Loaded loaded = Take(LoadJpegMemory(endless.data(), static_cast<uint32_t>(endless.size()), NeverStop));
    EXPECT_EQ(loaded.Image, nullptr);
    EXPECT_EQ(loaded.Failure, LoadFailure::TooManyScans);
}

TEST(JpegDecoder, DecodingStopsWhereTheFileNoLongerPaysForTheWork) {
    using namespace reference;
    const struct {
        const char* name;
        Bytes jpeg;
        ExpectedFailure reason;
        int mostAsked;  // a question per iMCU row of each scan: fewer than a whole decode asks
    } cases[] = {
        // Arithmetic coding reads zeros past the end of a scan's data: rows from nothing.
        {"arithmetic YCC claiming 4000 x 4000", ArithmeticSizeClaim(4000, 4000, 3, false, 0),
         LoadFailure::FileTooShortForSize, 4000 / 16},
        {"arithmetic YCCK claiming 4000 x 4000", ArithmeticSizeClaim(4000, 4000, 4, false, 0),
         LoadFailure::FileTooShortForSize, 4000 / 16},
        {"arithmetic progressive gray, restart every MCU, claiming 4000 x 4000",
         ArithmeticSizeClaim(4000, 4000, 1, true, 1), LoadFailure::FileTooShortForSize, 4000 / 8},
        // Each end-of-band refinement scan costs a pass over every coefficient of the picture.
        {"50 end-of-band scans over 2048 x 2048", EndOfBandScans(2048, 2048, 50), LoadFailure::TooManyScans,
         40 * 2048 / 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QuestionCounter never = {0, 0};
        const Loaded loaded =
            Take(LoadJpegMemory(c.jpeg.data(), static_cast<uint32_t>(c.jpeg.size()), CountingControl(&never)));
        EXPECT_EQ(loaded.Image, nullptr);
        ExpectFailure(loaded, c.reason);
        EXPECT_LT(never.Asked, c.mostAsked);
    }
    // Legitimate arithmetic streams whose data ends before their last rows (the encoder leaves
    // off trailing zeros) still load.
    for (const char* options : {"-arithmetic -progressive", "-arithmetic -restart 1 -sample 1x1"}) {
        SCOPED_TRACE(options);
        ASSERT_TRUE(MakeJpeg("arithmetic.jpg", 65, 47, options));
        ExpectBothLoadersMatchDjpeg(TmpPath("arithmetic.jpg"));
    }
}

TEST(JpegDecoder, TheLoadAsksAsItGoesAndStopsWhenTold) {
    using namespace reference;
    const struct {
        const char* name;
        Bytes jpeg;
        int atLeast;  // questions a whole decode asks: per iMCU row of every scan, per batch of rows
    } cases[] = {
        {"baseline 320 x 240", EncodeJpeg(320, 240, false, false, ScanLayout::Baseline), 240 / 16},
        {"progressive 320 x 240", EncodeJpeg(320, 240, false, false, ScanLayout::SimpleProgression), 10 * 240 / 16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteBytes(TmpPath("asks.jpg"), c.jpeg));
        QuestionCounter never = {0, 0};
        const Loaded whole = Take(LoadJpegFile(TmpPath("asks.jpg").c_str(), CountingControl(&never)));
        ASSERT_NE(whole.Image, nullptr);
        EXPECT_GE(never.Asked, c.atLeast);
        const int freeBefore = LowestFreeDescriptor();
        for (int stopAt : {1, never.Asked / 2, never.Asked}) {
            SCOPED_TRACE(stopAt);
            QuestionCounter question = {0, stopAt};
            const LoadControl control = CountingControl(&question);
            const Loaded fromFile = Take(LoadJpegFile(TmpPath("asks.jpg").c_str(), control));
            EXPECT_TRUE(fromFile.CutShort);
            EXPECT_EQ(fromFile.Image, nullptr);
            EXPECT_EQ(fromFile.Failure, LoadFailure::CutShort);
            EXPECT_EQ(question.Asked, stopAt);  // nothing more is done once told to stop
            EXPECT_EQ(LowestFreeDescriptor(), freeBefore);
            question = {0, stopAt};
            EXPECT_TRUE(Take(LoadJpegMemory(c.jpeg.data(), static_cast<uint32_t>(c.jpeg.size()), control)).CutShort);
        }
    }
    // Segments before the frame are read a few megabytes at a time, asking between them.
    const Bytes padded = WithSegmentsAfterSoi(EncodeJpeg(32, 32, false, false, ScanLayout::Baseline), Padding(90));
    ASSERT_TRUE(WriteBytes(TmpPath("asks-padded.jpg"), padded));
    QuestionCounter never = {0, 0};
    ASSERT_NE(Take(LoadJpegFile(TmpPath("asks-padded.jpg").c_str(), CountingControl(&never))).Image, nullptr);
    EXPECT_GE(never.Asked, 1 + 1);  // the 5.4 MB of segments, then the rows
    QuestionCounter first = {0, 1};
    const Loaded stopped = Take(LoadJpegFile(TmpPath("asks-padded.jpg").c_str(), CountingControl(&first)));
    EXPECT_TRUE(stopped.CutShort);
    EXPECT_EQ(first.Asked, 1);
}

// A strip of 16 × 16 swatches, each one CMYK colour, compressed at full quality with the library.
Bytes CompressCmykSwatches(const std::vector<std::array<unsigned char, 4>>& swatches, J_COLOR_SPACE space,
                           bool adobeMarker) {
    auto configure = [&](jpeg_compress_struct& encoder) {
        jpeg_set_colorspace(&encoder, space);
        jpeg_set_quality(&encoder, 100, TRUE);
        encoder.write_Adobe_marker = adobeMarker;
    };
    auto row = [&](int, unsigned char* samples) {
        for (size_t x = 0; x < 64 * swatches.size(); ++x) samples[x] = swatches[x / 64][x % 4];
    };
    return reference::CompressPicture(static_cast<int>(16 * swatches.size()), 16, 4, JCS_CMYK, configure, row);
}

TEST(JpegDecoder, CmykAndYcckShowTheirInks) {
    // Ink amounts (cyan, magenta, yellow, black) and the colour a viewer shows for them.
    const struct {
        std::array<unsigned char, 4> ink;
        std::array<int, 3> rgb;
    } swatches[] = {
        {{0, 0, 0, 0}, {255, 255, 255}},   {{0, 0, 0, 255}, {0, 0, 0}},        {{255, 0, 0, 0}, {0, 255, 255}},
        {{0, 255, 0, 0}, {255, 0, 255}},   {{0, 0, 255, 0}, {255, 255, 0}},    {{0, 255, 255, 0}, {255, 0, 0}},
        {{0, 0, 0, 128}, {127, 127, 127}}, {{128, 0, 0, 128}, {64, 127, 127}},
    };
    const struct {
        const char* name;
        J_COLOR_SPACE space;
        bool adobe;  // an APP14 segment: samples stored inverted, 255 meaning no ink
    } forms[] = {{"plain CMYK", JCS_CMYK, false}, {"Adobe CMYK", JCS_CMYK, true}, {"YCCK", JCS_YCCK, true}};
    for (const auto& form : forms) {
        SCOPED_TRACE(form.name);
        std::vector<std::array<unsigned char, 4>> samples;
        for (const auto& s : swatches) {
            std::array<unsigned char, 4> stored = s.ink;
            if (form.adobe) {
                for (unsigned char& v : stored) v = static_cast<unsigned char>(255 - v);
            }
            samples.push_back(stored);
        }
        const Bytes jpeg = CompressCmykSwatches(samples, form.space, form.adobe);
        const Loaded loaded = Take(LoadJpegMemory(jpeg.data(), static_cast<uint32_t>(jpeg.size()), NeverStop));
        const ImagePtr& image = loaded.Image;
        ASSERT_NE(image, nullptr) << loaded.Reason;
        ASSERT_EQ(PackedDibHeader(image.get())->biBitCount, 24);
        for (size_t i = 0; i < std::size(swatches); ++i) {
            unsigned char rgb[3];
            ImagePixel(image.get(), static_cast<int>(16 * i + 8), 8, rgb);
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(rgb[c], swatches[i].rgb[c], 3) << "swatch " << i << " channel " << c;
        }
    }
}

TEST(JpegDecoder, CmykPhotoLooksAsImageMagickShowsIt) {
    ASSERT_EQ(WritePpm(TmpPath("cmyk-source.ppm"), TestPattern(53, 41)), true);
    ASSERT_EQ(RunShell("convert '" + TmpPath("cmyk-source.ppm") + "' -colorspace CMYK '" + TmpPath("cmyk.jpg") + "'"),
              0);
    ASSERT_EQ(RunShell("convert '" + TmpPath("cmyk.jpg") + "' -depth 8 '" + TmpPath("cmyk-im.ppm") + "'"), 0);
    Picture want;
    ASSERT_TRUE(ReadPnm(TmpPath("cmyk-im.ppm"), want));
    const Loaded loaded = Take(LoadJpegFile(TmpPath("cmyk.jpg").c_str(), NeverStop));
    const ImagePtr& image = loaded.Image;
    ASSERT_NE(image, nullptr) << loaded.Reason;
    EXPECT_EQ(CountDifferentPixels(image.get(), want, 1), 0);
}

}  // namespace

namespace {

// APP2 segments carrying a profile as ICC's embedding in JPEG cuts it: "ICC_PROFILE\0", the
// segment's number counted from 1, the count of segments, then the piece.
std::vector<std::pair<unsigned char, Bytes>> ProfileSegments(const Bytes& icc, size_t piece, int count = 0) {
    std::vector<std::pair<unsigned char, Bytes>> segments;
    const size_t pieces = std::max<size_t>(1, (icc.size() + piece - 1) / piece);
    for (size_t i = 0; i < pieces; ++i) {
        const char mark[] = "ICC_PROFILE";
        Bytes payload(mark, mark + sizeof mark);
        payload.push_back(static_cast<unsigned char>(i + 1));
        payload.push_back(static_cast<unsigned char>(count ? count : pieces));
        payload.insert(payload.end(), icc.begin() + i * piece, icc.begin() + std::min(icc.size(), (i + 1) * piece));
        segments.push_back({0xE2, payload});
    }
    return segments;
}

TEST(JpegDecoder, EmbeddedProfilesGiveTheColoursImageMagickConvertsThemTo) {
    ASSERT_TRUE(MakeJpeg("colour.jpg", 61, 37, "-quality 95"));
    ASSERT_TRUE(MakeJpeg("gray.jpg", 61, 37, "-grayscale"));
    ASSERT_EQ(RunShell("convert '" + TmpPath("colour.jpg.ppm") + "' -colorspace CMYK '" + TmpPath("cmyk.jpg") + "'"),
              0);
    Bytes colour, gray, cmyk;
    ASSERT_TRUE(ReadBytes(TmpPath("colour.jpg"), colour));
    ASSERT_TRUE(ReadBytes(TmpPath("gray.jpg"), gray));
    ASSERT_TRUE(ReadBytes(TmpPath("cmyk.jpg"), cmyk));
    const struct {
        const char* name;
        const Bytes& jpeg;
        TestProfile profile;
        bool changes;  // whether the profile's picture differs from the file's plain one
    } cases[] = {
        {"Adobe RGB", colour, TestProfile::AdobeRgb, true},
        {"ProPhoto RGB", colour, TestProfile::ProPhoto, true},
        {"sRGB", colour, TestProfile::Srgb, false},
        {"gray of gamma 1.0", gray, TestProfile::LinearGray, true},
        {"CMYK of thin inks", cmyk, TestProfile::Cmyk, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes icc = MakeProfile(c.profile);
        ASSERT_GT(icc.size(), 300u);
        const std::string path = TmpPath("profiled.jpg");
        ASSERT_TRUE(WriteBytes(path, reference::WithSegmentsAfterSoi(c.jpeg, ProfileSegments(icc, 200))));
        Picture want;
        ASSERT_TRUE(ImageMagickInSrgb(path, want));
        const Loaded plain = Take(LoadJpegMemory(c.jpeg.data(), static_cast<uint32_t>(c.jpeg.size()), NeverStop));
        ASSERT_NE(plain.Image, nullptr);
        EXPECT_EQ(LargestDifference(plain.Image.get(), want) > 3, c.changes);

        // The segments in any order on disk: their numbers put them together.
        std::vector<std::pair<unsigned char, Bytes>> reversed = ProfileSegments(icc, 200);
        std::reverse(reversed.begin(), reversed.end());
        ASSERT_GE(reversed.size(), 2u);
        const Bytes shuffled = reference::WithSegmentsAfterSoi(c.jpeg, reversed);
        for (const Loaded& loaded :
             {Take(LoadJpegFile(path.c_str(), NeverStop)),
              Take(LoadJpegMemory(shuffled.data(), static_cast<uint32_t>(shuffled.size()), NeverStop))}) {
            ASSERT_NE(loaded.Image, nullptr) << loaded.Reason;
            EXPECT_LE(LargestDifference(loaded.Image.get(), want), 2);
        }
    }
}

TEST(JpegDecoder, AProfileThatCannotBeUsedLeavesThePixelsAsTheyAre) {
    ASSERT_TRUE(MakeJpeg("colour.jpg", 61, 37, ""));
    ASSERT_TRUE(MakeJpeg("gray.jpg", 61, 37, "-grayscale"));
    Bytes colour, gray;
    ASSERT_TRUE(ReadBytes(TmpPath("colour.jpg"), colour));
    ASSERT_TRUE(ReadBytes(TmpPath("gray.jpg"), gray));
    const Bytes adobe = MakeProfile(TestProfile::AdobeRgb);
    std::vector<std::pair<unsigned char, Bytes>> oneMissing = ProfileSegments(adobe, 200);
    oneMissing.erase(oneMissing.begin() + 1);
    const struct {
        const char* name;
        const Bytes& jpeg;
        std::vector<std::pair<unsigned char, Bytes>> segments;
    } cases[] = {
        {"damaged profile", colour, ProfileSegments(MakeProfile(TestProfile::Unusable), 60000)},
        {"a segment missing", colour, oneMissing},
        {"a segment counted twice", colour, ProfileSegments(adobe, 200, 1)},
        {"RGB profile on a gray picture", gray, ProfileSegments(adobe, 60000)},
        {"gray profile on a colour picture", colour, ProfileSegments(MakeProfile(TestProfile::LinearGray), 60000)},
        {"CMYK profile on a colour picture", colour, ProfileSegments(MakeProfile(TestProfile::Cmyk), 60000)},
        {"no profile, only its mark", colour, ProfileSegments(Bytes(), 1, 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = TmpPath("unusable.jpg");
        ASSERT_TRUE(WriteBytes(path, reference::WithSegmentsAfterSoi(c.jpeg, c.segments)));
        ExpectBothLoadersMatchDjpeg(path);
    }
}

}  // namespace
