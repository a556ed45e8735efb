#include "slideshow/file_type_table.h"

#include <gtest/gtest.h>

#include <cstring>

#include "imaging/bmp_loader.h"
#include "imaging/jpeg_decoder.h"
#include "imaging/png_loader.h"
#include "imaging/webp_loader.h"

namespace {

TEST(FileTypeTable, ExtensionOfTheWholePathDecides) {
    const struct {
        const char* path;
        ImageLoader loader;
    } cases[] = {
        {"C:\\Pictures\\sun.bmp", LoadBmpFile},
        {"C:\\Pictures\\IMAGE.Bmp", LoadBmpFile},
        {"C:\\Pictures\\Photo.JPG", LoadJpegFile},
        {"C:\\Pictures\\moon.JPEG", LoadJpegFile},
        {"C:\\Pictures\\old.jpg", LoadJpegFile},  // a directory named so is still handed to the loader
        {"C:\\Pictures\\.bmp", LoadBmpFile},
        {"C:\\Pictures\\Scan.PNG", LoadPngFile},
        {"C:\\Pictures\\scan.png", LoadPngFile},
        {"C:\\Pictures\\scan.apng", nullptr},
        {"C:\\Pictures\\Download.WebP", LoadWebpFile},
        {"C:\\Pictures\\archive.jpg.bak", nullptr},
        {"C:\\Pictures\\readme", nullptr},
        {"C:\\My.Pictures\\readme", nullptr},  // the extension ".Pictures\readme" matches no row
        {"C:\\Pictures\\.", nullptr},
        {"C:\\Pictures\\..", nullptr},
        {"C:\\Pictures\\photo.jpe", nullptr},
        {"C:\\Pictures\\photo.jpgg", nullptr},
        {"C:\\Pictures\\photo.bm", nullptr},
        {"C:\\Pictures\\photo.", nullptr},
        {"/home/pictures/sun.bMp", LoadBmpFile},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(FindImageLoaderForPath(c.path), c.loader);
    }
}

TEST(FileTypeTable, RowsInTheirOrder) {
    EXPECT_STREQ(FileTypeTable[0].Extension, ".bmp");
    EXPECT_STREQ(FileTypeTable[1].Extension, ".jpg");
    EXPECT_STREQ(FileTypeTable[2].Extension, ".jpeg");
    EXPECT_STREQ(FileTypeTable[3].Extension, ".png");
    EXPECT_STREQ(FileTypeTable[4].Extension, ".webp");
    EXPECT_EQ(FindImageLoader(".JPEG"), LoadJpegFile);
    EXPECT_EQ(FindImageLoader("jpg"), nullptr);  // the dot belongs to the extension
}

}  // namespace

namespace {

// Kinds only Windows' imaging component decodes are known here too, so that the tools say why they
// give no picture; anything else stays no picture at all.
TEST(FileTypeTable, KindsWindowsDecodesSaySoElsewhere) {
    for (const char* path : {"IMG_0001.HEIC", "photo.avif", "scan.tif", "scan.TIFF", "anim.gif", "raw.CR2"}) {
        SCOPED_TRACE(path);
        const ImageLoader loader = FindImageLoaderForPath(path);
        ASSERT_NE(loader, nullptr);
        const LoadResult result = loader(path, NeverStop);
        EXPECT_EQ(result.Image, nullptr);
        EXPECT_EQ(result.Failure, LoadFailure::WicLackingHere) << result.Reason;
    }
    EXPECT_EQ(FindImageLoaderForPath("notes.txt"), nullptr);
    EXPECT_EQ(FindImageLoaderInTable(".gif"), nullptr);
}

}  // namespace
