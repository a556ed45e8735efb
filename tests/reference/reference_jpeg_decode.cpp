#include "reference_jpeg_decode.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace reference {

namespace {

struct ErrorJump {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

void JumpOut(j_common_ptr decoder) { longjmp(reinterpret_cast<ErrorJump*>(decoder->err)->jump, 1); }
void Quiet(j_common_ptr) {}

}  // namespace

bool DecodeJpegFile(const char* path, JpegPicture* picture) {
    picture->Pixels = nullptr;
    FILE* file = fopen(path, "rb");
    if (!file) return false;
    jpeg_decompress_struct decoder;
    ErrorJump errors;
    decoder.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JumpOut;
    errors.manager.output_message = Quiet;
    unsigned char* volatile pixels = nullptr;
    JSAMPROW* volatile rows = nullptr;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&decoder);
        free(pixels);
        free(rows);
        fclose(file);
        return false;
    }
    jpeg_create_decompress(&decoder);
    jpeg_stdio_src(&decoder, file);
    jpeg_read_header(&decoder, TRUE);
    jpeg_start_decompress(&decoder);
    const size_t rowBytes = static_cast<size_t>(decoder.output_width) * decoder.output_components;
    pixels = static_cast<unsigned char*>(malloc(rowBytes * decoder.output_height));
    rows = static_cast<JSAMPROW*>(malloc(sizeof(JSAMPROW) * decoder.output_height));
    if (!pixels || !rows) longjmp(errors.jump, 1);
    for (JDIMENSION y = 0; y < decoder.output_height; ++y) rows[y] = pixels + rowBytes * y;
    // As many rows a call as the library will take: the fastest plain way to drive it.
    while (decoder.output_scanline < decoder.output_height) {
        jpeg_read_scanlines(&decoder, rows + decoder.output_scanline, decoder.output_height - decoder.output_scanline);
    }
    jpeg_finish_decompress(&decoder);
    free(rows);
    picture->Width = decoder.output_width;
    picture->Height = decoder.output_height;
    picture->Components = decoder.output_components;
    picture->Pixels = pixels;
    jpeg_destroy_decompress(&decoder);
    fclose(file);
    return true;
}

}  // namespace reference
