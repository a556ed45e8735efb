// Transforms through Little CMS. Between two matrix-and-curve RGB profiles (nearly every camera,
// phone and editor profile, and sRGB), where the library's general 8-bit path would cost a photo
// more than its decode, the transform is its own: a curve table per channel into linear light, a
// fixed-point matrix, a table back out, all worked out from the profiles by the library.
#include "imaging/colour_profile.h"

#include <lcms2.h>

#include <cstdlib>
#include <cstring>

namespace {

enum : int32_t {
    LinearOne = 1 << 14,  // linear light 1.0 in the fixed-point form of the matrix path
};

// Blue-green-red pixels from one matrix-and-curve space to another.
struct MatrixPath {
    int32_t Linear[3][256];            // per channel, red first: each sample's linear light
    int32_t Matrix[3][3];              // out red, green, blue from in red, green, blue; 1.0 is LinearOne
    uint8_t Encode[3][LinearOne + 1];  // per channel: linear light to the display's sample
};

}  // namespace

struct ColourTransform {
    MatrixPath* Matrix;       // nullptr unless both ends are matrix-and-curve RGB
    cmsHTRANSFORM Transform;  // nullptr for gray, which the table does, and for the matrix path
    // A gray picture has 256 values: each one's colour is worked out exactly, once, where the
    // library's 8-bit shortcuts would interpolate a steep curve's dark end.
    unsigned char GrayTable[256][3];
};

namespace {

// The display's profile: sRGB until the platform names another. Opened once, before any load.
cmsHPROFILE DisplayProfile = nullptr;
bool DisplayIsSrgb = true;

cmsHPROFILE Display() {
    if (!DisplayProfile) DisplayProfile = cmsCreate_sRGBProfile();
    return DisplayProfile;
}

cmsColorSpaceSignature SpaceOf(ColourPixels pixels) {
    switch (pixels) {
        case ColourPixels::GrayAsBgr: return cmsSigGrayData;
        case ColourPixels::Cmyk:
        case ColourPixels::CmykInverted: return cmsSigCmykData;
        default: return cmsSigRgbData;
    }
}

cmsUInt32Number InputFormat(ColourPixels pixels) {
    switch (pixels) {
        case ColourPixels::Bgr0: return TYPE_BGRA_8;
        case ColourPixels::Cmyk: return TYPE_CMYK_8;
        case ColourPixels::CmykInverted: return TYPE_CMYK_8_REV;
        default: return TYPE_BGR_8;
    }
}

cmsUInt32Number OutputFormat(ColourPixels pixels) { return pixels == ColourPixels::Bgr0 ? TYPE_BGRA_8 : TYPE_BGR_8; }

// Profiles that describe a device's colours; links and abstract profiles describe none.
bool DescribesPixels(cmsHPROFILE profile) {
    const cmsProfileClassSignature kind = cmsGetDeviceClass(profile);
    return kind == cmsSigInputClass || kind == cmsSigDisplayClass || kind == cmsSigOutputClass ||
           kind == cmsSigColorSpaceClass;
}

// Whether the library itself would go through the profile's matrix and curves: they are there
// and no table takes their place for the intent.
bool IsPlainMatrixShaper(cmsHPROFILE profile, bool asInput) {
    if (cmsGetColorSpace(profile) != cmsSigRgbData || !cmsIsMatrixShaper(profile)) return false;
    const cmsTagSignature inputTables[] = {cmsSigAToB0Tag, cmsSigAToB1Tag, cmsSigDToB0Tag, cmsSigDToB1Tag};
    const cmsTagSignature outputTables[] = {cmsSigBToA0Tag, cmsSigBToA1Tag, cmsSigBToD0Tag, cmsSigBToD1Tag};
    for (const cmsTagSignature table : asInput ? inputTables : outputTables) {
        if (cmsIsTag(profile, table)) return false;
    }
    return true;
}

// The colorants as columns: XYZ (connection space) from linear red, green, blue.
bool ColorantMatrix(cmsHPROFILE profile, double m[3][3]) {
    const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    for (int c = 0; c < 3; ++c) {
        const cmsCIEXYZ* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[c]));
        if (!xyz) return false;
        m[0][c] = xyz->X;
        m[1][c] = xyz->Y;
        m[2][c] = xyz->Z;
    }
    return true;
}

bool Invert(const double m[3][3], double inverse[3][3]) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (!(det > 1e-9 || det < -1e-9)) return false;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            inverse[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
        }
    }
    return true;
}

int32_t Fixed(double value, double one) {
    const double scaled = value * one + (value < 0 ? -0.5 : 0.5);
    return scaled > 2e9 ? 2000000000 : scaled < -2e9 ? -2000000000 : static_cast<int32_t>(scaled);
}

// Linear light to the nearest of the display's 256 samples: sample k takes the light between where
// the display's curve gives k - 1/2 and k + 1/2, so 255 points of the curve fill the table. False
// for a curve that does not rise, which has no such inverse.
bool FillEncodeTable(const cmsToneCurve* display, uint8_t table[LinearOne + 1]) {
    int32_t at = 0;
    for (int k = 0; k < 255; ++k) {
        const double light = cmsEvalToneCurveFloat(display, static_cast<cmsFloat32Number>((k + 0.5) / 255));
        int32_t end = static_cast<int32_t>(light * LinearOne + 0.5);  // first light past sample k
        if (end > LinearOne + 1) end = LinearOne + 1;
        if (end < at) return false;
        for (; at < end; ++at) table[at] = static_cast<uint8_t>(k);
    }
    for (; at <= LinearOne; ++at) table[at] = 255;
    return true;
}

MatrixPath* MakeMatrixPath(cmsHPROFILE source, cmsHPROFILE display) {
    if (!IsPlainMatrixShaper(source, true) || !IsPlainMatrixShaper(display, false)) return nullptr;
    double from[3][3], to[3][3], back[3][3];
    if (!ColorantMatrix(source, from) || !ColorantMatrix(display, to) || !Invert(to, back)) return nullptr;
    MatrixPath* path = static_cast<MatrixPath*>(malloc(sizeof(MatrixPath)));
    if (!path) return nullptr;
    const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int c = 0; c < 3; ++c) {
        double row[3] = {0, 0, 0};
        for (int k = 0; k < 3; ++k) {
            for (int j = 0; j < 3; ++j) row[k] += back[c][j] * from[j][k];
        }
        for (int k = 0; k < 3; ++k) {
            path->Matrix[c][k] = Fixed(row[k], LinearOne);
            // Entries this large belong to no pair of real profiles and would overflow the sums.
            if (path->Matrix[c][k] > 8 * LinearOne || path->Matrix[c][k] < -8 * LinearOne) {
                free(path);
                return nullptr;
            }
        }
        const cmsToneCurve* in = static_cast<const cmsToneCurve*>(cmsReadTag(source, curves[c]));
        const cmsToneCurve* out = static_cast<const cmsToneCurve*>(cmsReadTag(display, curves[c]));
        if (!in || !out || !FillEncodeTable(out, path->Encode[c])) {
            free(path);
            return nullptr;
        }
        for (int v = 0; v < 256; ++v) {
            const double linear = cmsEvalToneCurveFloat(in, static_cast<cmsFloat32Number>(v / 255.0));
            path->Linear[c][v] = Fixed(linear < 0 ? 0 : linear > 1 ? 1 : linear, LinearOne);
        }
    }
    return path;
}

uint8_t Encoded(const uint8_t* table, int32_t sum) {
    const int32_t linear = (sum + (1 << 13)) >> 14;
    return table[linear < 0 ? 0 : linear > LinearOne ? LinearOne : linear];
}

// The coefficients and tables are copied to locals: the byte stores could alias them, and the
// compiler would load them again for every pixel.
void RunMatrixPath(const MatrixPath& path, const unsigned char* from, unsigned char* to, size_t count) {
    const int32_t m00 = path.Matrix[0][0], m01 = path.Matrix[0][1], m02 = path.Matrix[0][2];
    const int32_t m10 = path.Matrix[1][0], m11 = path.Matrix[1][1], m12 = path.Matrix[1][2];
    const int32_t m20 = path.Matrix[2][0], m21 = path.Matrix[2][1], m22 = path.Matrix[2][2];
    const int32_t *linearRed = path.Linear[0], *linearGreen = path.Linear[1], *linearBlue = path.Linear[2];
    const uint8_t *encodeRed = path.Encode[0], *encodeGreen = path.Encode[1], *encodeBlue = path.Encode[2];
    for (size_t i = 0; i < count; ++i, from += 3, to += 3) {
        const int32_t r = linearRed[from[2]], g = linearGreen[from[1]], b = linearBlue[from[0]];
        const uint8_t outRed = Encoded(encodeRed, m00 * r + m01 * g + m02 * b);
        const uint8_t outGreen = Encoded(encodeGreen, m10 * r + m11 * g + m12 * b);
        const uint8_t outBlue = Encoded(encodeBlue, m20 * r + m21 * g + m22 * b);
        to[0] = outBlue;
        to[1] = outGreen;
        to[2] = outRed;
    }
}

// Takes the profile; nullptr when it does not fit the pixels or the transform cannot be made.
ColourTransform* TransformFrom(cmsHPROFILE source, ColourPixels pixels) {
    if (!source) return nullptr;
    ColourTransform* made = nullptr;
    if (pixels == ColourPixels::Bgr && cmsGetColorSpace(source) == cmsSigRgbData && DescribesPixels(source)) {
        if (MatrixPath* path = MakeMatrixPath(source, Display())) {
            made = static_cast<ColourTransform*>(malloc(sizeof(ColourTransform)));
            if (made) {
                made->Matrix = path;
                made->Transform = nullptr;
                cmsCloseProfile(source);
                return made;
            }
            free(path);
        }
    }
    // The library falls back on a profile's default table where it has none for the intent.
    if (cmsGetColorSpace(source) == SpaceOf(pixels) && DescribesPixels(source)) {
        const bool gray = pixels == ColourPixels::GrayAsBgr;
        cmsHTRANSFORM transform =
            cmsCreateTransform(source, gray ? TYPE_GRAY_8 : InputFormat(pixels), Display(), OutputFormat(pixels),
                               INTENT_RELATIVE_COLORIMETRIC, gray ? cmsFLAGS_NOOPTIMIZE : 0);
        if (transform) made = static_cast<ColourTransform*>(malloc(sizeof(ColourTransform)));
        if (made) made->Matrix = nullptr;
        if (made && gray) {
            unsigned char values[256];
            for (int i = 0; i < 256; ++i) values[i] = static_cast<unsigned char>(i);
            cmsDoTransform(transform, values, made->GrayTable, 256);
            cmsDeleteTransform(transform);
            made->Transform = nullptr;
        } else if (made) {
            made->Transform = transform;
        } else if (transform) {
            cmsDeleteTransform(transform);
        }
    }
    cmsCloseProfile(source);
    return made;
}

}  // namespace

ColourTransform* TransformFromProfile(const unsigned char* icc, size_t length, ColourPixels pixels) {
    if (!icc || length < 128 || length > 0xFFFFFFFFu) return nullptr;
    return TransformFrom(cmsOpenProfileFromMem(icc, static_cast<cmsUInt32Number>(length)), pixels);
}

ColourTransform* TransformFromGammaAndPrimaries(uint32_t gamma, const uint32_t chromaticities[8], ColourPixels pixels) {
    if (gamma == 0 || SpaceOf(pixels) != cmsSigRgbData) return nullptr;
    double xy[8];
    for (int i = 0; i < 8; ++i) {
        xy[i] = chromaticities[i] / 100000.0;
        if (i % 2 == 1 && chromaticities[i] == 0) return nullptr;  // no colour has y = 0
    }
    const cmsCIExyY white = {xy[0], xy[1], 1.0};
    const cmsCIExyYTRIPLE primaries = {{xy[2], xy[3], 1.0}, {xy[4], xy[5], 1.0}, {xy[6], xy[7], 1.0}};
    // gAMA gives the encoding exponent; the profile's curve decodes.
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 100000.0 / gamma);
    if (!curve) return nullptr;
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    return TransformFrom(profile, pixels);
}

ColourTransform* TransformFromSrgb(ColourPixels pixels) {
    if (DisplayIsSrgb) return nullptr;
    return TransformFrom(cmsCreate_sRGBProfile(), pixels);
}

void FreeColourTransform(ColourTransform* transform) {
    if (!transform) return;
    if (transform->Transform) cmsDeleteTransform(transform->Transform);
    free(transform->Matrix);
    free(transform);
}

void TransformPixels(const ColourTransform* transform, const unsigned char* from, unsigned char* to, size_t count) {
    if (transform->Matrix) {
        RunMatrixPath(*transform->Matrix, from, to, count);
        return;
    }
    if (!transform->Transform) {
        for (size_t i = 0; i < count; ++i) memcpy(to + 3 * i, transform->GrayTable[from[3 * i]], 3);
        return;
    }
    // An addressable image holds fewer than 2^32 pixels.
    cmsDoTransform(transform->Transform, from, to, static_cast<cmsUInt32Number>(count));
}

bool UseDisplayProfile(const unsigned char* icc, size_t length) {
    cmsHPROFILE profile = nullptr;
    if (icc && length >= 128 && length <= 0xFFFFFFFFu) {
        profile = cmsOpenProfileFromMem(icc, static_cast<cmsUInt32Number>(length));
    }
    if (profile && (cmsGetColorSpace(profile) != cmsSigRgbData || !DescribesPixels(profile))) {
        cmsCloseProfile(profile);
        profile = nullptr;
    }
    if (DisplayProfile) cmsCloseProfile(DisplayProfile);
    DisplayProfile = profile;
    DisplayIsSrgb = profile == nullptr;
    return profile != nullptr;
}
