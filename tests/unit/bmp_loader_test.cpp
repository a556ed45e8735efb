// Large-file interfaces: a 32-bit readdir on a 64-bit file system can fail on its 64-bit offsets.
#define _FILE_OFFSET_BITS 64

#include "imaging/bmp_loader.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <map>
#include <set>

#include "image_test_files.h"

namespace {

using namespace image_test;

std::vector<std::string> ListBmpFiles(const std::string& directory) {
    std::vector<std::string> names;
    DIR* listing = opendir(directory.c_str());
    if (!listing) return names;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".bmp") == 0) names.push_back(name);
    }
    closedir(listing);
    return names;
}

std::string SuitePath(const std::string& kind, const std::string& name) {
    return std::string(SAVER_TEST_DATA) + "/bmpsuite/" + kind + "/" + name;
}

Bytes BodyOf(const std::string& path) {
    Bytes file;
    EXPECT_TRUE(ReadBytes(path, file)) << path;
    return file.size() > 14 ? Bytes(file.begin() + 14, file.end()) : Bytes();
}

// Reads every byte that drawing the image reads (the rows, or the run-length data), so that a
// block shorter than its header says trips AddressSanitizer, and checks the count against the
// block size the loader reported.
void ExpectDrawable(const unsigned char* image, size_t blockSize) {
    const DibLayout layout = ReadDibLayout(image);
    ASSERT_GT(layout.width, 0);
    ASSERT_GT(layout.height, 0) << "rows must be bottom-up";
    const bool runLength = layout.compression == DibCompressionRle8 || layout.compression == DibCompressionRle4;
    const uint64_t rowBytes =
        runLength ? PackedDibHeader(image)->biSizeImage : DibStride(layout.width, layout.bitCount) * layout.height;
    ASSERT_LE(layout.bitsOffset + rowBytes, blockSize);
    unsigned sum = 0;
    for (uint64_t i = 0; i < layout.bitsOffset + rowBytes; ++i) sum += image[i];
    EXPECT_GE(sum, 0u);
}

TEST(BmpLoader, GoodSuiteFilesLoadByteForByte) {
    // A top-down file comes back turned bottom-up: the same block as its bottom-up twin.
    const std::map<std::string, std::string> twins = {{"pal8topdown.bmp", "pal8.bmp"}};
    const std::vector<std::string> names = ListBmpFiles(std::string(SAVER_TEST_DATA) + "/bmpsuite/g");
    ASSERT_GE(names.size(), 20u);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const auto twin = twins.find(name);
        const Bytes expected = BodyOf(SuitePath("g", twin == twins.end() ? name : twin->second));
        const Loaded loaded = Take(LoadBmpFile(SuitePath("g", name).c_str(), NeverStop));
        const ImagePtr& image = loaded.Image;
        ASSERT_NE(image, nullptr) << loaded.Reason;
        EXPECT_EQ(loaded.Failure, LoadFailure::None);
        ASSERT_EQ(loaded.BlockSize, expected.size());
        EXPECT_EQ(memcmp(image.get(), expected.data(), expected.size()), 0);
        ExpectDrawable(image.get(), loaded.BlockSize);
    }
}

TEST(BmpLoader, BadSuiteFilesGiveNoneOrLoadSafely) {
    // "" marks the files whose faults lie in what no reader of the block depends on (density,
    // file size, image size of uncompressed rows, pixel values and run-length codes, which the
    // drawing call checks itself).
    const std::map<std::string, LoadFailure> verdicts = {
        {"badbitcount.bmp", LoadFailure::UnsupportedBitCount},
        {"badbitssize.bmp", LoadFailure::None},
        {"baddens1.bmp", LoadFailure::None},
        {"baddens2.bmp", LoadFailure::None},
        {"badfilesize.bmp", LoadFailure::None},
        {"badheadersize.bmp", LoadFailure::UnsupportedHeaderSize},
        {"badpalettesize.bmp", LoadFailure::ColourTableLargerThanBitCount},
        {"badplanes.bmp", LoadFailure::PlanesNotOne},
        {"badrle.bmp", LoadFailure::None},
        {"badwidth.bmp", LoadFailure::WidthNotPositive},
        {"pal8badindex.bmp", LoadFailure::None},
        {"reallybig.bmp", LoadFailure::ImageTooLarge},
        {"rletopdown.bmp", LoadFailure::TopDownRunLength},
        {"shortfile.bmp", LoadFailure::FileTooShortForRows},
    };
    const std::vector<std::string> names = ListBmpFiles(std::string(SAVER_TEST_DATA) + "/bmpsuite/b");
    ASSERT_EQ(names.size(), verdicts.size());
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        ASSERT_EQ(verdicts.count(name), 1u);
        const LoadFailure failure = verdicts.at(name);
        const Loaded loaded = Take(LoadBmpFile(SuitePath("b", name).c_str(), NeverStop));
        const ImagePtr& image = loaded.Image;
        EXPECT_EQ(loaded.Failure, failure);
        EXPECT_EQ(image == nullptr, failure != LoadFailure::None);
        if (image) ExpectDrawable(image.get(), loaded.BlockSize);
    }
}

TEST(BmpLoader, QuestionableSuiteFilesGiveNoneOrTheirBodyUnchanged) {
    const std::vector<std::string> names = ListBmpFiles(std::string(SAVER_TEST_DATA) + "/bmpsuite/q");
    ASSERT_GE(names.size(), 20u);
    int loadedCount = 0;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const Loaded loaded = Take(LoadBmpFile(SuitePath("q", name).c_str(), NeverStop));
        const ImagePtr& image = loaded.Image;
        if (!image) {
            EXPECT_NE(loaded.Failure, LoadFailure::None);
            continue;
        }
        ++loadedCount;
        const Bytes body = BodyOf(SuitePath("q", name));
        ASSERT_EQ(loaded.BlockSize, body.size());
        EXPECT_EQ(memcmp(image.get(), body.data(), body.size()), 0);
        ExpectDrawable(image.get(), loaded.BlockSize);
    }
    EXPECT_GE(loadedCount, names.size() / 2);
}

// A BMP file built field by field. The body holds what the header describes, then extraBytes more
// (fewer when negative).
struct BmpFields {
    uint32_t headerSize = 40;
    int32_t width = 5;
    int32_t height = 3;
    uint16_t planes = 1;
    uint16_t bits = 24;
    uint32_t compression = DibCompressionRgb;
    uint32_t sizeImage = 0;
    uint32_t clrUsed = 0;
    int64_t extraBytes = 0;
};

void PutLe(Bytes& bytes, size_t at, uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

Bytes MakeBmp(const BmpFields& fields) {
    const bool core = fields.headerSize == 12;
    Bytes body(core || fields.headerSize >= 40 ? fields.headerSize : 40, 0);
    PutLe(body, 0, fields.headerSize, 4);
    if (core) {
        PutLe(body, 4, static_cast<uint16_t>(fields.width), 2);
        PutLe(body, 6, static_cast<uint16_t>(fields.height), 2);
        PutLe(body, 8, fields.planes, 2);
        PutLe(body, 10, fields.bits, 2);
    } else {
        PutLe(body, 4, static_cast<uint32_t>(fields.width), 4);
        PutLe(body, 8, static_cast<uint32_t>(fields.height), 4);
        PutLe(body, 12, fields.planes, 2);
        PutLe(body, 14, fields.bits, 2);
        PutLe(body, 16, fields.compression, 4);
        PutLe(body, 20, fields.sizeImage, 4);
        PutLe(body, 32, fields.clrUsed, 4);
    }
    const size_t headerEnd = body.size();
    size_t tail = 0;
    if (fields.headerSize == 40 && fields.compression == DibCompressionBitfields) tail += 12;
    if (fields.headerSize == 40 && fields.compression == DibCompressionAlphaBitfields) tail += 16;
    const uint64_t entries = !core && fields.clrUsed ? fields.clrUsed : DefaultColorCount(fields.bits);
    if (entries <= 0x10000) tail += static_cast<size_t>(entries) * (core ? 3 : 4);
    const bool runLength = fields.compression == DibCompressionRle8 || fields.compression == DibCompressionRle4;
    const uint64_t rows =
        runLength ? fields.sizeImage
                  : DibStride(fields.width > 0 ? fields.width : 0, fields.bits) *
                        static_cast<uint64_t>(fields.height < 0 ? -static_cast<int64_t>(fields.height) : fields.height);
    if (rows < (1u << 24)) tail += static_cast<size_t>(rows);  // larger ones are never read
    int64_t size = static_cast<int64_t>(body.size() + tail) + fields.extraBytes;
    if (size < 0) size = 0;
    body.resize(static_cast<size_t>(size));
    for (size_t i = headerEnd; i < body.size(); ++i) body[i] = static_cast<unsigned char>(i * 7 + 13);
    Bytes file(14 + body.size(), 0);
    file[0] = 'B';
    file[1] = 'M';
    PutLe(file, 2, file.size(), 4);
    std::copy(body.begin(), body.end(), file.begin() + 14);
    return file;
}

TEST(BmpLoader, HeaderRules) {
    struct Case {
        const char* name;
        BmpFields fields;
        LoadFailure failure;  // None for a file that loads
    };
    auto fields = [](auto change) {
        BmpFields s;
        change(s);
        return s;
    };
    // One case a line: the field changed, then the verdict.
    // clang-format off
    const Case cases[] = {
        {"plain 24-bit", fields([](BmpFields&) {}), LoadFailure::None},
        {"core header", fields([](BmpFields& s) { s.headerSize = 12; s.bits = 8; }), LoadFailure::None},
        {"52-byte header", fields([](BmpFields& s) { s.headerSize = 52; s.bits = 16; s.compression = 3; }), LoadFailure::None},
        {"56-byte header", fields([](BmpFields& s) { s.headerSize = 56; s.bits = 32; s.compression = 3; }), LoadFailure::None},
        {"OS/2 2.x header", fields([](BmpFields& s) { s.headerSize = 64; s.bits = 4; }), LoadFailure::None},
        {"108-byte header", fields([](BmpFields& s) { s.headerSize = 108; s.bits = 1; }), LoadFailure::None},
        {"124-byte header", fields([](BmpFields& s) { s.headerSize = 124; s.bits = 32; }), LoadFailure::None},
        {"header size 41", fields([](BmpFields& s) { s.headerSize = 41; }), LoadFailure::UnsupportedHeaderSize},
        {"header size 16", fields([](BmpFields& s) { s.headerSize = 16; }), LoadFailure::UnsupportedHeaderSize},
        {"width 0", fields([](BmpFields& s) { s.width = 0; }), LoadFailure::WidthNotPositive},
        {"negative width", fields([](BmpFields& s) { s.width = -5; }), LoadFailure::WidthNotPositive},
        {"core width 0", fields([](BmpFields& s) { s.headerSize = 12; s.width = 0; }), LoadFailure::WidthNotPositive},
        {"height 0", fields([](BmpFields& s) { s.height = 0; }), LoadFailure::HeightIsZero},
        {"two planes", fields([](BmpFields& s) { s.planes = 2; }), LoadFailure::PlanesNotOne},
        {"2 bits", fields([](BmpFields& s) { s.bits = 2; }), LoadFailure::UnsupportedBitCount},
        {"0 bits", fields([](BmpFields& s) { s.bits = 0; }), LoadFailure::UnsupportedBitCount},
        {"64 bits", fields([](BmpFields& s) { s.bits = 64; }), LoadFailure::UnsupportedBitCount},
        {"core 32 bits", fields([](BmpFields& s) { s.headerSize = 12; s.bits = 32; }), LoadFailure::UnsupportedBitCount},
        {"RLE8 of 8 bits", fields([](BmpFields& s) { s.bits = 8; s.compression = 1; s.sizeImage = 10; }), LoadFailure::None},
        {"RLE4 of 4 bits", fields([](BmpFields& s) { s.bits = 4; s.compression = 2; s.sizeImage = 10; }), LoadFailure::None},
        {"RLE8 of 4 bits", fields([](BmpFields& s) { s.bits = 4; s.compression = 1; s.sizeImage = 10; }), LoadFailure::CompressionDoesNotFitBitCount},
        {"RLE4 of 8 bits", fields([](BmpFields& s) { s.bits = 8; s.compression = 2; s.sizeImage = 10; }), LoadFailure::CompressionDoesNotFitBitCount},
        {"bit fields of 16 bits", fields([](BmpFields& s) { s.bits = 16; s.compression = 3; }), LoadFailure::None},
        {"alpha bit fields of 32 bits", fields([](BmpFields& s) { s.bits = 32; s.compression = 6; }), LoadFailure::None},
        {"bit fields of 24 bits", fields([](BmpFields& s) { s.compression = 3; }), LoadFailure::CompressionDoesNotFitBitCount},
        {"OS/2 Huffman", fields([](BmpFields& s) { s.headerSize = 64; s.bits = 16; s.compression = 3; }), LoadFailure::CompressionDoesNotFitBitCount},
        {"JPEG body", fields([](BmpFields& s) { s.compression = 4; }), LoadFailure::CompressionDoesNotFitBitCount},
        {"PNG body", fields([](BmpFields& s) { s.compression = 5; }), LoadFailure::CompressionDoesNotFitBitCount},
        {"compression 7", fields([](BmpFields& s) { s.compression = 7; }), LoadFailure::CompressionDoesNotFitBitCount},
        {"full 8-bit table", fields([](BmpFields& s) { s.bits = 8; s.clrUsed = 256; }), LoadFailure::None},
        {"8-bit table of 257", fields([](BmpFields& s) { s.bits = 8; s.clrUsed = 257; }), LoadFailure::ColourTableLargerThanBitCount},
        {"1-bit table of 3", fields([](BmpFields& s) { s.bits = 1; s.clrUsed = 3; }), LoadFailure::ColourTableLargerThanBitCount},
        {"24-bit table of 65535", fields([](BmpFields& s) { s.clrUsed = 65535; }), LoadFailure::None},
        {"24-bit table of 65536", fields([](BmpFields& s) { s.clrUsed = 65536; }), LoadFailure::ColourTableTooLarge},
        {"24-bit table of 2^32-1", fields([](BmpFields& s) { s.clrUsed = 0xFFFFFFFFu; }), LoadFailure::ColourTableTooLarge},
        {"table cut short", fields([](BmpFields& s) { s.bits = 8; s.height = 1; s.width = 1; s.extraBytes = -5; }), LoadFailure::FileTooShortForColourTable},
        {"masks cut short", fields([](BmpFields& s) { s.bits = 16; s.compression = 3; s.width = 1; s.height = 1; s.extraBytes = -5; }), LoadFailure::FileTooShortForColourTable},
        {"rows one byte short", fields([](BmpFields& s) { s.extraBytes = -1; }), LoadFailure::FileTooShortForRows},
        {"no rows at all", fields([](BmpFields& s) { s.bits = 8; s.extraBytes = -8 * 3; }), LoadFailure::FileTooShortForRows},
        {"header cut short", fields([](BmpFields& s) { s.headerSize = 124; s.extraBytes = -200; }), LoadFailure::FileTooShortForHeader},
        {"run length of 0 bytes", fields([](BmpFields& s) { s.bits = 8; s.compression = 1; s.sizeImage = 0; }), LoadFailure::RunLengthSizeDoesNotFit},
        {"run length past the end", fields([](BmpFields& s) { s.bits = 8; s.compression = 1; s.sizeImage = 10; s.extraBytes = -1; }), LoadFailure::RunLengthSizeDoesNotFit},
        {"top-down run length", fields([](BmpFields& s) { s.bits = 8; s.compression = 1; s.sizeImage = 10; s.height = -3; }), LoadFailure::TopDownRunLength},
        // Run-length data pays a byte for every 255 pixels past 16 M: 40000² needs 6.2 MB.
        {"1 KB of run length for 40000 x 40000", fields([](BmpFields& s) { s.bits = 8; s.compression = 1; s.sizeImage = 1024; s.width = 40000; s.height = 40000; }), LoadFailure::FileTooShortForSize},
        {"RLE4 of 70 KB for 4096 x 8192", fields([](BmpFields& s) { s.bits = 4; s.compression = 2; s.sizeImage = 70000; s.width = 4096; s.height = 8192; }), LoadFailure::None},
        {"run length too large to draw", fields([](BmpFields& s) { s.bits = 8; s.compression = 1; s.sizeImage = 10; s.width = 70000; s.height = 70000; }), LoadFailure::ImageTooLarge},
        {"bits × width overflows", fields([](BmpFields& s) { s.bits = 32; s.width = 0x7FFFFFFF / 32 + 1; s.height = 1; }), LoadFailure::ImageTooLarge},
        {"rows beyond 2 GB", fields([](BmpFields& s) { s.width = 65536; s.height = 65536; }), LoadFailure::ImageTooLarge},
        {"top-down beyond 2 GB", fields([](BmpFields& s) { s.width = 1; s.height = INT_MIN; }), LoadFailure::ImageTooLarge},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = TmpPath("rule.bmp");
        const Bytes file = MakeBmp(c.fields);
        ASSERT_TRUE(WriteBytes(path, file));
        const Loaded loaded = Take(LoadBmpFile(path.c_str(), NeverStop));
        const ImagePtr& image = loaded.Image;
        EXPECT_EQ(loaded.Failure, c.failure);
        ASSERT_EQ(image == nullptr, c.failure != LoadFailure::None);
        if (!image) continue;
        EXPECT_EQ(loaded.BlockSize, file.size() - 14);
        ExpectDrawable(image.get(), loaded.BlockSize);
    }
}

TEST(BmpLoader, TopDownFilesAreTurnedBottomUp) {
    for (const BmpFields base : {BmpFields{40, 5, -3, 1, 24, 0, 0, 0, 7}, BmpFields{40, 2, -4, 1, 32, 3, 0, 0, 0},
                                 BmpFields{124, 9, -1, 1, 8, 0, 0, 0, 0}, BmpFields{40, 33, -2, 1, 1, 0, 0, 0, 3}}) {
        SCOPED_TRACE(testing::Message() << base.headerSize << "/" << base.bits << "/" << base.height);
        const std::string path = TmpPath("topdown.bmp");
        const Bytes file = MakeBmp(base);
        ASSERT_TRUE(WriteBytes(path, file));
        const Loaded loaded = Take(LoadBmpFile(path.c_str(), NeverStop));
        const ImagePtr& image = loaded.Image;
        ASSERT_NE(image, nullptr) << loaded.Reason;
        const Bytes body(file.begin() + 14, file.end());
        ASSERT_EQ(loaded.BlockSize, body.size());
        const DibLayout layout = ReadDibLayout(image.get());
        EXPECT_EQ(layout.height, -base.height);
        EXPECT_EQ(PackedDibHeader(image.get())->biWidth, base.width);
        // Everything but the height field and the rows is untouched, trailing bytes included.
        EXPECT_EQ(memcmp(image.get(), body.data(), 8), 0);
        EXPECT_EQ(memcmp(image.get() + 12, body.data() + 12, layout.bitsOffset - 12), 0);
        const size_t stride = static_cast<size_t>(DibStride(base.width, base.bits));
        const int rows = -base.height;
        for (int row = 0; row < rows; ++row) {
            EXPECT_EQ(memcmp(image.get() + layout.bitsOffset + row * stride,
                             body.data() + layout.bitsOffset + (rows - 1 - row) * stride, stride),
                      0)
                << "row " << row;
        }
        const size_t rowsEnd = layout.bitsOffset + stride * rows;
        EXPECT_EQ(memcmp(image.get() + rowsEnd, body.data() + rowsEnd, body.size() - rowsEnd), 0);
    }
}

TEST(BmpLoader, ALargeBodyIsReadInPiecesAndCanBeStoppedBetweenThem) {
    BmpFields fields;
    fields.width = 2000;
    fields.height = 1500;  // 9 MB of rows: three pieces
    const Bytes file = MakeBmp(fields);
    const std::string path = TmpPath("large.bmp");
    ASSERT_TRUE(WriteBytes(path, file));
    QuestionCounter never = {0, 0};
    const Loaded whole = Take(LoadBmpFile(path.c_str(), CountingControl(&never)));
    ASSERT_NE(whole.Image, nullptr) << whole.Reason;
    EXPECT_EQ(memcmp(whole.Image.get(), file.data() + 14, file.size() - 14), 0);
    EXPECT_EQ(never.Asked, 2);
    const int freeBefore = LowestFreeDescriptor();
    for (int at : {1, 2}) {
        QuestionCounter question = {0, at};
        const Loaded cut = Take(LoadBmpFile(path.c_str(), CountingControl(&question)));
        EXPECT_TRUE(cut.CutShort);
        EXPECT_EQ(cut.Image, nullptr);
        EXPECT_EQ(cut.Failure, LoadFailure::CutShort);
        EXPECT_EQ(LowestFreeDescriptor(), freeBefore);
    }
}

TEST(BmpLoader, BytesThatTextModeWouldChangeSurvive) {
    BmpFields fields;
    fields.width = 16;
    fields.height = 4;
    Bytes file = MakeBmp(fields);
    const unsigned char awkward[] = {0x0D, 0x0A, 0x1A, 0x0A, 0x0D, 0x00, 0x1A, 0x1A};
    memcpy(&file[54], awkward, sizeof awkward);
    memcpy(&file[file.size() - sizeof awkward], awkward, sizeof awkward);
    const std::string path = TmpPath("awkward.bmp");
    ASSERT_TRUE(WriteBytes(path, file));
    const Loaded loaded = Take(LoadBmpFile(path.c_str(), NeverStop));
    const ImagePtr& image = loaded.Image;
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(loaded.BlockSize, file.size() - 14);
    EXPECT_EQ(memcmp(image.get(), file.data() + 14, file.size() - 14), 0);
}

TEST(BmpLoader, FilesThatAreNotBmpGiveNoneAndAreClosed) {
    BmpFields fields;
    Bytes lowerCase = MakeBmp(fields);
    lowerCase[0] = 'b';
    lowerCase[1] = 'm';
    const Bytes jpegStart = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    Bytes headerOnly(14, 0);
    headerOnly[0] = 'B';
    headerOnly[1] = 'M';
    const struct {
        const char* name;
        Bytes file;
        LoadFailure failure;
    } cases[] = {
        {"empty", {}, LoadFailure::NotBmp},
        {"one byte", {'B'}, LoadFailure::NotBmp},
        {"signature only", {'B', 'M'}, LoadFailure::FileTooShortForHeader},
        {"file header only", headerOnly, LoadFailure::FileTooShortForHeader},
        {"lower-case signature", lowerCase, LoadFailure::NotBmp},
        {"a JPEG named .bmp", jpegStart, LoadFailure::NotBmp},
    };
    const int freeBefore = LowestFreeDescriptor();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = TmpPath("notbmp.bmp");
        ASSERT_TRUE(WriteBytes(path, c.file));
        const Loaded loaded = Take(LoadBmpFile(path.c_str(), NeverStop));
        EXPECT_EQ(loaded.Image, nullptr);
        EXPECT_EQ(loaded.Failure, c.failure);
        EXPECT_EQ(LowestFreeDescriptor(), freeBefore);
    }
    const Loaded missing = Take(LoadBmpFile(TmpPath("no such file.bmp").c_str(), NeverStop));
    EXPECT_EQ(missing.Image, nullptr);
    EXPECT_EQ(missing.Failure, LoadFailure::CannotOpen);
    EXPECT_EQ(Take(LoadBmpFile(SAVER_TEST_TMP, NeverStop)).Image, nullptr);  // a directory
}

}  // namespace
