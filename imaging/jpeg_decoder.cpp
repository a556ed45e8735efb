// JPEG decoding shared by the file and the memory loaders: the library decodes straight into the
// image's bottom-up rows, in their blue-green-red order, a batch of rows at a time. The first
// EXIF segment gives the orientation, which the pixels keep as stored.
#include "imaging/jpeg_decoder.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jerror.h>

#include "imaging/byte_order.h"
#include "imaging/cmyk_pixels.h"
#include "imaging/exif_orientation.h"
#include "imaging/jpeg_colour_profile.h"
#include "imaging/jpeg_error_trap.h"
#include "imaging/jpeg_file_source.h"
#include "imaging/memory_source.h"

namespace {

// Bound on what a multi-scan (progressive) decode needs at once: the image block and the
// library's coefficient buffer for the whole picture, 128 bytes per 8×8 block of every component,
// which does not shrink with the output scale. A 32-bit process has 2 GiB of addresses in all.
const uint64_t DecodeMemoryBudget = sizeof(void*) >= 8 ? 3ull << 30 : 7ull << 28;

// The coefficient work of a progressive file's scans (blocks × coefficients each scan covers)
// may pass what one pass over every coefficient needs this many times: libjpeg's own script
// takes about three. A small picture gets at least the work below, a fraction of a second.
const uint64_t ScanWorkPasses = 4;
const uint64_t LeastScanWork = 1ull << 27;

// The most scans libjpeg's own encoder writes (one per coefficient and component); more only burn
// time, each one a pass over every block.
const int ScanLimit = 100;

const JDIMENSION RowBatch = 16;

// The library calls the monitor once per iMCU row while it absorbs a multi-scan file and once per
// batch of output rows: the points where a load can be stopped.
struct JpegProgress {
    jpeg_progress_mgr Manager;  // first: the library hands the monitor the decoder, which points here
    const LoadControl* Control;
    volatile bool CutShort;  // read again after a jump out of the library
    int Scan;                // the scan last looked at
    uint64_t ScanWork;       // coefficient work of the scans begun so far
    uint64_t ScanWorkAllowed;
    // Arithmetic-coded scans: iMCU rows decoded while the decoder read the stream, and while it
    // read nothing (its data ended, and it decodes zeros from there).
    const JOCTET* Input;  // where the decoder's next byte was at the last look
    JDIMENSION Row;
    uint64_t RowsWithData;
    uint64_t RowsFromNothing;
};

struct JpegDecode {
    jpeg_decompress_struct Decoder;
    JpegErrorTrap Trap;
    JpegProgress Progress;
    uint64_t InputLength;              // bytes of the stream; 0 when unknown
    PackedDib volatile Image;          // read again after a jump out of the library
    RowSink* Sink;                     // none: the rows go to Image
    bool volatile Streamed;            // the rows go to the sink
    uint32_t BandRows;                 // of the sink's bands
    ColourTransform* volatile Colour;  // the file's profile; nullptr without one
    bool SawExif;                      // later EXIF segments are skipped
    uint8_t Orientation;
    ExifDate Taken;  // Year 0: none
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

uint64_t Blocks(const jpeg_component_info* component) {
    return static_cast<uint64_t>(component->width_in_blocks) * component->height_in_blocks;
}

uint64_t FrameBlocks(const jpeg_decompress_struct* decoder) {
    uint64_t blocks = 0;
    for (int c = 0; c < decoder->num_components; ++c) blocks += Blocks(&decoder->comp_info[c]);
    return blocks;
}

// A complete Huffman-coded stream holds at least one bit, the DC code, for every block of every
// component; a file shorter than that only claims its size. Arithmetic coding can code a flat
// block in next to nothing, so those frames are watched while they decode instead.
bool StreamTooShortForFrame(const jpeg_decompress_struct* decoder, uint64_t inputLength) {
    if (decoder->arith_code || inputLength == 0) return false;
    return inputLength * 8 < FrameBlocks(decoder);
}

uint64_t ScanWork(const jpeg_decompress_struct* decoder) {
    int coefficients = decoder->Se - decoder->Ss + 1;
    if (coefficients < 1) coefficients = 1;
    if (coefficients > DCTSIZE2) coefficients = DCTSIZE2;
    uint64_t blocks = 0;
    for (int i = 0; i < decoder->comps_in_scan; ++i) blocks += Blocks(decoder->cur_comp_info[i]);
    return blocks * static_cast<uint64_t>(coefficients);
}

// Counted at each new scan, before its first row: a scan that would pass the budget never runs.
void CountScanWork(j_decompress_ptr decoder, JpegProgress* progress) {
    if (decoder->input_scan_number == progress->Scan) return;
    progress->Scan = decoder->input_scan_number;
    progress->Row = 0;
    progress->ScanWork += ScanWork(decoder);
    if (progress->ScanWork > progress->ScanWorkAllowed) {
        AbandonJpegDecode(reinterpret_cast<j_common_ptr>(decoder), LoadFailure::TooManyScans);
    }
}

// An arithmetic-coded scan whose data ends early goes on decoding zeros to its last row, which
// costs a row's work each and no byte of the file: rows during which the decoder read nothing
// come from nothing. A legitimate encoder leaves off only the zeros at a scan's end; once more
// rows have come from nothing than from data, the file holds less than it claims.
void WatchArithmeticRows(j_decompress_ptr decoder, JpegProgress* progress) {
    const JDIMENSION row = decoder->input_iMCU_row;
    const JOCTET* input = decoder->src->next_input_byte;
    const bool read = input != progress->Input;
    progress->Input = input;
    if (!decoder->arith_code || row <= progress->Row) return;
    (read ? progress->RowsWithData : progress->RowsFromNothing) += row - progress->Row;
    progress->Row = row;
    if (progress->RowsFromNothing > progress->RowsWithData + 1) {
        AbandonJpegDecode(reinterpret_cast<j_common_ptr>(decoder), LoadFailure::FileTooShortForSize);
    }
}

void MonitorProgress(j_common_ptr decoder) {
    JpegProgress* progress = reinterpret_cast<JpegProgress*>(decoder->progress);
    j_decompress_ptr decompress = reinterpret_cast<j_decompress_ptr>(decoder);
    if (decompress->input_scan_number > ScanLimit) {
        AbandonJpegDecode(decoder, LoadFailure::TooManyScans);
    }
    CountScanWork(decompress, progress);
    WatchArithmeticRows(decompress, progress);
    if (!LoadMayGoOn(*progress->Control)) {
        progress->CutShort = true;
        AbandonJpegDecode(decoder, LoadFailure::CutShort);
    }
}

// Reads bytes of the stream where the library would. The program's sources never suspend: past
// the end they hand over an end-of-image marker.
void ReadStreamBytes(j_decompress_ptr decoder, unsigned char* to, size_t count) {
    jpeg_source_mgr* source = decoder->src;
    while (count > 0) {
        if (source->bytes_in_buffer == 0 && !(*source->fill_input_buffer)(decoder)) {
            AbandonJpegDecode(Common(decoder), LoadFailure::InputSuspended);
        }
        const size_t n = count < source->bytes_in_buffer ? count : source->bytes_in_buffer;
        memcpy(to, source->next_input_byte, n);
        source->next_input_byte += n;
        source->bytes_in_buffer -= n;
        to += n;
        count -= n;
    }
}

// APP1 segments. The first EXIF one is read whole (at most 64 KB, from the decoder's pool) for
// its orientation and the day it was taken; the rest of it and every other APP1 segment are skipped as the library
// skips segments nobody asked for, so a file of many large segments costs no memory.
boolean ReadApp1Segment(j_decompress_ptr decoder) {
    JpegDecode* job = static_cast<JpegDecode*>(decoder->client_data);
    unsigned char field[2];
    ReadStreamBytes(decoder, field, sizeof field);
    const size_t length = ReadBigU16(field);
    size_t left = length > sizeof field ? length - sizeof field : 0;
    if (!job->SawExif && left >= ExifHeaderSize) {
        unsigned char start[ExifHeaderSize];
        ReadStreamBytes(decoder, start, sizeof start);
        left -= sizeof start;
        if (StartsWithExifHeader(start, sizeof start)) {
            unsigned char* payload = static_cast<unsigned char*>(
                (*decoder->mem->alloc_small)(Common(decoder), JPOOL_IMAGE, sizeof start + left));
            memcpy(payload, start, sizeof start);
            ReadStreamBytes(decoder, payload + sizeof start, left);
            job->Orientation = ExifOrientation(payload, sizeof start + left);
            ExifDateTaken(payload, sizeof start + left, &job->Taken);
            job->SawExif = true;
            left = 0;
        }
    }
    if (left > 0) (*decoder->src->skip_input_data)(decoder, static_cast<long>(left));
    return TRUE;
}

// What the library holds for the whole picture while it decodes: nothing much for one scan.
uint64_t WholePictureBytes(j_decompress_ptr decoder) {
    return jpeg_has_multiple_scans(decoder) ? CoefficientBufferBytes(decoder) : 0;
}

uint64_t ImageBytesAtScale(j_decompress_ptr decoder, unsigned int denominator) {
    decoder->scale_num = 1;
    decoder->scale_denom = denominator;
    jpeg_calc_output_dimensions(decoder);
    return DibStride(decoder->output_width, 24) * decoder->output_height;
}

// Everything is decided from the header, before jpeg_start_decompress allocates anything large.
void CheckHeader(j_decompress_ptr decoder, uint64_t inputLength) {
    if (StreamTooShortForFrame(decoder, inputLength)) {
        AbandonJpegDecode(Common(decoder), LoadFailure::FileTooShortForSize);
    }
    const uint64_t coefficients = WholePictureBytes(decoder);
    if (coefficients > 0 && coefficients + ImageBytesAtScale(decoder, 8) > DecodeMemoryBudget) {
        AbandonJpegDecode(Common(decoder), LoadFailure::ImageTooLargeToDecode);
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
        default: AbandonJpegDecode(Common(decoder), LoadFailure::UnsupportedColourSpace);
    }
}

// Where the rows go: straight into the image, or a band at a time into the sink.
struct RowTarget {
    unsigned char* Bits;  // of the image; none with a sink
    size_t Stride;
    RowSink* Sink;
    JDIMENSION BandRows;
};

JDIMENSION BatchRows(const RowTarget& target) { return target.Sink ? target.BandRows : RowBatch; }

// Row y from the top, the i-th of its batch.
unsigned char* TargetRow(const RowTarget& target, JDIMENSION height, JDIMENSION y, JDIMENSION i) {
    if (target.Sink) return target.Sink->BandRow(target.Sink->Context, i);
    return target.Bits + target.Stride * (height - 1 - y);
}

// The batch of count rows from row first (from the top) is complete.
void TargetTake(const RowTarget& target, JDIMENSION height, JDIMENSION first, JDIMENSION count) {
    if (target.Sink && count > 0) target.Sink->TakeBand(target.Sink->Context, height - 1 - first, count, true);
}

// Reads the rows straight into their places, then clears the pad bytes after each (a sink's
// rows have no pad of theirs).
void ReadBgrRows(j_decompress_ptr decoder, const RowTarget& target, const ColourTransform* colour) {
    const size_t pixelBytes = static_cast<size_t>(decoder->output_width) * 3;
    const JDIMENSION height = decoder->output_height;
    JSAMPROW rows[RowBatch];
    const JDIMENSION batch = BatchRows(target) < RowBatch ? BatchRows(target) : RowBatch;
    while (decoder->output_scanline < height) {
        const JDIMENSION first = decoder->output_scanline;
        JDIMENSION count = height - first;
        if (count > batch) count = batch;
        for (JDIMENSION i = 0; i < count; ++i) rows[i] = TargetRow(target, height, first + i, i);
        // A batch is filled whole before the sink takes it: the library may hand over fewer rows
        // than asked.
        JDIMENSION done = 0;
        while (done < count) {
            const JDIMENSION read = jpeg_read_scanlines(decoder, rows + done, count - done);
            if (read == 0) AbandonJpegDecode(Common(decoder), LoadFailure::DecoderReadNoRows);
            for (JDIMENSION i = done; i < done + read; ++i) {
                if (colour) TransformPixels(colour, rows[i], rows[i], decoder->output_width);
                if (!target.Sink) memset(rows[i] + pixelBytes, 0, target.Stride - pixelBytes);
            }
            done += read;
            if (!target.Sink) break;
        }
        TargetTake(target, height, first, done);
    }
}

void ReadCmykRows(j_decompress_ptr decoder, const RowTarget& target, const ColourTransform* colour) {
    const size_t pixelBytes = static_cast<size_t>(decoder->output_width) * 3;
    const JDIMENSION height = decoder->output_height;
    JSAMPARRAY samples = (*decoder->mem->alloc_sarray)(Common(decoder), JPOOL_IMAGE, decoder->output_width * 4, 1);
    const JDIMENSION batch = BatchRows(target);
    JDIMENSION first = 0, inBatch = 0;
    while (decoder->output_scanline < height) {
        const JDIMENSION y = decoder->output_scanline;
        if (inBatch == 0) first = y;
        unsigned char* row = TargetRow(target, height, y, inBatch);
        if (jpeg_read_scanlines(decoder, samples, 1) == 0)
            AbandonJpegDecode(Common(decoder), LoadFailure::DecoderReadNoRows);
        if (colour) {
            TransformPixels(colour, samples[0], row, decoder->output_width);
        } else {
            CmykRowToBgr(samples[0], row, decoder->output_width, decoder->saw_Adobe_marker);
        }
        if (!target.Sink) memset(row + pixelBytes, 0, target.Stride - pixelBytes);
        if (++inBatch == batch || decoder->output_scanline == height) {
            TargetTake(target, height, first, inBatch);
            inBatch = 0;
        }
    }
}

// Whether the picture could be held whole at full size, as CreateLargestImage would first try.
bool WholeBlockFits(j_decompress_ptr decoder) {
    const uint64_t coefficients = WholePictureBytes(decoder);
    const uint64_t imageBytes = ImageBytesAtScale(decoder, 1);
    return DibSizeIsAddressable(decoder->output_width, decoder->output_height, 24) &&
           !(coefficients > 0 && coefficients + imageBytes > DecodeMemoryBudget);
}

// Hands the rows to the sink when it reduces the picture: at full size when the picture could be
// held whole, so that its bytes are those of the whole picture's reduction; past that at the
// smallest of the library's scales (n/8) whose output still covers the fitted size, which costs
// the least work and memory. False (scale untouched) when the picture loads whole.
bool StreamToSink(JpegDecode* job) {
    j_decompress_ptr decoder = &job->Decoder;
    RowSink* sink = job->Sink;
    const int32_t width = static_cast<int32_t>(decoder->image_width);
    const int32_t height = static_cast<int32_t>(decoder->image_height);
    int32_t fitWidth, fitHeight;
    if (!sink || width <= 0 || height <= 0 ||
        !sink->Fit(sink->Context, width, height, job->Orientation, &fitWidth, &fitHeight))
        return false;
    if (!WholeBlockFits(decoder)) {
        for (unsigned int numerator = 1; numerator <= 8; ++numerator) {
            decoder->scale_num = numerator;
            decoder->scale_denom = 8;
            jpeg_calc_output_dimensions(decoder);
            if (static_cast<int64_t>(decoder->output_width) >= fitWidth &&
                static_cast<int64_t>(decoder->output_height) >= fitHeight)
                break;
        }
    }
    if (sink->Begin(sink->Context, static_cast<int32_t>(decoder->output_width),
                    static_cast<int32_t>(decoder->output_height), job->Orientation, &job->BandRows) &&
        job->BandRows > 0) {
        return true;
    }
    decoder->scale_num = 1;
    decoder->scale_denom = 1;
    jpeg_calc_output_dimensions(decoder);
    return false;
}

// The image block for the decode: full size, or where that block would pass the size every build
// addresses, or with the library's coefficient buffer the decode's budget, or cannot be had, the
// largest of 1/2, 1/4 and 1/8 that can. The show fits the picture to the screen anyway, so a
// panorama too large to hold whole is still shown. A decode that ran out of memory at one scale
// is tried again from firstDenominator on.
PackedDib CreateLargestImage(j_decompress_ptr decoder, unsigned int firstDenominator) {
    LoadFailure reason = LoadFailure::ImageTooLarge;
    const uint64_t coefficients = WholePictureBytes(decoder);
    for (unsigned int denominator = firstDenominator; denominator <= 8; denominator *= 2) {
        const uint64_t imageBytes = ImageBytesAtScale(decoder, denominator);
        if (!DibSizeIsAddressable(decoder->output_width, decoder->output_height, 24)) continue;
        if (coefficients > 0 && coefficients + imageBytes > DecodeMemoryBudget) {
            reason = LoadFailure::ImageTooLargeToDecode;
            continue;
        }
        if (PackedDib image = CreatePackedDib(decoder->output_width, decoder->output_height, 24)) return image;
        reason = LoadFailure::OutOfMemory;
    }
    AbandonJpegDecode(Common(decoder), reason);
}

// Runs the decode of an attached source into job->Image. Fatal errors leave through the trap.
void DecodeAttached(JpegDecode* job, unsigned int firstDenominator) {
    j_decompress_ptr decoder = &job->Decoder;
    jpeg_read_header(decoder, TRUE);
    CheckHeader(decoder, job->InputLength);
    const uint64_t onePass = ScanWorkPasses * DCTSIZE2 * FrameBlocks(decoder);
    job->Progress.ScanWorkAllowed = onePass > LeastScanWork ? onePass : LeastScanWork;
    job->Colour = JpegColourTransform(decoder);
    decoder->progress = &job->Progress.Manager;

    // The block (or the sink's buffers) comes before jpeg_start_decompress, which absorbs every
    // scan of a multi-scan file: a picture with no room fails before that work, not after it.
    job->Streamed = firstDenominator == 1 && StreamToSink(job);
    if (!job->Streamed) job->Image = CreateLargestImage(decoder, firstDenominator);

    jpeg_start_decompress(decoder);
    RowTarget target = {job->Image ? PackedDibBits(job->Image) : nullptr,
                        static_cast<size_t>(DibStride(decoder->output_width, 24)), nullptr, 0};
    if (job->Streamed) {
        target.Sink = job->Sink;
        target.BandRows = job->BandRows;
    }
    if (decoder->out_color_space == JCS_CMYK) {
        ReadCmykRows(decoder, target, job->Colour);
    } else {
        ReadBgrRows(decoder, target, job->Colour);
    }
    jpeg_finish_decompress(decoder);
    if (job->Streamed) {
        job->Image = job->Sink->Finish(job->Sink->Context);
        if (!job->Image) AbandonJpegDecode(Common(decoder), LoadFailure::OutOfMemory);
    }
}

// Reads the stream from file when it is not null, else from bytes through the memory source.
// outOfMemory: the library found no room for its buffers beside an image smaller than 1/8 would be.
LoadResult DecodeJpegAt(FILE* file, uint64_t fileLength, const unsigned char* bytes, uint32_t length,
                        const LoadControl& control, unsigned int firstDenominator, unsigned int* outOfMemoryAt) {
    JpegDecode job;
    job.Image = nullptr;
    job.Sink = control.Sink;
    job.Streamed = false;
    job.BandRows = 0;
    job.Colour = nullptr;
    job.Progress = {};
    job.Progress.Manager.progress_monitor = MonitorProgress;
    job.Progress.Control = &control;
    job.InputLength = file ? fileLength : length;
    job.SawExif = false;
    job.Orientation = 1;
    job.Taken = {};
    job.Decoder.err = InitJpegErrorTrap(&job.Trap);
    *outOfMemoryAt = 0;
    if (setjmp(job.Trap.Escape)) {
        if (job.Trap.Manager.msg_code == JERR_OUT_OF_MEMORY && job.Image) {
            *outOfMemoryAt = job.Decoder.scale_denom;
        }
        jpeg_destroy_decompress(&job.Decoder);
        FreeColourTransform(job.Colour);
        free(job.Image);
        return job.Progress.CutShort ? CutShortLoad() : NoImage(job.Trap.Failure, job.Trap.Message);
    }
    jpeg_create_decompress(&job.Decoder);
    // The header check holds the library to the budget; where long cannot say it (64-bit
    // Windows), the library is left unbounded.
    job.Decoder.mem->max_memory_to_use =
        DecodeMemoryBudget <= static_cast<uint64_t>(LONG_MAX) ? static_cast<long>(DecodeMemoryBudget) : 0;
    job.Decoder.client_data = &job;
    jpeg_set_marker_processor(&job.Decoder, JPEG_APP0 + 1, ReadApp1Segment);
    KeepJpegProfileSegments(&job.Decoder);
    if (file) {
        AttachJpegFileSource(&job.Decoder, file, control, &job.Progress.CutShort);
    } else {
        AttachMemorySource(&job.Decoder, bytes, length);
    }
    DecodeAttached(&job, firstDenominator);
    FreeColourTransform(job.Colour);
    const DibLayout layout = ReadDibLayout(job.Image);
    const size_t blockSize =
        layout.bitsOffset + static_cast<size_t>(DibStride(static_cast<uint64_t>(layout.width), 24)) * layout.height;
    LoadResult result = LoadedImage(job.Image, blockSize);
    result.Orientation = job.Orientation;
    result.Taken = job.Taken;
    jpeg_destroy_decompress(&job.Decoder);
    return result;
}

// A decode whose buffers found no room beside its image is tried again with a smaller image, from
// the stream's start.
LoadResult DecodeJpeg(FILE* file, uint64_t fileLength, const unsigned char* bytes, uint32_t length,
                      const LoadControl& control) {
    unsigned int firstDenominator = 1;
    for (;;) {
        unsigned int outOfMemoryAt = 0;
        LoadResult result = DecodeJpegAt(file, fileLength, bytes, length, control, firstDenominator, &outOfMemoryAt);
        if (outOfMemoryAt == 0 || outOfMemoryAt >= 8 || (file && !SeekFileTo(file, 0))) return result;
        firstDenominator = outOfMemoryAt * 2;
    }
}

LoadResult DecodeJpegFile(FILE* file, const LoadControl& control) {
    return DecodeJpeg(file, FileLength(file), nullptr, 0, control);
}

}  // namespace

LoadResult LoadJpegFile(const char* path, const LoadControl& control) {
    return LoadFromFile(path, control, DecodeJpegFile);
}

LoadResult LoadJpegMemory(const unsigned char* bytes, uint32_t length, const LoadControl& control) {
    return DecodeJpeg(nullptr, 0, bytes, length, control);
}
