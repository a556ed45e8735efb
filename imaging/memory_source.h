// The memory source: feeds the decoder a JPEG stream that is already in memory (the embedded
// logo), as jpeg_stdio_src feeds it a file.
#pragma once
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

struct MemorySource {
    jpeg_source_mgr pub;  // first: the decoder sees the library's own record
    const JOCTET* BlockStart;
    uint32_t BlockLength;
    bool BlockHandedOver;  // the first request for data took the whole block
};

// Makes the decoder read its compressed data from these bytes, which must stay valid and
// unchanged until the decoder is destroyed. The record comes from the decoder's permanent pool;
// a source of another kind already attached is replaced, never reused.
void AttachMemorySource(j_decompress_ptr decoder, const unsigned char* blockStart, uint32_t blockLength);
