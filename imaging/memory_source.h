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
    // Calls the decoder made; a loader reports them, so that tests can see how it read the stream.
    uint32_t FillCalls;
    uint32_t SkipCalls;
};

// Makes the decoder read its compressed data from these bytes, which must stay valid and
// unchanged until the decoder is destroyed. The record comes from the decoder's permanent pool;
// a source of another kind already attached is replaced, never reused.
void AttachMemorySource(j_decompress_ptr decoder, const unsigned char* blockStart, uint32_t blockLength);
