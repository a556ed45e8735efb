// Helpers for the image loader tests: files in the scratch directory, external encoders and
// decoders (cjpeg, djpeg, ImageMagick, Pillow), and netpbm pictures to compare with.
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <lcms2.h>

#include "imaging/image_loader.h"
#include "imaging/packed_dib.h"
#include "tests/reference/jpeg_streams.h"

namespace image_test {

typedef std::vector<unsigned char> Bytes;

// A scratch folder of this test process's own: ctest runs two tests at a time, and two tests that
// write a file of the same name must not meet. Removed when the process ends.
inline const std::string& ProcessScratchDir() {
    static const std::string* dir = [] {
        const std::string* made = new std::string(std::string(SAVER_TEST_TMP) + "/p" + std::to_string(getpid()));
        std::filesystem::create_directories(*made);
        atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ProcessScratchDir(), ignored);
        });
        return made;
    }();
    return *dir;
}

inline std::string TmpPath(const std::string& name) { return ProcessScratchDir() + "/" + name; }

inline bool ReadBytes(const std::string& path, Bytes& bytes) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return false;
    bytes.clear();
    unsigned char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    fclose(file);
    return true;
}

inline bool WriteBytes(const std::string& path, const Bytes& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

// The shell's exit status of a command, -1 when it could not run.
inline int RunShell(const std::string& command) {
    const int status = system((command + " 2>/dev/null").c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

struct Picture {
    int Width = 0;
    int Height = 0;
    Bytes Rgb;  // top row first, 3 bytes a pixel
};

// Reads a binary PPM (P6) or PGM (P5, spread to R = G = B) with 8-bit samples.
inline bool ReadPnm(const std::string& path, Picture& picture) {
    Bytes bytes;
    if (!ReadBytes(path, bytes)) return false;
    size_t at = 0;
    long fields[4] = {};
    for (int f = 0; f < 4; ++f) {
        while (at < bytes.size() && (isspace(bytes[at]) || bytes[at] == '#')) {
            if (bytes[at] == '#') {
                while (at < bytes.size() && bytes[at] != '\n') ++at;
            } else {
                ++at;
            }
        }
        if (f == 0) {
            if (at + 2 > bytes.size() || bytes[at] != 'P') return false;
            fields[0] = bytes[at + 1] - '0';
            at += 2;
            continue;
        }
        fields[f] = 0;
        while (at < bytes.size() && isdigit(bytes[at])) fields[f] = fields[f] * 10 + (bytes[at++] - '0');
    }
    ++at;
    if ((fields[0] != 5 && fields[0] != 6) || fields[3] != 255) return false;
    const int channels = fields[0] == 6 ? 3 : 1;
    picture.Width = static_cast<int>(fields[1]);
    picture.Height = static_cast<int>(fields[2]);
    const size_t samples = static_cast<size_t>(picture.Width) * picture.Height * channels;
    if (bytes.size() - at < samples) return false;
    picture.Rgb.resize(static_cast<size_t>(picture.Width) * picture.Height * 3);
    for (size_t i = 0, p = 0; i < samples; i += channels, p += 3) {
        for (int c = 0; c < 3; ++c) picture.Rgb[p + c] = bytes[at + i + (channels == 3 ? c : 0)];
    }
    return true;
}

inline bool WritePpm(const std::string& path, const Picture& picture) {
    std::string header = "P6\n" + std::to_string(picture.Width) + " " + std::to_string(picture.Height) + "\n255\n";
    Bytes bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), picture.Rgb.begin(), picture.Rgb.end());
    return WriteBytes(path, bytes);
}

// A picture with smooth areas, edges and fine detail, so that every part of the decoder works.
inline Picture TestPattern(int width, int height) {
    Picture picture;
    picture.Width = width;
    picture.Height = height;
    picture.Rgb.resize(static_cast<size_t>(width) * height * 3);
    uint32_t noise = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            noise = noise * 1103515245u + 12345u;
            unsigned char* p = &picture.Rgb[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<unsigned char>(x * 255 / (width > 1 ? width - 1 : 1));
            p[1] = static_cast<unsigned char>(((x / 5 + y / 3) % 2) ? 220 : 30);
            p[2] = static_cast<unsigned char>((y * 255 / (height > 1 ? height - 1 : 1) + (noise >> 28)) & 0xFF);
        }
    }
    return picture;
}

// The pixel at column x of row y (0 = top) of a 24-bit or 8-bit bottom-up image, as red, green,
// blue. False for an index past the colour table.
inline bool ImagePixel(const unsigned char* image, int x, int y, unsigned char rgb[3]) {
    const DibLayout layout = ReadDibLayout(image);
    const size_t stride = static_cast<size_t>(DibStride(layout.width, layout.bitCount));
    const unsigned char* row = PackedDibBits(image) + stride * (layout.height - 1 - y);
    const unsigned char* p = row + static_cast<size_t>(x) * 3;
    if (layout.bitCount == 8) {
        if (row[x] >= layout.colorCount) return false;
        p = image + layout.colorTableOffset + 4 * row[x];
    }
    rgb[0] = p[2];
    rgb[1] = p[1];
    rgb[2] = p[0];
    return true;
}

// Counts the pixels whose samples differ from the picture's by more than tolerance; -1 when the
// image is neither 24-bit nor 8-bit or its size differs.
inline long CountDifferentPixels(const unsigned char* image, const Picture& picture, int tolerance) {
    const DibLayout layout = ReadDibLayout(image);
    if ((layout.bitCount != 24 && layout.bitCount != 8) || layout.width != picture.Width ||
        layout.height != picture.Height) {
        return -1;
    }
    long different = 0;
    for (int y = 0; y < picture.Height; ++y) {
        for (int x = 0; x < picture.Width; ++x) {
            unsigned char rgb[3];
            if (!ImagePixel(image, x, y, rgb)) {
                ++different;
                continue;
            }
            const unsigned char* want = &picture.Rgb[(static_cast<size_t>(y) * picture.Width + x) * 3];
            for (int c = 0; c < 3; ++c) {
                if (abs(rgb[c] - want[c]) > tolerance) {
                    ++different;
                    break;
                }
            }
        }
    }
    return different;
}

struct FreeImage {
    void operator()(unsigned char* p) const { free(p); }
};
typedef std::unique_ptr<unsigned char, FreeImage> ImagePtr;

// A loader's result with its image owned.
struct Loaded {
    ImagePtr Image;
    LoadFailure Failure = LoadFailure::None;
    std::string Reason;
    size_t BlockSize = 0;
    bool CutShort = false;
    uint8_t Orientation = 1;
    ExifDate Taken = {};
};

// A load control that counts the questions it is asked and says stop at the one numbered StopAt,
// counted from 1, and only there (0: never).
struct QuestionCounter {
    int Asked;
    int StopAt;
};

inline bool KeepGoingUnlessStopAt(void* context) {
    QuestionCounter* counter = static_cast<QuestionCounter*>(context);
    return ++counter->Asked != counter->StopAt;
}

inline LoadControl CountingControl(QuestionCounter* counter) { return LoadControl{KeepGoingUnlessStopAt, counter}; }

// What a load is to say: one of this program's reasons, or a decoding library's message in its
// words (Failure Decoder).
struct ExpectedFailure {
    ExpectedFailure(LoadFailure failure) : Failure(failure), Message("") {}
    ExpectedFailure(const char* message) : Failure(LoadFailure::Decoder), Message(message) {}
    LoadFailure Failure;
    const char* Message;
    bool Any() const { return Failure != LoadFailure::None; }
};

inline Loaded Take(const LoadResult& result) {
    Loaded loaded;
    loaded.Image.reset(result.Image);
    loaded.Failure = result.Failure;
    loaded.Reason = result.Reason;
    loaded.BlockSize = result.BlockSize;
    loaded.CutShort = result.CutShort;
    loaded.Orientation = result.Orientation;
    loaded.Taken = result.Taken;
    return loaded;
}

inline void ExpectFailure(const Loaded& loaded, const ExpectedFailure& expected) {
    EXPECT_EQ(loaded.Failure, expected.Failure) << loaded.Reason;
    if (expected.Failure == LoadFailure::Decoder) EXPECT_EQ(loaded.Reason, expected.Message);
}

// Every field of a layout, to compare two at once.
inline std::vector<int64_t> LayoutFields(const DibLayout& l) {
    return {l.headerSize,       l.width,          l.height,     l.bitCount,  l.compression, l.maskBytes,
            l.colorTableOffset, l.colorEntrySize, l.colorCount, l.bitsOffset};
}

// The block of a picture handed on with its layout, checking on the way that the layout it carries
// says what the block's header says.
inline unsigned char* CheckedBlock(const DibPicture& picture) {
    if (picture.Block) EXPECT_EQ(LayoutFields(picture.Layout), LayoutFields(ReadDibLayout(picture.Block)));
    return picture.Block;
}

// The lowest free file descriptor: unchanged across a call that closed every file it opened.
inline int LowestFreeDescriptor() {
    const int fd = dup(0);
    if (fd >= 0) close(fd);
    return fd;
}

}  // namespace image_test

namespace image_test {

// Writes the test pattern as a PPM and encodes it with cjpeg and these options.
inline bool MakeJpeg(const std::string& name, int width, int height, const std::string& options) {
    const std::string ppm = TmpPath(name + ".ppm");
    if (!WritePpm(ppm, TestPattern(width, height))) return false;
    return RunShell("cjpeg " + options + " -outfile '" + TmpPath(name) + "' '" + ppm + "'") == 0;
}

// djpeg's picture of a JPEG file. Returns djpeg's exit status: 0 clean, 2 decoded with warnings,
// 1 failed (no picture).
inline int DjpegPicture(const std::string& jpegPath, Picture& picture, const std::string& options = "") {
    const std::string out = jpegPath + ".djpeg.pnm";
    remove(out.c_str());
    const int status = RunShell("djpeg -pnm " + options + " -outfile '" + out + "' '" + jpegPath + "'");
    if (status == 1 || status < 0) return 1;
    return ReadPnm(out, picture) ? status : 1;
}

// ICC profiles made with Little CMS, whose conversions ImageMagick makes too: the wide-gamut
// spaces of cameras and editors (Adobe RGB (1998), ProPhoto RGB), sRGB, a gray one of gamma 1.0
// (far from the 2.2 a gray picture is taken for), a CMYK one of thin inks through a table, and
// bytes that only look like a profile.
enum class TestProfile { AdobeRgb, ProPhoto, Srgb, LinearGray, Cmyk, Unusable };

inline Bytes SavedProfile(cmsHPROFILE profile) {
    Bytes bytes;
    cmsUInt32Number length = 0;
    if (profile && cmsSaveProfileToMem(profile, nullptr, &length)) {
        bytes.resize(length);
        cmsSaveProfileToMem(profile, bytes.data(), &length);
    }
    if (profile) cmsCloseProfile(profile);
    return bytes;
}

inline cmsHPROFILE RgbProfile(cmsCIExyY white, cmsCIExyYTRIPLE primaries, double gamma) {
    cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    return profile;
}

// CMYK as thin inks over paper (a product rule that never reaches black), in the connection space.
inline cmsInt32Number CmykSample(const cmsUInt16Number in[], cmsUInt16Number out[], void* toLab) {
    double rgb[3];
    for (int c = 0; c < 3; ++c) rgb[c] = (1 - 0.7 * in[c] / 65535.0) * (1 - 0.8 * in[3] / 65535.0);
    cmsCIELab lab;
    cmsDoTransform(static_cast<cmsHTRANSFORM>(toLab), rgb, &lab, 1);
    cmsFloat2LabEncoded(out, &lab);
    return TRUE;
}

inline cmsHPROFILE CmykProfile() {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile(), lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab = cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsCloseProfile(srgb);
    cmsCloseProfile(lab);
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 4.3);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsPipeline* table = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* grid = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    cmsStageSampleCLut16bit(grid, CmykSample, toLab, 0);
    // Version 4 tables take the form curves, grid, curves: the curves here change nothing.
    cmsPipelineInsertStage(table, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
    cmsPipelineInsertStage(table, cmsAT_END, grid);
    cmsPipelineInsertStage(table, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsWriteTag(profile, cmsSigAToB0Tag, table);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipelineFree(table);
    cmsDeleteTransform(toLab);
    return profile;
}

inline Bytes MakeProfile(TestProfile kind) {
    const cmsCIExyY d65 = {0.3127, 0.3290, 1}, d50 = {0.3457, 0.3585, 1};
    switch (kind) {
        case TestProfile::AdobeRgb:
            return SavedProfile(RgbProfile(d65, {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}}, 563 / 256.0));
        case TestProfile::ProPhoto:
            return SavedProfile(RgbProfile(d50, {{0.7347, 0.2653, 1}, {0.1596, 0.8404, 1}, {0.0366, 0.0001, 1}}, 1.8));
        case TestProfile::Srgb: return SavedProfile(cmsCreate_sRGBProfile());
        case TestProfile::LinearGray: {
            cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
            const Bytes gray = SavedProfile(cmsCreateGrayProfile(cmsD50_xyY(), linear));
            cmsFreeToneCurve(linear);
            return gray;
        }
        case TestProfile::Cmyk: return SavedProfile(CmykProfile());
        case TestProfile::Unusable: {
            Bytes bytes = SavedProfile(cmsCreate_sRGBProfile());
            for (size_t i = 128; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 7);
            return bytes;
        }
    }
    return Bytes();
}

// ImageMagick's picture of a file converted by its embedded profile to sRGB, relative
// colorimetric (Little CMS at 16 bits a sample).
inline bool ImageMagickInSrgb(const std::string& path, Picture& picture) {
    const std::string srgb = path + ".srgb.icc", out = path + ".srgb.ppm";
    remove(out.c_str());
    return WriteBytes(srgb, MakeProfile(TestProfile::Srgb)) &&
           RunShell("convert '" + path + "' -intent relative -profile '" + srgb +
                    "' -depth 8 -type TrueColor 'PPM:" + out + "'") == 0 &&
           ReadPnm(out, picture);
}

// The largest difference of any sample between the image and the picture, -1 when their sizes
// differ.
inline int LargestDifference(const unsigned char* image, const Picture& picture) {
    const DibLayout layout = ReadDibLayout(image);
    if (layout.width != picture.Width || layout.height != picture.Height) return -1;
    int largest = 0;
    for (int y = 0; y < picture.Height; ++y) {
        for (int x = 0; x < picture.Width; ++x) {
            unsigned char rgb[3];
            if (!ImagePixel(image, x, y, rgb)) return 256;
            const unsigned char* want = &picture.Rgb[(static_cast<size_t>(y) * picture.Width + x) * 3];
            for (int c = 0; c < 3; ++c) largest = std::max(largest, abs(rgb[c] - want[c]));
        }
    }
    return largest;
}

using reference::JoinSegments;
using reference::SplitJpegSegments;

}  // namespace image_test
