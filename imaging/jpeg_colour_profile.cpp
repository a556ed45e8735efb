// libjpeg-turbo's own reader joins the segments: it checks their count and sequence numbers and
// gives nothing for a set with one missing or repeated.
#include "imaging/jpeg_colour_profile.h"

#include <cstdlib>

namespace {

const int IccMarker = JPEG_APP0 + 2;

ColourPixels OutputPixels(j_decompress_ptr decoder) {
    if (decoder->out_color_space == JCS_CMYK) {
        return decoder->saw_Adobe_marker ? ColourPixels::CmykInverted : ColourPixels::Cmyk;
    }
    return decoder->jpeg_color_space == JCS_GRAYSCALE ? ColourPixels::GrayAsBgr : ColourPixels::Bgr;
}

}  // namespace

void KeepJpegProfileSegments(j_decompress_ptr decoder) { jpeg_save_markers(decoder, IccMarker, 0xFFFF); }

ColourTransform* JpegColourTransform(j_decompress_ptr decoder) {
    JOCTET* icc = nullptr;
    unsigned int length = 0;
    if (!jpeg_read_icc_profile(decoder, &icc, &length)) return nullptr;
    ColourTransform* transform = TransformFromProfile(icc, length, OutputPixels(decoder));
    free(icc);
    return transform;
}
