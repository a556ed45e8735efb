#include "imaging/exif_orientation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image_test_files.h"
#include "imaging/jpeg_decoder.h"
#include "render/picture_turn.h"

namespace {

using namespace image_test;

enum : uint16_t { Ascii = 2, Short = 3, Long = 4, Rational = 5 };

struct Entry {
    uint16_t Tag, Type;
    uint32_t Count, Value;  // a single SHORT sits in the value field's first two bytes
};

Entry Orientation(uint32_t value) { return {0x0112, Short, 1, value}; }

void Put16(Bytes& to, const char* order, uint32_t value) {
    const unsigned char high = static_cast<unsigned char>(value >> 8), low = static_cast<unsigned char>(value);
    to.push_back(order[0] == 'M' ? high : low);
    to.push_back(order[0] == 'M' ? low : high);
}

void Put32(Bytes& to, const char* order, uint32_t value) {
    Put16(to, order, order[0] == 'M' ? value >> 16 : value & 0xFFFF);
    Put16(to, order, order[0] == 'M' ? value & 0xFFFF : value >> 16);
}

// An APP1 payload: "Exif\0\0", a TIFF header in the byte order given ("II" or "MM", or a wrong
// mark, written little-endian), the first directory at its offset (8 or more), then a zero link
// to the next directory.
Bytes ExifPayload(const char* order, const std::vector<Entry>& entries, uint32_t directory = 8, int entryCount = -1,
                  uint32_t magic = 42) {
    Bytes payload = {
        'E', 'x', 'i', 'f', 0, 0, static_cast<unsigned char>(order[0]), static_cast<unsigned char>(order[1])};
    Put16(payload, order, magic);
    Put32(payload, order, directory);
    payload.resize(6 + directory, 0);
    Put16(payload, order, entryCount >= 0 ? static_cast<uint32_t>(entryCount) : static_cast<uint32_t>(entries.size()));
    for (const Entry& e : entries) {
        Put16(payload, order, e.Tag);
        Put16(payload, order, e.Type);
        Put32(payload, order, e.Count);
        if (e.Type == Short && e.Count == 1) {
            Put16(payload, order, e.Value);
            Put16(payload, order, 0);
        } else {
            Put32(payload, order, e.Value);
        }
    }
    Put32(payload, order, 0);
    return payload;
}

// The payload with its header pointing elsewhere for the first directory.
Bytes WithDirectoryOffset(Bytes payload, const char* order, uint32_t directory) {
    Bytes field;
    Put32(field, order, directory);
    std::copy(field.begin(), field.end(), payload.begin() + 10);
    return payload;
}

Bytes Xmp() {
    const char start[] = "http://ns.adobe.com/xap/1.0/";
    return Bytes(start, start + sizeof start);
}

// The reader on exactly these bytes, in a block of their size: a read past them trips ASan.
uint8_t OrientationOf(const Bytes& payload, size_t length) {
    const Bytes exact(payload.begin(), payload.begin() + static_cast<long>(length));
    return ExifOrientation(exact.empty() ? nullptr : exact.data(), exact.size());
}

TEST(ExifOrientation, FirstDirectoryGivesTheValueAndAnythingAmissGivesOne) {
    struct Case {
        std::string name;
        Bytes payload;
        int want;
    };
    std::vector<Case> cases;
    for (const char* order : {"II", "MM"}) {
        const std::string o = order;
        for (uint32_t value = 0; value <= 9; ++value) {
            cases.push_back({o + " value " + std::to_string(value), ExifPayload(order, {Orientation(value)}),
                             value >= 2 && value <= 8 ? static_cast<int>(value) : 1});
        }
        cases.push_back({o + " value 0x0106", ExifPayload(order, {Orientation(0x0106)}), 1});
        // As cameras write it: make and model, the orientation, resolutions, the link to the EXIF
        // directory; values that do not fit four bytes lie after the directory.
        const std::vector<Entry> camera = {
            {0x010F, Ascii, 6, 90},     {0x0110, Ascii, 12, 96}, Orientation(6),        {0x011A, Rational, 1, 108},
            {0x011B, Rational, 1, 116}, {0x0128, Short, 1, 2},   {0x8769, Long, 1, 124}};
        cases.push_back({o + " camera directory", ExifPayload(order, camera), 6});
        cases.push_back(
            {o + " entries out of tag order", ExifPayload(order, {{0x8769, Long, 1, 60}, Orientation(8)}), 8});
        cases.push_back({o + " directory after a gap", ExifPayload(order, {Orientation(5)}, 40), 5});
        cases.push_back({o + " as LONG", ExifPayload(order, {{0x0112, Long, 1, 6}}), 1});
        cases.push_back({o + " as ASCII", ExifPayload(order, {{0x0112, Ascii, 1, 6}}), 1});
        cases.push_back({o + " count 2", ExifPayload(order, {{0x0112, Short, 2, 6}}), 1});
        cases.push_back({o + " count 0", ExifPayload(order, {{0x0112, Short, 0, 6}}), 1});
        cases.push_back({o + " no entries", ExifPayload(order, {}), 1});
        cases.push_back({o + " magic 43", ExifPayload(order, {Orientation(6)}, 8, -1, 43), 1});
        cases.push_back({o + " magic in the other order", ExifPayload(order, {Orientation(6)}, 8, -1, 0x2A00), 1});
        // The payload's TIFF part is 8 + 2 + 12 + 4 = 26 bytes.
        for (uint32_t directory : {0u, 4u, 7u, 24u, 25u, 26u, 0x7FFFFFFFu, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
            cases.push_back({o + " directory at " + std::to_string(directory),
                             WithDirectoryOffset(ExifPayload(order, {Orientation(6)}), order, directory), 1});
        }
        cases.push_back({o + " one entry more than there is room for", ExifPayload(order, {Orientation(6)}, 8, 2), 1});
        cases.push_back({o + " 65535 entries", ExifPayload(order, {Orientation(6)}, 8, 0xFFFF), 1});
    }
    // Read from offset 4, the header's own offset field says 4 entries, the second of them being
    // the orientation of the directory at 16.
    const std::vector<Entry> three = {Orientation(6), {0x0128, Short, 1, 2}, {0x0128, Short, 1, 2}};
    cases.push_back({"II directory inside the header, entries past it",
                     WithDirectoryOffset(ExifPayload("II", three, 16), "II", 4), 1});
    Bytes mark = ExifPayload("IM", {Orientation(6)});
    cases.push_back({"byte-order mark IM", mark, 1});
    mark[6] = mark[7] = 'i';
    cases.push_back({"byte-order mark ii", mark, 1});
    Bytes header = ExifPayload("II", {Orientation(6)});
    header[5] = 'x';
    cases.push_back({"header Exif\\0x", header, 1});
    cases.push_back({"XMP", Xmp(), 1});
    cases.push_back({"nothing", Bytes(), 1});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(OrientationOf(c.payload, c.payload.size()), c.want);
    }
}

TEST(ExifOrientation, PayloadCutAnywhereBeforeTheEntryEndsGivesOne) {
    for (const char* order : {"II", "MM"}) {
        const Bytes payload = ExifPayload(order, {Orientation(7)});
        const size_t entryEnd = 6 + 8 + 2 + 12;  // the link after it is not needed
        for (size_t length = 0; length <= payload.size(); ++length) {
            SCOPED_TRACE(testing::Message() << order << " cut to " << length);
            EXPECT_EQ(OrientationOf(payload, length), length >= entryEnd ? 7 : 1);
        }
    }
}

// A payload whose first directory points (0x8769) to an EXIF directory right after it, holding
// DateTimeOriginal as count characters of text (terminator included) stored after that directory.
Bytes DatedPayload(const char* order, const std::string& text, uint32_t count = 20, uint16_t type = Ascii,
                   uint32_t pointerType = Long) {
    const uint32_t exifDirectory = 26, textAt = exifDirectory + 2 + 12 + 4;
    Bytes payload = ExifPayload(order, {{0x8769, static_cast<uint16_t>(pointerType), 1, exifDirectory}});
    Put16(payload, order, 1);
    Put16(payload, order, 0x9003);
    Put16(payload, order, type);
    Put32(payload, order, count);
    Put32(payload, order, textAt);
    Put32(payload, order, 0);
    payload.insert(payload.end(), text.begin(), text.end());
    payload.push_back(0);
    return payload;
}

TEST(ExifDateTaken, TheExifDirectorysDateTimeOriginalAndNothingElse) {
    struct Case {
        std::string name;
        Bytes payload;
        bool found;
        ExifDate want;
    };
    std::vector<Case> cases;
    for (const char* order : {"II", "MM"}) {
        const std::string o = order;
        cases.push_back({o + " as cameras write it", DatedPayload(order, "2019:07:14 10:11:12"), true, {2019, 7, 14}});
        cases.push_back({o + " pointer typed IFD",
                         DatedPayload(order, "2001:12:31 23:59:59", 20, Ascii, 13),
                         true,
                         {2001, 12, 31}});
        cases.push_back({o + " no clock set", DatedPayload(order, "0000:00:00 00:00:00"), false, {}});
        cases.push_back({o + " blanks", DatedPayload(order, "    :  :     :  :  "), false, {}});
        cases.push_back({o + " month 13", DatedPayload(order, "2019:13:01 00:00:00"), false, {}});
        cases.push_back({o + " day 0", DatedPayload(order, "2019:05:00 00:00:00"), false, {}});
        cases.push_back({o + " dashes", DatedPayload(order, "2019-07-14 10:11:12"), false, {}});
        cases.push_back({o + " count 19", DatedPayload(order, "2019:07:14 10:11:12", 19), false, {}});
        cases.push_back({o + " as SHORT", DatedPayload(order, "2019:07:14 10:11:12", 20, Short), false, {}});
        cases.push_back(
            {o + " pointer as ASCII", DatedPayload(order, "2019:07:14 10:11:12", 20, Ascii, Ascii), false, {}});
        // DateTime (0x0132) in the first directory is when the file was edited, not taken.
        cases.push_back({o + " only DateTime", ExifPayload(order, {{0x0132, Ascii, 20, 26}}), false, {}});
        cases.push_back({o + " pointer past the end", ExifPayload(order, {{0x8769, Long, 1, 0xFFFFFF00u}}), false, {}});
        cases.push_back({o + " pointer into the header", ExifPayload(order, {{0x8769, Long, 1, 4}}), false, {}});
    }
    Bytes xmp = Xmp();
    cases.push_back({"XMP", xmp, false, {}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExifDate date = {-1, -1, -1};
        const Bytes exact = c.payload;
        EXPECT_EQ(ExifDateTaken(exact.data(), exact.size(), &date), c.found);
        if (c.found) {
            EXPECT_EQ(date.Year, c.want.Year);
            EXPECT_EQ(date.Month, c.want.Month);
            EXPECT_EQ(date.Day, c.want.Day);
        } else {
            EXPECT_EQ(date.Year, -1) << "a date written without one found";
        }
    }
}

TEST(ExifDateTaken, PayloadCutAnywhereBeforeTheTextEndsGivesNone) {
    const Bytes payload = DatedPayload("MM", "2019:07:14 10:11:12");
    for (size_t length = 0; length <= payload.size(); ++length) {
        SCOPED_TRACE(testing::Message() << "cut to " << length);
        const Bytes exact(payload.begin(), payload.begin() + static_cast<long>(length));
        ExifDate date = {};
        EXPECT_EQ(ExifDateTaken(exact.empty() ? nullptr : exact.data(), exact.size(), &date), length == payload.size());
    }
}

// The upright picture as EXIF words each value: the side of it along which the stored first row
// lies, and the side along which the stored first column lies.
Picture UprightByHand(const Picture& stored, int orientation) {
    const struct {
        const char* FirstRow;
        const char* FirstColumn;
    } sides[9] = {{},
                  {"top", "left"},
                  {"top", "right"},
                  {"bottom", "right"},
                  {"bottom", "left"},
                  {"left", "top"},
                  {"right", "top"},
                  {"right", "bottom"},
                  {"left", "bottom"}};
    const std::string row = sides[orientation].FirstRow, column = sides[orientation].FirstColumn;
    const bool rowsStandUp = row == "left" || row == "right";
    Picture upright;
    upright.Width = rowsStandUp ? stored.Height : stored.Width;
    upright.Height = rowsStandUp ? stored.Width : stored.Height;
    upright.Rgb.resize(stored.Rgb.size());
    for (int y = 0; y < upright.Height; ++y) {
        for (int x = 0; x < upright.Width; ++x) {
            int storedX, storedY;
            if (rowsStandUp) {
                storedY = row == "left" ? x : upright.Width - 1 - x;
                storedX = column == "top" ? y : upright.Height - 1 - y;
            } else {
                storedY = row == "top" ? y : upright.Height - 1 - y;
                storedX = column == "left" ? x : upright.Width - 1 - x;
            }
            for (int c = 0; c < 3; ++c) {
                upright.Rgb[(static_cast<size_t>(y) * upright.Width + x) * 3 + c] =
                    stored.Rgb[(static_cast<size_t>(storedY) * stored.Width + storedX) * 3 + c];
            }
        }
    }
    return upright;
}

// What ImageMagick reads as the file's orientation: "1" to "8", or "" when it finds none.
std::string ImageMagickOrientation(const std::string& path) {
    const std::string out = path + ".orientation";
    remove(out.c_str());
    if (RunShell("identify -format '%[exif:orientation]' '" + path + "' > '" + out + "'") != 0) return "?";
    Bytes text;
    return ReadBytes(out, text) ? std::string(text.begin(), text.end()) : "?";
}

TEST(ExifOrientation, LoadersReadItAndTheTurnShowsDjpegsPictureUpright) {
    using reference::ScanLayout;
    const Bytes plain = reference::EncodeJpeg(37, 22, false, false, ScanLayout::Baseline);
    struct Case {
        std::string name;
        std::vector<std::pair<unsigned char, Bytes>> segments;
        int want;
    };
    std::vector<Case> cases;
    for (const char* order : {"II", "MM"}) {
        for (uint32_t value = 1; value <= 8; ++value) {
            cases.push_back({std::string(order) + " " + std::to_string(value),
                             {{0xE1, ExifPayload(order, {Orientation(value)})}},
                             static_cast<int>(value)});
        }
    }
    cases.push_back({"XMP before EXIF", {{0xE1, Xmp()}, {0xE1, ExifPayload("MM", {Orientation(6)})}}, 6});
    cases.push_back({"the first EXIF decides",
                     {{0xE1, ExifPayload("II", {Orientation(3)})}, {0xE1, ExifPayload("II", {Orientation(6)})}},
                     3});
    cases.push_back(
        {"broken EXIF", {{0xE1, WithDirectoryOffset(ExifPayload("II", {Orientation(6)}), "II", 0xFFFFFFF0u)}}, 1});
    cases.push_back({"empty APP1 then EXIF", {{0xE1, Bytes()}, {0xE1, ExifPayload("II", {Orientation(8)})}}, 8});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes jpeg = reference::WithSegmentsAfterSoi(plain, c.segments);
        const std::string path = TmpPath("oriented.jpg");
        ASSERT_TRUE(WriteBytes(path, jpeg));
        if (c.segments.size() == 1 && c.want > 1) {
            EXPECT_EQ(ImageMagickOrientation(path), std::to_string(c.want));  // the payloads are real EXIF
        }
        Picture stored;
        ASSERT_EQ(DjpegPicture(path, stored), 0);
        const Picture upright = UprightByHand(stored, c.want);

        LoadResult fromMemory = LoadJpegMemory(jpeg.data(), static_cast<uint32_t>(jpeg.size()), NeverStop);
        free(fromMemory.Image);
        EXPECT_EQ(fromMemory.Orientation, c.want);
        LoadResult fromFile = LoadJpegFile(path.c_str(), NeverStop);
        ASSERT_NE(fromFile.Image, nullptr) << fromFile.Reason;
        EXPECT_EQ(fromFile.Orientation, c.want);
        const ImagePtr shown(CheckedBlock(TurnUpright(ReadDibPicture(fromFile.Image), fromFile.Orientation)));
        EXPECT_EQ(CountDifferentPixels(shown.get(), upright, 0), 0);
    }
}

}  // namespace
