#include "imaging/memory_source.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstring>

#include <jerror.h>

#include "image_test_files.h"
#include "imaging/jpeg_decoder.h"

namespace {

using namespace image_test;

// Decodes a stream through AttachMemorySource with the library's own error handling turned into a
// jump, and keeps what the error manager saw and how often the decoder asked the source for data
// and to skip (counted around the source's own entries).
struct MemoryDecode {
    bool Decoded = false;
    uint32_t FillCalls = 0;
    uint32_t SkipCalls = 0;
    long Warnings = 0;
    int FirstWarning = 0;
    Picture Result;
};

struct Escape {
    jpeg_error_mgr manager;
    jmp_buf jump;
    int firstWarning;
};

void NoteWarning(j_common_ptr decoder, int level) {
    Escape* escape = reinterpret_cast<Escape*>(decoder->err);
    if (level != -1) return;
    if (escape->manager.num_warnings++ == 0) escape->firstWarning = escape->manager.msg_code;
}

void Jump(j_common_ptr decoder) { longjmp(reinterpret_cast<Escape*>(decoder->err)->jump, 1); }

struct SourceCalls {
    boolean (*Fill)(j_decompress_ptr);
    void (*Skip)(j_decompress_ptr, long);
    uint32_t Fills;
    uint32_t Skips;
};
SourceCalls Counted;

boolean CountedFill(j_decompress_ptr decoder) {
    ++Counted.Fills;
    return Counted.Fill(decoder);
}

void CountedSkip(j_decompress_ptr decoder, long count) {
    ++Counted.Skips;
    Counted.Skip(decoder, count);
}

MemoryDecode DecodeThroughMemorySource(const Bytes& jpeg, FILE* firstAttachStdio = nullptr) {
    MemoryDecode result;
    jpeg_decompress_struct decoder;
    Escape escape;
    decoder.err = jpeg_std_error(&escape.manager);
    escape.manager.error_exit = Jump;
    escape.manager.emit_message = NoteWarning;
    escape.firstWarning = 0;
    if (setjmp(escape.jump)) {
        result.FillCalls = Counted.Fills;
        result.SkipCalls = Counted.Skips;
        jpeg_destroy_decompress(&decoder);
        return result;
    }
    jpeg_create_decompress(&decoder);
    if (firstAttachStdio) jpeg_stdio_src(&decoder, firstAttachStdio);
    AttachMemorySource(&decoder, jpeg.data(), static_cast<uint32_t>(jpeg.size()));
    Counted = {decoder.src->fill_input_buffer, decoder.src->skip_input_data, 0, 0};
    decoder.src->fill_input_buffer = CountedFill;
    decoder.src->skip_input_data = CountedSkip;
    jpeg_read_header(&decoder, TRUE);
    jpeg_start_decompress(&decoder);
    result.Result.Width = static_cast<int>(decoder.output_width);
    result.Result.Height = static_cast<int>(decoder.output_height);
    const size_t rowBytes = static_cast<size_t>(decoder.output_width) * decoder.output_components;
    Bytes samples(rowBytes * decoder.output_height);
    while (decoder.output_scanline < decoder.output_height) {
        JSAMPROW row = samples.data() + rowBytes * decoder.output_scanline;
        jpeg_read_scanlines(&decoder, &row, 1);
    }
    jpeg_finish_decompress(&decoder);
    for (size_t i = 0; i < samples.size(); i += decoder.output_components) {
        for (int c = 0; c < 3; ++c) result.Result.Rgb.push_back(samples[i + (decoder.output_components == 3 ? c : 0)]);
    }
    result.FillCalls = Counted.Fills;
    result.SkipCalls = Counted.Skips;
    result.Warnings = escape.manager.num_warnings;
    result.FirstWarning = escape.firstWarning;
    result.Decoded = true;
    jpeg_destroy_decompress(&decoder);
    return result;
}

using reference::WithSegmentsAfterSoi;

TEST(MemorySource, CleanBaselineStreamIsFilledOnceAndNeverSkipped) {
    ASSERT_TRUE(MakeJpeg("baseline.jpg", 609, 448, "-quality 85"));
    Bytes jpeg;
    ASSERT_TRUE(ReadBytes(TmpPath("baseline.jpg"), jpeg));
    Picture want;
    ASSERT_EQ(DjpegPicture(TmpPath("baseline.jpg"), want), 0);

    const MemoryDecode direct = DecodeThroughMemorySource(jpeg);
    ASSERT_TRUE(direct.Decoded);
    EXPECT_EQ(direct.FillCalls, 1u);
    EXPECT_EQ(direct.SkipCalls, 0u);
    EXPECT_EQ(direct.Warnings, 0);
    EXPECT_EQ(direct.Result.Rgb, want.Rgb);

    const Loaded loaded = Take(LoadJpegMemory(jpeg.data(), static_cast<uint32_t>(jpeg.size()), NeverStop));
    const ImagePtr& image = loaded.Image;
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(CountDifferentPixels(image.get(), want, 0), 0);
}

TEST(MemorySource, TheLogoIsFilledOnceAndNeverSkipped) {
    const std::string logoPath = std::string(SAVER_TEST_DATA) + "/../../resources/logo.jpg";
    Bytes logo;
    ASSERT_TRUE(ReadBytes(logoPath, logo));
    const Loaded loaded = Take(LoadJpegMemory(logo.data(), static_cast<uint32_t>(logo.size()), NeverStop));
    const ImagePtr& image = loaded.Image;
    ASSERT_NE(image, nullptr) << loaded.Reason;
    EXPECT_EQ(PackedDibHeader(image.get())->biWidth, 609);
    EXPECT_EQ(PackedDibHeader(image.get())->biHeight, 448);
    // The logo holds nothing the decoder skips and is complete: one fill, no skip.
    const MemoryDecode decode = DecodeThroughMemorySource(logo);
    ASSERT_TRUE(decode.Decoded);
    EXPECT_EQ(decode.FillCalls, 1u);
    EXPECT_EQ(decode.SkipCalls, 0u);
    EXPECT_EQ(decode.Warnings, 0);
}

TEST(MemorySource, SkippedSegmentsAreReallySkipped) {
    ASSERT_TRUE(MakeJpeg("plain.jpg", 37, 21, ""));
    Bytes plain;
    ASSERT_TRUE(ReadBytes(TmpPath("plain.jpg"), plain));
    Bytes exif(3000, 0xD8);  // bytes that would read as markers if they were not skipped
    memcpy(exif.data(), "Exif\0\0", 6);
    const Bytes comment = {'m', 'a', 'd', 'e', 0xFF, 0xD9, ' ', 'h', 'e', 'r', 'e'};
    const Bytes jpeg = WithSegmentsAfterSoi(plain, {{0xE1, exif}, {0xFE, comment}, {0xE2, Bytes(10, 0xFF)}});
    ASSERT_TRUE(WriteBytes(TmpPath("segments.jpg"), jpeg));
    Picture want;
    ASSERT_EQ(DjpegPicture(TmpPath("segments.jpg"), want), 0);

    const MemoryDecode decode = DecodeThroughMemorySource(jpeg);
    ASSERT_TRUE(decode.Decoded);
    EXPECT_EQ(decode.FillCalls, 1u);
    EXPECT_EQ(decode.SkipCalls, 3u);
    EXPECT_EQ(decode.Warnings, 0);
    EXPECT_EQ(decode.Result.Rgb, want.Rgb);
}

TEST(MemorySource, StreamThatEndsEarlyGetsAnEndMarkerAndAWarning) {
    ASSERT_TRUE(MakeJpeg("long.jpg", 80, 64, ""));
    Bytes whole;
    ASSERT_TRUE(ReadBytes(TmpPath("long.jpg"), whole));
    const Bytes cut(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2));
    ASSERT_TRUE(WriteBytes(TmpPath("half.jpg"), cut));
    Picture want;
    ASSERT_EQ(DjpegPicture(TmpPath("half.jpg"), want), 2);  // djpeg warns and gives a picture

    const MemoryDecode decode = DecodeThroughMemorySource(cut);
    ASSERT_TRUE(decode.Decoded);
    EXPECT_EQ(decode.FillCalls, 2u);
    EXPECT_GE(decode.Warnings, 1);
    EXPECT_EQ(decode.FirstWarning, JWRN_JPEG_EOF);
    EXPECT_EQ(decode.Result.Rgb, want.Rgb);
}

TEST(MemorySource, SkipPastTheEndLeavesOnlyTheEndMarker) {
    ASSERT_TRUE(MakeJpeg("plain.jpg", 16, 16, ""));
    Bytes plain;
    ASSERT_TRUE(ReadBytes(TmpPath("plain.jpg"), plain));
    // A comment segment that claims 1000 bytes where only a few follow.
    Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xFE, 0x03, 0xE8, 'a', 'b', 'c'};
    const MemoryDecode decode = DecodeThroughMemorySource(jpeg);
    EXPECT_FALSE(decode.Decoded);  // "JPEG datastream contains no image", not a wild read
    EXPECT_EQ(decode.SkipCalls, 1u);
    EXPECT_EQ(decode.FillCalls, 2u);
    const Loaded loaded = Take(LoadJpegMemory(jpeg.data(), static_cast<uint32_t>(jpeg.size()), NeverStop));
    const ImagePtr& image = loaded.Image;
    EXPECT_EQ(image, nullptr);
    ExpectFailure(loaded, "JPEG datastream contains no image");
}

TEST(MemorySource, EmptyBlockIsAnEmptyInput) {
    const unsigned char nothing[1] = {0};
    EXPECT_FALSE(DecodeThroughMemorySource(Bytes()).Decoded);
    const Loaded loaded = Take(LoadJpegMemory(nothing, 0, NeverStop));
    const ImagePtr& image = loaded.Image;
    EXPECT_EQ(image, nullptr);
    ExpectFailure(loaded, "empty input file");
}

TEST(MemorySource, ReplacesASourceOfAnotherKind) {
    ASSERT_TRUE(MakeJpeg("plain.jpg", 19, 11, ""));
    Bytes jpeg;
    ASSERT_TRUE(ReadBytes(TmpPath("plain.jpg"), jpeg));
    Picture want;
    ASSERT_EQ(DjpegPicture(TmpPath("plain.jpg"), want), 0);
    FILE* unrelated = fopen(TmpPath("plain.jpg").c_str(), "rb");
    ASSERT_NE(unrelated, nullptr);
    const MemoryDecode decode = DecodeThroughMemorySource(jpeg, unrelated);
    fclose(unrelated);
    ASSERT_TRUE(decode.Decoded);
    EXPECT_EQ(decode.FillCalls, 1u);
    EXPECT_EQ(decode.Result.Rgb, want.Rgb);
}

}  // namespace
