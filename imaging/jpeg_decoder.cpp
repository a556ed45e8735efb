// JPEG decoding shared by the file and the memory loaders: the library decodes straight into the
// image's bottom-up rows, in their blue-green-red order, a batch of rows at a time.
#include "imaging/jpeg_decoder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imaging/cmyk_pixels.h"
#include "imaging/jpeg_error_trap.h"
#include "imaging/memory_source.h"

namespace {

// Bound on the decoder's own memory. Only multi-scan (progressive) streams need much: a
// coefficient buffer for the whole image, 128 bytes per 8×8 block of every component, which
// a few hundred bytes of header can ask for.
const long DecoderMemoryLimit = 1L << 30;

// Real progressive files have about ten scans; thousands of tiny scans only burn time.
const int ScanLimit = 1000;

const JDIMENSION RowBatch = 16;

// The reason of the last abandoned decode outlives the decode's own stack.
char LastAbandonReason[JMSG_LENGTH_MAX];

struct JpegDecode {
    jpeg_decompress_struct Decoder;
    JpegErrorTrap Trap;
    jpeg_progress_mgr Progress;
    PackedDib volatile Image;  // read again after a jump out of the library
};

j_common_ptr Common(j_decompress_ptr decoder) { return reinterpret_cast<j_common_ptr>(decoder); }

uint64_t RoundUp(uint64_t value, uint64_t step) { return (value + step - 1) / step * step; }

uint64_t CoefficientBufferBytes(const jpeg_decompress_struct* decoder) {
    uint64_t bytes = 0;
    for (int c = 0; c < decoder->num_components; ++c) {
        const jpeg_component_info* component = &decoder->comp_info[c];
        bytes += RoundUp(component->width_in_blocks, component->h_samp_factor) *
                 RoundUp(component->height_in_blocks, component->v_samp_factor) * sizeof(JBLOCK);
    }
    return bytes;
}

void StopAtScanLimit(j_common_ptr decoder) {
    if (reinterpret_cast<j_decompress_ptr>(decoder)->input_scan_number > ScanLimit) {
        AbandonJpegDecode(decoder, "too many scans");
    }
}

// Everything is decided from the header, before jpeg_start_decompress allocates anything large.
void CheckHeader(j_decompress_ptr decoder) {
    if (!DibSizeIsAddressable(decoder->image_width, decoder->image_height, 24)) {
        AbandonJpegDecode(Common(decoder), "image too large");
    }
    if (jpeg_has_multiple_scans(decoder) &&
        CoefficientBufferBytes(decoder) > static_cast<uint64_t>(DecoderMemoryLimit)) {
        AbandonJpegDecode(Common(decoder), "image too large to decode");
    }
    switch (decoder->jpeg_color_space) {
        case JCS_GRAYSCALE:
        case JCS_YCbCr:
        case JCS_RGB:
            decoder->out_color_space = JCS_EXT_BGR;  // gray comes out as R = G = B
            break;
        case JCS_CMYK:
        case JCS_YCCK:
            decoder->out_color_space = JCS_CMYK;  // the library turns YCCK into CMYK; we do the rest
            break;
        default:
            AbandonJpegDecode(Common(decoder), "unsupported colour space");
    }
}

unsigned char* RowFromTop(PackedDib image, size_t stride, JDIMENSION height, JDIMENSION y) {
    return PackedDibBits(image) + stride * (height - 1 - y);
}

// Reads the rows straight into the image, then clears the pad bytes after each.
void ReadBgrRows(j_decompress_ptr decoder, PackedDib image, size_t stride) {
    const size_t pixelBytes = static_cast<size_t>(decoder->output_width) * 3;
    JSAMPROW rows[RowBatch];
    while (decoder->output_scanline < decoder->output_height) {
        const JDIMENSION first = decoder->output_scanline;
        JDIMENSION count = decoder->output_height - first;
        if (count > RowBatch) count = RowBatch;
        for (JDIMENSION i = 0; i < count; ++i) rows[i] = RowFromTop(image, stride, decoder->output_height, first + i);
        const JDIMENSION read = jpeg_read_scanlines(decoder, rows, count);
        if (read == 0) AbandonJpegDecode(Common(decoder), "decoder read no rows");
        for (JDIMENSION i = 0; i < read; ++i) memset(rows[i] + pixelBytes, 0, stride - pixelBytes);
    }
}

void ReadCmykRows(j_decompress_ptr decoder, PackedDib image, size_t stride) {
    const size_t pixelBytes = static_cast<size_t>(decoder->output_width) * 3;
    JSAMPARRAY samples = (*decoder->mem->alloc_sarray)(Common(decoder), JPOOL_IMAGE, decoder->output_width * 4, 1);
    while (decoder->output_scanline < decoder->output_height) {
        unsigned char* row = RowFromTop(image, stride, decoder->output_height, decoder->output_scanline);
        if (jpeg_read_scanlines(decoder, samples, 1) == 0) AbandonJpegDecode(Common(decoder), "decoder read no rows");
        CmykRowToBgr(samples[0], row, decoder->output_width, decoder->saw_Adobe_marker);
        memset(row + pixelBytes, 0, stride - pixelBytes);
    }
}

// Runs the decode of an attached source into job->Image. Fatal errors leave through the trap.
void DecodeAttached(JpegDecode* job) {
    j_decompress_ptr decoder = &job->Decoder;
    jpeg_read_header(decoder, TRUE);
    CheckHeader(decoder);
    job->Progress.progress_monitor = StopAtScanLimit;
    decoder->progress = &job->Progress;
    jpeg_start_decompress(decoder);

    job->Image = CreatePackedDib(decoder->output_width, decoder->output_height, 24);
    if (!job->Image) AbandonJpegDecode(Common(decoder), "out of memory");
    const size_t stride = static_cast<size_t>(DibStride(decoder->output_width, 24));
    if (decoder->out_color_space == JCS_CMYK) {
        ReadCmykRows(decoder, job->Image, stride);
    } else {
        ReadBgrRows(decoder, job->Image, stride);
    }
    jpeg_finish_decompress(decoder);
}

// Reads the stream from file when it is not null, else from bytes through the memory source.
PackedDib DecodeJpeg(FILE* file, const unsigned char* bytes, uint32_t length) {
    JpegDecode job;
    job.Image = nullptr;
    job.Decoder.err = InitJpegErrorTrap(&job.Trap);
    if (setjmp(job.Trap.Escape)) {
        jpeg_destroy_decompress(&job.Decoder);
        free(job.Image);
        snprintf(LastAbandonReason, sizeof LastAbandonReason, "%s", job.Trap.Message);
        SetLoadFailure(LastAbandonReason);
        return nullptr;
    }
    jpeg_create_decompress(&job.Decoder);
    job.Decoder.mem->max_memory_to_use = DecoderMemoryLimit;
    if (file) {
        jpeg_stdio_src(&job.Decoder, file);
    } else {
        AttachMemorySource(&job.Decoder, bytes, length);
    }
    DecodeAttached(&job);
    PackedDib image = job.Image;
    const size_t blockSize = DibInfoHeaderSize + static_cast<size_t>(DibStride(job.Decoder.output_width, 24)) *
                                                     job.Decoder.output_height;
    jpeg_destroy_decompress(&job.Decoder);
    SetLoadSuccess(blockSize);
    return image;
}

}  // namespace

PackedDib LoadJpegFile(const char* path) {
    FILE* file = fopen(path, "rb");
    if (!file) {
        SetLoadFailure("cannot open file");
        return nullptr;
    }
    PackedDib image = DecodeJpeg(file, nullptr, 0);
    fclose(file);
    return image;
}

PackedDib LoadJpegMemory(const unsigned char* bytes, uint32_t length) { return DecodeJpeg(nullptr, bytes, length); }
