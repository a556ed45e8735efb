// The file source the JPEG loader reads through: the library's own file source, except that it
// asks whether to go on every few megabytes read or skipped (segments before and between scans
// may run to any length), seeks over skipped segments with 64-bit positions, and notes when the
// file ran out, for the decoder's rules on streams that end before their picture does.
#pragma once
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

#include "imaging/image_loader.h"

struct JpegFileSource {
    jpeg_source_mgr pub;  // first: the decoder sees the library's own record
    FILE* File;
    const LoadControl* Control;
    volatile bool* CutShort;  // set before the decode is abandoned on the control's word
    uint64_t SinceAsked;      // bytes read or skipped since the control was last asked
    bool StartOfFile;
    bool RanOut;  // the file ended and an end-of-image marker stood in for the rest
    JOCTET Buffer[65536];
};

// Makes the decoder read from the open file from its current position. The record comes from
// the decoder's permanent pool. cutShort is set when the control says stop.
void AttachJpegFileSource(j_decompress_ptr decoder, FILE* file, const LoadControl& control, volatile bool* cutShort);
