// The JPEG file source: reads as jpeg_stdio_src does (a warning and an end-of-image marker when
// the file ends early, "Empty input file" when it has nothing), asks as it goes.
#include "imaging/jpeg_file_source.h"

#include <jerror.h>

#include "imaging/jpeg_error_trap.h"

namespace {

// A few milliseconds of reading: waiting input is answered at once, asking costs nothing.
const uint64_t AskEvery = 4u << 20;

const JOCTET EndOfImage[2] = {0xFF, JPEG_EOI};

JpegFileSource* SourceOf(j_decompress_ptr decoder) { return reinterpret_cast<JpegFileSource*>(decoder->src); }

void Count(j_decompress_ptr decoder, uint64_t bytes) {
    JpegFileSource* source = SourceOf(decoder);
    source->SinceAsked += bytes;
    if (source->SinceAsked < AskEvery) return;
    source->SinceAsked = 0;
    if (!LoadMayGoOn(*source->Control)) {
        *source->CutShort = true;
        AbandonJpegDecode(reinterpret_cast<j_common_ptr>(decoder), LoadFailure::CutShort);
    }
}

void InitSource(j_decompress_ptr decoder) { SourceOf(decoder)->StartOfFile = true; }

boolean FillInputBuffer(j_decompress_ptr decoder) {
    JpegFileSource* source = SourceOf(decoder);
    const size_t got = fread(source->Buffer, 1, sizeof source->Buffer, source->File);
    if (got == 0) {
        if (source->StartOfFile) ERREXIT(decoder, JERR_INPUT_EMPTY);
        WARNMS(decoder, JWRN_JPEG_EOF);
        source->RanOut = true;
        source->pub.next_input_byte = EndOfImage;
        source->pub.bytes_in_buffer = sizeof EndOfImage;
        return TRUE;
    }
    source->StartOfFile = false;
    source->pub.next_input_byte = source->Buffer;
    source->pub.bytes_in_buffer = got;
    Count(decoder, got);
    return TRUE;
}

// Skipped bytes past the buffer are sought over; a seek past the end leaves the next read at the
// end of the file, where the library's source would have read its way to.
void SkipInputData(j_decompress_ptr decoder, long count) {
    JpegFileSource* source = SourceOf(decoder);
    if (count <= 0) return;
    const size_t wanted = static_cast<size_t>(count);
    if (wanted <= source->pub.bytes_in_buffer) {
        source->pub.next_input_byte += wanted;
        source->pub.bytes_in_buffer -= wanted;
        return;
    }
    const uint64_t beyond = wanted - source->pub.bytes_in_buffer;
    source->pub.bytes_in_buffer = 0;
    if (source->RanOut || !SeekFileBy(source->File, beyond)) {
        // Read through, as the library does, until the count is spent or the file is.
        uint64_t left = beyond;
        while (left > 0) {
            FillInputBuffer(decoder);
            if (source->RanOut) return;
            const size_t n =
                left < source->pub.bytes_in_buffer ? static_cast<size_t>(left) : source->pub.bytes_in_buffer;
            source->pub.next_input_byte += n;
            source->pub.bytes_in_buffer -= n;
            left -= n;
        }
        return;
    }
    Count(decoder, beyond);
}

void TermSource(j_decompress_ptr) {}

}  // namespace

void AttachJpegFileSource(j_decompress_ptr decoder, FILE* file, const LoadControl& control, volatile bool* cutShort) {
    JpegFileSource* source = static_cast<JpegFileSource*>(
        (*decoder->mem->alloc_small)(reinterpret_cast<j_common_ptr>(decoder), JPOOL_PERMANENT, sizeof(JpegFileSource)));
    source->pub.init_source = InitSource;
    source->pub.fill_input_buffer = FillInputBuffer;
    source->pub.skip_input_data = SkipInputData;
    source->pub.resync_to_restart = jpeg_resync_to_restart;
    source->pub.term_source = TermSource;
    source->pub.next_input_byte = nullptr;
    source->pub.bytes_in_buffer = 0;
    source->File = file;
    source->Control = &control;
    source->CutShort = cutShort;
    source->SinceAsked = 0;
    source->StartOfFile = true;
    source->RanOut = false;
    decoder->src = &source->pub;
}
