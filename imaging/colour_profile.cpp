// Transforms through Little CMS in its 8-bit paths, which it optimises into table lookups and a
// fixed-point matrix for the common matrix-and-curve profiles.
#include "imaging/colour_profile.h"

#include <lcms2.h>

#include <cstdlib>
#include <cstring>

struct ColourTransform {
    cmsHTRANSFORM Transform;  // nullptr for gray, which the table does
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
        case ColourPixels::GrayAsBgr:
            return cmsSigGrayData;
        case ColourPixels::Cmyk:
        case ColourPixels::CmykInverted:
            return cmsSigCmykData;
        default:
            return cmsSigRgbData;
    }
}

cmsUInt32Number InputFormat(ColourPixels pixels) {
    switch (pixels) {
        case ColourPixels::Bgr0:
            return TYPE_BGRA_8;
        case ColourPixels::Cmyk:
            return TYPE_CMYK_8;
        case ColourPixels::CmykInverted:
            return TYPE_CMYK_8_REV;
        default:
            return TYPE_BGR_8;
    }
}

cmsUInt32Number OutputFormat(ColourPixels pixels) {
    return pixels == ColourPixels::Bgr0 ? TYPE_BGRA_8 : TYPE_BGR_8;
}

// Profiles that describe a device's colours; links and abstract profiles describe none.
bool DescribesPixels(cmsHPROFILE profile) {
    const cmsProfileClassSignature kind = cmsGetDeviceClass(profile);
    return kind == cmsSigInputClass || kind == cmsSigDisplayClass || kind == cmsSigOutputClass ||
           kind == cmsSigColorSpaceClass;
}

// Takes the profile; nullptr when it does not fit the pixels or the transform cannot be made.
ColourTransform* TransformFrom(cmsHPROFILE source, ColourPixels pixels) {
    if (!source) return nullptr;
    ColourTransform* made = nullptr;
    // The library falls back on a profile's default table where it has none for the intent.
    if (cmsGetColorSpace(source) == SpaceOf(pixels) && DescribesPixels(source)) {
        const bool gray = pixels == ColourPixels::GrayAsBgr;
        cmsHTRANSFORM transform =
            cmsCreateTransform(source, gray ? TYPE_GRAY_8 : InputFormat(pixels), Display(), OutputFormat(pixels),
                               INTENT_RELATIVE_COLORIMETRIC, gray ? cmsFLAGS_NOOPTIMIZE : 0);
        if (transform) made = static_cast<ColourTransform*>(malloc(sizeof(ColourTransform)));
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

ColourTransform* TransformFromGammaAndPrimaries(uint32_t gamma, const uint32_t chromaticities[8],
                                                ColourPixels pixels) {
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
    free(transform);
}

void TransformPixels(const ColourTransform* transform, const unsigned char* from, unsigned char* to,
                     size_t count) {
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
