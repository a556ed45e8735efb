#include "imaging/jpeg_decoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "image_test_files.h"
#include "tests/reference/reference_jpeg_decode.h"

namespace {

using namespace image_test;

// A decoded image must be djpeg's picture, pixel for pixel, in a 24-bit bottom-up block whose pad
// bytes are zero and whose size the loader reported.
void ExpectDjpegPicture(const unsigned char* image, const Picture& want) {
    ASSERT_NE(image, nullptr) << LastLoadFailure();
    const DibInfoHeader* header = PackedDibHeader(image);
    EXPECT_EQ(header->biSize, 40u);
    EXPECT_EQ(header->biBitCount, 24);
    EXPECT_EQ(header->biClrUsed, 0u);
    EXPECT_EQ(PackedDibBits(image) - image, 40);
    EXPECT_EQ(CountDifferentPixels(image, want, 0), 0);
    const size_t stride = static_cast<size_t>(DibStride(want.Width, 24));
    EXPECT_EQ(LastLoadBlockSize(), 40 + stride * want.Height);
    int nonZeroPads = 0;
    for (int row = 0; row < want.Height; ++row) {
        for (size_t i = static_cast<size_t>(want.Width) * 3; i < stride; ++i) nonZeroPads += PackedDibBits(image)[row * stride + i] != 0;
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
        for (int c = 0; c < 3; ++c) picture.Rgb[i * 3 + c] = decoded.Pixels[i * decoded.Components + (decoded.Components == 3 ? c : 0)];
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
    ImagePtr fromFile(LoadJpegFile(path.c_str()));
    const std::string fileFailure = LastLoadFailure();
    ImagePtr fromMemory(LoadJpegMemory(bytes.data(), static_cast<uint32_t>(bytes.size())));
    if (!decodes) {
        EXPECT_EQ(fromFile, nullptr);
        EXPECT_NE(fileFailure, "");
        EXPECT_EQ(fromMemory, nullptr);
        return;
    }
    {
        SCOPED_TRACE("file");
        ExpectDjpegPicture(fromFile.get(), want);
    }
    {
        SCOPED_TRACE("memory");
        ExpectDjpegPicture(fromMemory.get(), want);
    }
}

// Clean streams decode alike in every build of the library, so djpeg is the reference everywhere.
void ExpectBothLoadersMatchDjpeg(const std::string& path) {
    Picture want;
    ASSERT_EQ(DjpegPicture(path, want), 0);
    Bytes bytes;
    ASSERT_TRUE(ReadBytes(path, bytes));
    ImagePtr fromFile(LoadJpegFile(path.c_str()));
    {
        SCOPED_TRACE("file");
        ExpectDjpegPicture(fromFile.get(), want);
    }
    ImagePtr fromMemory(LoadJpegMemory(bytes.data(), static_cast<uint32_t>(bytes.size())));
    {
        SCOPED_TRACE("memory");
        ExpectDjpegPicture(fromMemory.get(), want);
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
            {n / 3, 0x55}, {n / 2, 0x00}, {n * 4 / 5, 0xFF}, {n - 3, 0xD9}, {3, 0x00}, {5, 0xFF},
            {25, 0x00}, {80, 0xFF}, {120, 0x13}, {170, 0x99}, {n / 2 + 1, 0xD9},
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
        const char* reason;
    } cases[] = {
        {notJpeg, "not a JPEG file: starts with 0x42 0x4d"},
        {TmpPath("empty.jpg"), "empty input file"},
        {TmpPath("soi.jpg"), "JPEG datastream contains no image"},
        {TmpPath("no such file.jpg"), "cannot open file"},
        {SAVER_TEST_TMP, "cannot open file"},
    };
    const int freeBefore = LowestFreeDescriptor();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(LoadJpegFile(c.path.c_str()), nullptr);
        // The library's message, only its first letter lowered; a directory may fail either way.
        if (c.path != SAVER_TEST_TMP) {
            EXPECT_STREQ(LastLoadFailure(), c.reason);
        }
        EXPECT_EQ(LowestFreeDescriptor(), freeBefore);
    }
}

// A JPEG file whose frame header claims another size.
Bytes WithFrameSize(const Bytes& jpeg, uint16_t width, uint16_t height) {
    std::vector<Bytes> segments = SplitJpegSegments(jpeg);
    for (Bytes& s : segments) {
        if (s[1] >= 0xC0 && s[1] <= 0xC2) {
            s[5] = static_cast<unsigned char>(height >> 8);
            s[6] = static_cast<unsigned char>(height);
            s[7] = static_cast<unsigned char>(width >> 8);
            s[8] = static_cast<unsigned char>(width);
        }
    }
    return JoinSegments(segments);
}

TEST(JpegDecoder, SizesAreDecidedFromTheHeaderBeforeDecoding) {
    ASSERT_TRUE(MakeJpeg("small-progressive.jpg", 16, 16, "-progressive"));
    ASSERT_TRUE(MakeJpeg("small-progressive-444.jpg", 16, 16, "-progressive -sample 1x1"));
    ASSERT_TRUE(MakeJpeg("small-baseline.jpg", 16, 16, ""));
    const struct {
        const char* source;
        uint16_t width, height;
        const char* reason;
    } cases[] = {
        {"small-progressive.jpg", 65500, 65500, "image too large"},
        {"small-baseline.jpg", 65500, 65500, "image too large"},
        {"small-baseline.jpg", 65500, 10929, "image too large"},  // 24 bits × width fits, rows do not
        // Rows fit (600 MB), but the whole-image coefficient buffer would take 1.2 GB.
        {"small-progressive-444.jpg", 20000, 10000, "image too large to decode"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.source << " as " << c.width << "x" << c.height);
        Bytes jpeg;
        ASSERT_TRUE(ReadBytes(TmpPath(c.source), jpeg));
        const Bytes large = WithFrameSize(jpeg, c.width, c.height);
        // The reason comes from the header check, which runs before jpeg_start_decompress and before
        // the image block exists: nothing of the claimed size is allocated.
        ImagePtr image(LoadJpegMemory(large.data(), static_cast<uint32_t>(large.size())));
        EXPECT_EQ(image, nullptr);
        EXPECT_STREQ(LastLoadFailure(), c.reason);
    }
}

// The progressive test file with its last scan repeated until it has this many scans in all.
Bytes WithScanCount(const Bytes& progressive, int scans) {
    std::vector<Bytes> segments = SplitJpegSegments(progressive);
    int present = 0;
    size_t lastScan = 0;
    for (size_t i = 0; i < segments.size(); ++i) {
        if (segments[i][1] == 0xDA) {
            ++present;
            lastScan = i;
        }
    }
    segments.insert(segments.begin() + static_cast<long>(lastScan) + 1, scans - present, segments[lastScan]);
    return JoinSegments(segments);
}

TEST(JpegDecoder, EndlessScansAreCutOff) {
    ASSERT_TRUE(MakeJpeg("scans.jpg", 24, 16, "-progressive"));
    Bytes progressive;
    ASSERT_TRUE(ReadBytes(TmpPath("scans.jpg"), progressive));
    for (int scans : {1000, 1001}) {
        SCOPED_TRACE(scans);
        ASSERT_TRUE(WriteBytes(TmpPath("many-scans.jpg"), WithScanCount(progressive, scans)));
        // djpeg's own scan limit is the reference: it refuses exactly the files this loader refuses.
        Picture want;
        const int status = DjpegPicture(TmpPath("many-scans.jpg"), want, "-maxscans 1000");
        EXPECT_EQ(status == 1, scans > 1000);
        ImagePtr image(LoadJpegFile(TmpPath("many-scans.jpg").c_str()));
        if (status == 1) {
            EXPECT_EQ(image, nullptr);
            EXPECT_STREQ(LastLoadFailure(), "too many scans");
        } else {
            ExpectDjpegPicture(image.get(), want);
        }
    }
}

// A strip of 16 × 16 swatches, each one CMYK colour, compressed at full quality with the library.
Bytes CompressCmykSwatches(const std::vector<std::array<unsigned char, 4>>& swatches, J_COLOR_SPACE space,
                           bool adobeMarker) {
    jpeg_compress_struct encoder;
    jpeg_error_mgr errors;
    encoder.err = jpeg_std_error(&errors);
    jpeg_create_compress(&encoder);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&encoder, &out, &outSize);
    encoder.image_width = static_cast<JDIMENSION>(16 * swatches.size());
    encoder.image_height = 16;
    encoder.input_components = 4;
    encoder.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&encoder);
    jpeg_set_colorspace(&encoder, space);
    jpeg_set_quality(&encoder, 100, TRUE);
    encoder.write_Adobe_marker = adobeMarker;
    jpeg_start_compress(&encoder, TRUE);
    Bytes row(encoder.image_width * 4);
    for (size_t x = 0; x < row.size(); ++x) row[x] = swatches[x / 64][x % 4];
    while (encoder.next_scanline < encoder.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&encoder, rows, 1);
    }
    jpeg_finish_compress(&encoder);
    jpeg_destroy_compress(&encoder);
    Bytes jpeg(out, out + outSize);
    free(out);
    return jpeg;
}

TEST(JpegDecoder, CmykAndYcckShowTheirInks) {
    // Ink amounts (cyan, magenta, yellow, black) and the colour a viewer shows for them.
    const struct {
        std::array<unsigned char, 4> ink;
        std::array<int, 3> rgb;
    } swatches[] = {
        {{0, 0, 0, 0}, {255, 255, 255}},   {{0, 0, 0, 255}, {0, 0, 0}},       {{255, 0, 0, 0}, {0, 255, 255}},
        {{0, 255, 0, 0}, {255, 0, 255}},   {{0, 0, 255, 0}, {255, 255, 0}},   {{0, 255, 255, 0}, {255, 0, 0}},
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
        ImagePtr image(LoadJpegMemory(jpeg.data(), static_cast<uint32_t>(jpeg.size())));
        ASSERT_NE(image, nullptr) << LastLoadFailure();
        ASSERT_EQ(PackedDibHeader(image.get())->biBitCount, 24);
        for (size_t i = 0; i < std::size(swatches); ++i) {
            unsigned char rgb[3];
            ImagePixel(image.get(), static_cast<int>(16 * i + 8), 8, rgb);
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(rgb[c], swatches[i].rgb[c], 3) << "swatch " << i << " channel " << c;
        }
    }
}

TEST(JpegDecoder, CmykPhotoLooksAsImageMagickShowsIt) {
    ASSERT_EQ(WritePpm(TmpPath("cmyk-source.ppm"), TestPattern(53, 41)), true);
    ASSERT_EQ(RunShell("convert '" + TmpPath("cmyk-source.ppm") + "' -colorspace CMYK '" + TmpPath("cmyk.jpg") + "'"), 0);
    ASSERT_EQ(RunShell("convert '" + TmpPath("cmyk.jpg") + "' -depth 8 '" + TmpPath("cmyk-im.ppm") + "'"), 0);
    Picture want;
    ASSERT_TRUE(ReadPnm(TmpPath("cmyk-im.ppm"), want));
    ImagePtr image(LoadJpegFile(TmpPath("cmyk.jpg").c_str()));
    ASSERT_NE(image, nullptr) << LastLoadFailure();
    EXPECT_EQ(CountDifferentPixels(image.get(), want, 1), 0);
}

}  // namespace
