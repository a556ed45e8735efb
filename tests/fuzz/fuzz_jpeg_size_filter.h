// Keeps the JPEG fuzz targets fast, as libjpeg-turbo's own fuzzers do: an input whose header
// claims a picture of more than a million pixels that the loaders would really decode is passed
// over, because decoding it only burns time on rows of nothing. Headers the loaders refuse for
// their size are still loaded, so that refusal stays under test.
#pragma once
#include <csetjmp>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

#include "imaging/packed_dib.h"

namespace fuzz_filter {

struct Escape {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

inline void Leave(j_common_ptr decoder) { longjmp(reinterpret_cast<Escape*>(decoder->err)->jump, 1); }
inline void Quiet(j_common_ptr, int) {}

}  // namespace fuzz_filter

inline bool JpegWorthDecoding(const uint8_t* data, size_t size) {
    const uint64_t pixelLimit = 1u << 20;
    jpeg_decompress_struct decoder;
    fuzz_filter::Escape escape;
    decoder.err = jpeg_std_error(&escape.manager);
    escape.manager.error_exit = fuzz_filter::Leave;
    escape.manager.emit_message = fuzz_filter::Quiet;
    if (setjmp(escape.jump)) {
        jpeg_destroy_decompress(&decoder);
        return true;  // the loaders' error path is worth fuzzing too
    }
    jpeg_create_decompress(&decoder);
    jpeg_mem_src(&decoder, data, static_cast<unsigned long>(size));
    jpeg_read_header(&decoder, TRUE);
    const uint64_t width = decoder.image_width;
    const uint64_t height = decoder.image_height;
    jpeg_destroy_decompress(&decoder);
    return width * height <= pixelLimit || !DibSizeIsAddressable(width, height, 24);
}
