// How a slide looks beyond its picture: the caption's text and place, the fade's frames, the backdrop.
#include <gtest/gtest.h>
#include <utime.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "image_test_files.h"
#include "render/backdrop.h"
#include "render/slide_overlay.h"
#include "slideshow/file_type_table.h"
#include "slideshow/picture_caption.h"
#include "tests/reference/jpeg_streams.h"

namespace {

using namespace image_test;

// --- caption text -------------------------------------------------------------------------------

TEST(CaptionText, ItalianDatesAndFolderNames) {
    const char* const months[] = {"gennaio", "febbraio", "marzo",     "aprile",  "maggio",   "giugno",
                                  "luglio",  "agosto",   "settembre", "ottobre", "novembre", "dicembre"};
    for (int month = 1; month <= 12; ++month) {
        char text[40];
        WriteItalianDate({2019, month, month == 2 ? 1 : 31}, text, sizeof text);
        EXPECT_EQ(std::string(text), std::string(month == 2 ? "1 " : "31 ") + months[month - 1] + " 2019");
    }
    char text[40];
    WriteItalianDate({2019, 7, 14}, text, sizeof text);
    EXPECT_STREQ(text, "14 luglio 2019");

    const struct {
        const char* Path;
        const char* Folder;
    } paths[] = {{"C:\\Foto\\Mare 2019\\IMG_0001.JPG", "Mare 2019"},
                 {"C:\\IMG.JPG", "C:"},
                 {"\\\\server\\share\\Gite\\a.jpg", "Gite"},
                 {"IMG.JPG", ""},
                 {"/home/anna/Vacanze/x.jpg", "Vacanze"},
                 {"Foto\\Mare/x.jpg", "Mare"},
                 {"\\a.jpg", ""}};
    for (const auto& p : paths) {
        size_t length = 99;
        const char* folder = FolderNameOf(p.Path, &length);
        EXPECT_EQ(std::string(folder, length), p.Folder) << p.Path;
    }
}

void Put16Big(Bytes& to, uint32_t value) {
    to.push_back(static_cast<unsigned char>(value >> 8));
    to.push_back(static_cast<unsigned char>(value));
}

// The APP1 payload of a camera: "Exif\0\0", little-endian TIFF, the first directory pointing to
// the EXIF directory, which holds DateTimeOriginal.
Bytes CameraExif(const std::string& taken) {
    Bytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put16 = [&](uint32_t v) { tiff.push_back(v & 0xFF), tiff.push_back((v >> 8) & 0xFF); };
    auto put32 = [&](uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
    put16(1), put16(0x8769), put16(4), put32(1), put32(26), put32(0);
    put16(1), put16(0x9003), put16(2), put32(20), put32(44), put32(0);
    tiff.insert(tiff.end(), taken.begin(), taken.end());
    tiff.push_back(0);
    Bytes payload = {'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    return payload;
}

// A real PNG of one grey pixel, with an eXIf chunk before or after its pixel data.
Bytes PngWithExif(const Bytes& bareTiff, bool beforePixels) {
    Bytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto chunk = [&](const char* type, const Bytes& data) {
        Put16Big(file, 0), Put16Big(file, static_cast<uint32_t>(data.size()));
        const size_t start = file.size();
        file.insert(file.end(), type, type + 4);
        file.insert(file.end(), data.begin(), data.end());
        const uLong crc = crc32(0, &file[start], static_cast<uInt>(4 + data.size()));
        Put16Big(file, static_cast<uint32_t>(crc >> 16)), Put16Big(file, static_cast<uint32_t>(crc & 0xFFFF));
    };
    chunk("IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 0, 0, 0, 0});  // 1 x 1, 8-bit grey
    const unsigned char row[2] = {0, 128};                   // no filter, one pixel
    Bytes pixels(64);
    uLongf packed = pixels.size();
    EXPECT_EQ(compress(pixels.data(), &packed, row, sizeof row), Z_OK);
    pixels.resize(packed);
    if (beforePixels) chunk("eXIf", bareTiff);
    chunk("IDAT", pixels);
    if (!beforePixels) chunk("eXIf", bareTiff);
    chunk("IEND", {});
    return file;
}

// A file in a folder of its own, last written at noon of the given local day.
std::string PlaceFile(const std::string& folder, const std::string& name, const Bytes& bytes, int year, int month,
                      int day) {
    std::filesystem::create_directories(TmpPath(folder));
    const std::string path = TmpPath(folder + "/" + name);
    EXPECT_TRUE(WriteBytes(path, bytes));
    struct tm noon = {};
    noon.tm_year = year - 1900, noon.tm_mon = month - 1, noon.tm_mday = day, noon.tm_hour = 12, noon.tm_isdst = -1;
    const struct utimbuf times = {mktime(&noon), mktime(&noon)};
    EXPECT_EQ(utime(path.c_str(), &times), 0);
    return path;
}

TEST(CaptionText, FromTheDateTheLoaderReadElseTheDayTheFileWasWritten) {
    const Bytes exif = CameraExif("2019:07:14 10:11:12");
    const Bytes xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', '.', 'a', 'd', 'o', 'b', 'e'};
    const Bytes bareTiff(exif.begin() + 6, exif.end());
    ASSERT_TRUE(MakeJpeg("plain.jpg", 8, 8, ""));
    Bytes plain;
    ASSERT_TRUE(ReadBytes(TmpPath("plain.jpg"), plain));
    const std::string taken = "14 luglio 2019 - Mare d'estate", written = "1 marzo 2021 - Mare d'estate";
    const struct {
        const char* Name;
        Bytes File;
        const std::string& Want;
    } cases[] = {
        {"camera.jpg", reference::WithSegmentsAfterSoi(plain, {{0xE1, exif}}), taken},
        {"xmp-first.jpg", reference::WithSegmentsAfterSoi(plain, {{0xE1, xmp}, {0xE1, exif}}), taken},
        {"no-clock.jpg", reference::WithSegmentsAfterSoi(plain, {{0xE1, CameraExif("0000:00:00 00:00:00")}}), written},
        {"no-exif.jpg", plain, written},
        {"camera.png", PngWithExif(bareTiff, true), taken},
        {"exif-with-mark.png", PngWithExif(exif, true), taken},
        // libpng would read it, but the loader takes its chunks from before the pixels.
        {"late-exif.png", PngWithExif(bareTiff, false), written},
        {"plain.bmp", Bytes(60, 'B'), written},  // no picture: the file's day all the same
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = PlaceFile("Mare d'estate", c.Name, c.File, 2021, 3, 1);
        const Loaded loaded = Take(FindImageLoaderForPath(path.c_str())(path.c_str(), NeverStop));
        EXPECT_EQ(loaded.Image != nullptr, std::string(c.Name) != "plain.bmp") << loaded.Reason;
        char text[CaptionTextSize];
        ASSERT_TRUE(MakeCaption(path.c_str(), loaded.Taken, text));
        EXPECT_EQ(std::string(text), c.Want);
    }
    // A date read needs no file; without one, a file that is not there gives no caption.
    char text[CaptionTextSize];
    EXPECT_TRUE(MakeCaption(TmpPath("Gite/no such file.jpg").c_str(), {2019, 7, 14}, text));
    EXPECT_STREQ(text, "14 luglio 2019 - Gite");
    EXPECT_FALSE(MakeCaption(TmpPath("no such file.jpg").c_str(), {}, text));
    EXPECT_STREQ(text, "");
}

// --- caption place ------------------------------------------------------------------------------

TEST(CaptionPlace, NearTheBottomAndNeverOverThePicturesMiddleThird) {
    const PixelRect screen = {0, 0, 1920, 1080};
    const struct {
        const char* Name;
        PixelRect Area, Picture;
        int32_t LineHeight;
        bool Shown;
        int32_t Top;
    } cases[] = {
        // Half a line's margin under it: 1080 - 27 - 54.
        {"full-screen picture", screen, {0, 0, 1920, 1080}, 54, true, 999},
        {"portrait picture", screen, {656, 0, 1264, 1080}, 54, true, 999},
        {"small picture in the middle", screen, {860, 440, 1060, 640}, 54, true, 999},
        {"a monitor on the right", {1920, 200, 3200, 1224}, {1920, 200, 3200, 1224}, 51, true, 1224 - 25 - 51},
        // The preview: 152 x 112, a line of 12; the middle third ends at 75, the caption's place
        // is 112 - 6 - 12 = 94.
        {"preview", {0, 0, 152, 112}, {0, 0, 152, 112}, 12, true, 94},
        // So low that the line would reach into the middle third: it moves down under it...
        {"tight area, room under the middle third", {0, 0, 100, 36}, {0, 0, 100, 36}, 12, true, 24},
        // ...or, with no room there, is left out.
        {"too tight", {0, 0, 100, 30}, {0, 0, 100, 30}, 12, false, 0},
        {"middle third ends a pixel above", {0, 0, 640, 480}, {0, 0, 640, 659}, 24, true, 444},
        {"middle third ends on the caption", {0, 0, 640, 480}, {0, 0, 640, 666}, 24, true, 444},
        {"middle third one past it", {0, 0, 640, 480}, {0, 0, 640, 667}, 24, true, 445},
        {"middle third reaching the bottom", {0, 0, 640, 480}, {0, 0, 640, 700}, 24, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const CaptionPlace place = PlaceCaption(c.Area, c.Picture, c.LineHeight);
        EXPECT_EQ(place.Shown, c.Shown);
        if (!place.Shown) continue;
        EXPECT_EQ(place.Top, c.Top);
        const int32_t height = c.Picture.Bottom - c.Picture.Top;
        EXPECT_GE(3 * (place.Top - c.Picture.Top), 2 * height) << "over the middle third";
        EXPECT_LE(place.Top + c.LineHeight, c.Area.Bottom);
    }
    EXPECT_EQ(CaptionLineHeight({0, 0, 1920, 1080}), 40);
    EXPECT_EQ(CaptionLineHeight({0, 0, 1024, 768}), 38);
    EXPECT_EQ(CaptionLineHeight({0, 0, 152, 112}), 12);
}

// --- fade ---------------------------------------------------------------------------------------

// What AlphaBlend makes of one channel with a constant alpha and no source alpha.
int Blend(int destination, int source, uint32_t alpha) {
    return (source * static_cast<int>(alpha) + destination * (255 - static_cast<int>(alpha)) + 127) / 255;
}

TEST(Fade, FramesFollowTheCrossFadeAndEndWithTheSlideWhole) {
    EXPECT_EQ(FadeDurationMs(5000), 1000u);
    EXPECT_EQ(FadeDurationMs(60000), 1000u);
    EXPECT_EQ(FadeDurationMs(1000), 500u);
    EXPECT_EQ(FadeDurationMs(1), 0u);
    EXPECT_EQ(FadeDurationMs(0), 0u);
    EXPECT_EQ(FadeDurationMs(-5000), 0u);

    // Frames at the timer's steps, late ones among them, over two pairs of old and new values.
    for (uint32_t step : {static_cast<uint32_t>(FadeFrameMs), 10u, 16u, 47u, 333u}) {
        for (const auto& [from, to] : std::vector<std::pair<int, int>>{{0, 255}, {230, 12}, {90, 100}, {30, 42}}) {
            SCOPED_TRACE(testing::Message() << "step " << step << ", " << from << " to " << to);
            uint32_t shown = 0;
            int screen = from;
            int blended = 0;
            bool done = false;
            for (uint32_t elapsed = step; !done; elapsed += step) {
                const FadeFrame frame = NextFadeFrame(shown, elapsed, FadeMs);
                ASSERT_GE(frame.Shown, shown);
                shown = frame.Shown;
                done = frame.Done;
                if (done) {
                    EXPECT_GE(elapsed, FadeMs);
                    screen = to;  // put up whole
                    break;
                }
                ASSERT_LT(elapsed, FadeMs);
                if (frame.Alpha == 0) continue;
                ASSERT_LT(frame.Alpha, 255u);
                screen = Blend(screen, to, frame.Alpha);
                ++blended;
                const double wanted = from + (to - from) * (elapsed / static_cast<double>(FadeMs));
                // Each blend rounds to whole levels, so a small difference moves late: never more
                // than 8 levels from the straight cross-fade.
                EXPECT_NEAR(screen, wanted, 8.0) << "at " << elapsed << " ms";
            }
            EXPECT_EQ(screen, to);
            if (step == FadeFrameMs) {
                EXPECT_GE(blended, 40) << "a fade of a second in 20 ms frames";
            }
            EXPECT_LE(blended, 51);
        }
    }
}

// --- backdrop -----------------------------------------------------------------------------------

// A bottom-up 24-bit picture, each pixel coloured by (x, y from the top).
template <typename Colour>
PackedDib Painted(int width, int height, Colour colour) {
    PackedDib image = CreatePackedDib(width, height, 24);
    const size_t stride = static_cast<size_t>(DibStride(width, 24));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::array<int, 3> rgb = colour(x, y);
            unsigned char* p = PackedDibBits(image) + stride * (height - 1 - y) + 3 * x;
            p[0] = static_cast<unsigned char>(rgb[2]), p[1] = static_cast<unsigned char>(rgb[1]),
            p[2] = static_cast<unsigned char>(rgb[0]);
        }
    }
    return image;
}

std::array<int, 3> PixelOf(const unsigned char* image, int x, int y) {
    unsigned char rgb[3];
    EXPECT_TRUE(ImagePixel(image, x, y, rgb));
    return {rgb[0], rgb[1], rgb[2]};
}

// The backdrop as the worker makes it, from the fitted picture with its layout.
PackedDib BackdropOf(PackedDib picture, int32_t width, int32_t height) {
    return CheckedBlock(MakeBackdrop(ReadDibPicture(picture), width, height));
}

TEST(Backdrop, TheMiddleOfThePictureCoveringTheAreaBlurredAndDarkened) {
    // A plain picture gives its colour at 40 % everywhere, whatever its depth.
    PackedDib plain = Painted(60, 120, [](int, int) { return std::array<int, 3>{200, 100, 50}; });
    PackedDib indexed = CreatePackedDib(60, 120, 8);
    unsigned char* table = indexed + ReadDibLayout(indexed).colorTableOffset;
    table[4] = 50, table[5] = 100, table[6] = 200;  // entry 1, as blue, green, red
    memset(PackedDibBits(indexed), 1, static_cast<size_t>(DibStride(60, 8)) * 120);
    for (PackedDib picture : {plain, indexed}) {
        PackedDib backdrop = BackdropOf(picture, 320, 240);
        ASSERT_NE(backdrop, nullptr);
        const DibLayout layout = ReadDibLayout(backdrop);
        EXPECT_EQ(layout.width, 320);
        EXPECT_EQ(layout.height, 240);
        EXPECT_EQ(layout.bitCount, 24);
        for (int y = 0; y < 240; y += 7)
            for (int x = 0; x < 320; x += 5) ASSERT_EQ(PixelOf(backdrop, x, y), (std::array<int, 3>{80, 40, 20}));
        free(backdrop);
    }
    free(indexed);

    // A portrait picture red at the top, green in the middle, blue at the bottom: the area's
    // shape taken from its middle is all green, so no red or blue reaches the backdrop.
    PackedDib bands = Painted(40, 240, [](int, int y) {
        return y < 90 ? std::array<int, 3>{250, 0, 0}
                      : (y < 150 ? std::array<int, 3>{0, 250, 0} : std::array<int, 3>{0, 0, 250});
    });
    PackedDib backdrop = BackdropOf(bands, 320, 240);
    ASSERT_NE(backdrop, nullptr);
    for (int y = 0; y < 240; y += 3)
        for (int x = 0; x < 320; x += 3) ASSERT_EQ(PixelOf(backdrop, x, y), (std::array<int, 3>{0, 100, 0}));
    free(backdrop);
    free(bands);

    // White on the left, black on the right: the backdrop runs smoothly from 40 % white at the
    // left edge to black at the right, the same on every row.
    PackedDib halves = Painted(160, 60, [](int x, int) {
        return x < 80 ? std::array<int, 3>{255, 255, 255} : std::array<int, 3>{0, 0, 0};
    });
    backdrop = BackdropOf(halves, 320, 240);
    ASSERT_NE(backdrop, nullptr);
    EXPECT_EQ(PixelOf(backdrop, 0, 0)[0], 102);
    EXPECT_EQ(PixelOf(backdrop, 319, 239)[0], 0);
    int biggestStep = 0;
    for (int x = 1; x < 320; ++x) {
        const int left = PixelOf(backdrop, x - 1, 100)[0], here = PixelOf(backdrop, x, 100)[0];
        ASSERT_LE(here, left) << "at " << x;
        biggestStep = std::max(biggestStep, left - here);
        for (int y : {0, 239}) ASSERT_EQ(PixelOf(backdrop, x, y), PixelOf(backdrop, x, 100));
    }
    EXPECT_LE(biggestStep, 3) << "a hard edge, not a blur";
    free(backdrop);
    free(halves);

    // None beside a picture that fills the area; one beside a picture that fills it one way only.
    PackedDib full = Painted(320, 240, [](int, int) { return std::array<int, 3>{1, 2, 3}; });
    EXPECT_EQ(BackdropOf(full, 320, 240), nullptr);
    EXPECT_EQ(BackdropOf(nullptr, 320, 240), nullptr);
    backdrop = BackdropOf(full, 321, 240);
    EXPECT_NE(backdrop, nullptr);
    free(backdrop);
    free(full);
    // An area smaller than one cell still gets its one cell.
    PackedDib tiny = Painted(3, 5, [](int, int) { return std::array<int, 3>{100, 100, 100}; });
    backdrop = BackdropOf(tiny, 10, 7);
    ASSERT_NE(backdrop, nullptr);
    EXPECT_EQ(PixelOf(backdrop, 9, 6), (std::array<int, 3>{40, 40, 40}));
    free(backdrop);
    free(tiny);
    free(plain);
}

}  // namespace
