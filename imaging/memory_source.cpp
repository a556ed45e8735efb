// The memory source. The whole block is handed over at the first request; a second request
// means the stream ended early, and gets an end-of-image marker with a warning, as the library's
// file source does, so that a cut stream still yields what it holds.
#include "imaging/memory_source.h"

#include <jerror.h>

namespace {

const JOCTET EndOfImage[2] = {0xFF, JPEG_EOI};

MemorySource* SourceOf(j_decompress_ptr decoder) { return reinterpret_cast<MemorySource*>(decoder->src); }

void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr decoder) {
    MemorySource* source = SourceOf(decoder);
    if (!source->BlockHandedOver) {
        source->BlockHandedOver = true;
        if (source->BlockLength == 0) ERREXIT(decoder, JERR_INPUT_EMPTY);
        source->pub.next_input_byte = source->BlockStart;
        source->pub.bytes_in_buffer = source->BlockLength;
        return TRUE;
    }
    WARNMS(decoder, JWRN_JPEG_EOF);
    source->pub.next_input_byte = EndOfImage;
    source->pub.bytes_in_buffer = sizeof EndOfImage;
    return TRUE;
}

void SkipInputData(j_decompress_ptr decoder, long count) {
    MemorySource* source = SourceOf(decoder);
    if (count <= 0) return;
    while (static_cast<unsigned long>(count) > source->pub.bytes_in_buffer) {
        const bool blockHandedOver = source->BlockHandedOver;
        count -= static_cast<long>(source->pub.bytes_in_buffer);
        source->pub.bytes_in_buffer = 0;
        (*source->pub.fill_input_buffer)(decoder);
        if (blockHandedOver) return;  // skipped past the end: only the closing marker is left
    }
    source->pub.next_input_byte += count;
    source->pub.bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr) {}

}  // namespace

void AttachMemorySource(j_decompress_ptr decoder, const unsigned char* blockStart, uint32_t blockLength) {
    if (decoder->src == nullptr || decoder->src->init_source != InitSource) {
        decoder->src = static_cast<jpeg_source_mgr*>((*decoder->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(decoder), JPOOL_PERMANENT, sizeof(MemorySource)));
    }
    MemorySource* source = SourceOf(decoder);
    source->pub.init_source = InitSource;
    source->pub.fill_input_buffer = FillInputBuffer;
    source->pub.skip_input_data = SkipInputData;
    source->pub.resync_to_restart = jpeg_resync_to_restart;
    source->pub.term_source = TermSource;
    source->pub.next_input_byte = nullptr;
    source->pub.bytes_in_buffer = 0;
    source->BlockStart = blockStart;
    source->BlockLength = blockLength;
    source->BlockHandedOver = false;
}
