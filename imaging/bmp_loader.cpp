// BMP files: the body after the 14-byte file header already has the packed DIB layout, so once
// its header has been checked it becomes the image block as it is, read straight into the block.
#include "imaging/bmp_loader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imaging/bmp_body.h"

namespace {

const long FileHeaderSize = 14;

// A few milliseconds of reading from a disk: small enough that waiting input is answered at once,
// large enough that asking costs nothing.
const size_t ReadPiece = 4u << 20;

// Reads length bytes into block, asking the control between pieces. False when a read falls short.
bool ReadInPieces(FILE* file, unsigned char* block, size_t length, const LoadControl& control, bool* cutShort) {
    for (size_t done = 0; done < length;) {
        if (done > 0 && !LoadMayGoOn(control)) {
            *cutShort = true;
            return false;
        }
        const size_t piece = length - done < ReadPiece ? length - done : ReadPiece;
        if (fread(block + done, 1, piece, file) != piece) return false;
        done += piece;
    }
    return true;
}

// An uncompressed 24-bit picture the sink reduces: its rows are read in the file's order, a band
// at a time, into the sink, and the whole body is never held. False when the sink does not take
// it, and the body is read whole.
bool StreamBmpRows(FILE* file, const unsigned char* header, const LoadControl& control, LoadResult* result) {
    RowSink* sink = control.Sink;
    const DibLayout layout = ReadDibLayout(header);
    if (!sink || layout.bitCount != 24 || layout.compression != DibCompressionRgb) return false;
    const bool topDown = layout.height < 0;
    const int32_t width = layout.width;
    const int32_t height = topDown ? -layout.height : layout.height;
    uint32_t bandRows = 0;
    if (!sink->Begin(sink->Context, width, height, 1, &bandRows) || bandRows == 0) return false;
    const size_t stride = static_cast<size_t>(DibStride(static_cast<uint64_t>(width), 24));
    const size_t pixelBytes = 3 * static_cast<size_t>(width);
    *result = NoImage(LoadFailure::CannotRead);
    if (!SeekFileTo(file, static_cast<uint64_t>(FileHeaderSize) + layout.bitsOffset)) {
        sink->Finish(sink->Context);
        return true;
    }
    size_t sinceAsked = 0;
    for (uint32_t done = 0; done < static_cast<uint32_t>(height);) {
        const uint32_t left = static_cast<uint32_t>(height) - done;
        const uint32_t count = left < bandRows ? left : bandRows;
        for (uint32_t i = 0; i < count; ++i) {
            unsigned char* row = sink->BandRow(sink->Context, i);
            // The pad goes past the row's room in the sink: it is read and dropped.
            unsigned char pad[4];
            if (fread(row, 1, pixelBytes, file) != pixelBytes ||
                fread(pad, 1, stride - pixelBytes, file) != stride - pixelBytes) {
                sink->Finish(sink->Context);
                return true;
            }
        }
        sink->TakeBand(sink->Context, topDown ? static_cast<uint32_t>(height) - 1 - done : done, count, topDown);
        done += count;
        sinceAsked += stride * count;
        if (sinceAsked >= ReadPiece && done < static_cast<uint32_t>(height)) {
            sinceAsked = 0;
            if (!LoadMayGoOn(control)) {
                sink->Finish(sink->Context);
                *result = CutShortLoad();
                return true;
            }
        }
    }
    PackedDib image = sink->Finish(sink->Context);
    if (!image) {
        *result = NoImage(LoadFailure::OutOfMemory);
        return true;
    }
    const DibLayout reduced = ReadDibLayout(image);
    *result = LoadedImage(
        image, reduced.bitsOffset + static_cast<size_t>(DibStride(static_cast<uint64_t>(reduced.width), 24)) *
                                        static_cast<size_t>(reduced.height));
    return true;
}

LoadResult ReadBmpBody(FILE* file, const LoadControl& control) {
    unsigned char fileHeader[FileHeaderSize];
    const size_t got = fread(fileHeader, 1, sizeof fileHeader, file);
    if (got < 2 || fileHeader[0] != 'B' || fileHeader[1] != 'M') return NoImage(LoadFailure::NotBmp);
    if (got < sizeof fileHeader) return NoImage(LoadFailure::FileTooShortForHeader);

    const uint64_t length = FileLength(file);
    if (length < static_cast<uint64_t>(FileHeaderSize)) return NoImage(LoadFailure::CannotRead);
    const uint64_t bodyLength = length - FileHeaderSize;
    if (bodyLength > SIZE_MAX) return NoImage(LoadFailure::FileTooLarge);

    // Decide from the header alone, before the block for the whole body is allocated.
    unsigned char header[BmpLargestHeaderSize];
    const size_t headerBytes = bodyLength < sizeof header ? static_cast<size_t>(bodyLength) : sizeof header;
    if (fseek(file, FileHeaderSize, SEEK_SET) != 0 || fread(header, 1, headerBytes, file) != headerBytes) {
        return NoImage(LoadFailure::CannotRead);
    }
    const LoadFailure fault = FindBmpBodyFault(header, bodyLength);
    if (fault != LoadFailure::None) return NoImage(fault);
    LoadResult streamed;
    if (StreamBmpRows(file, header, control, &streamed)) return streamed;

    PackedDib image = static_cast<PackedDib>(malloc(static_cast<size_t>(bodyLength)));
    if (!image) return NoImage(LoadFailure::OutOfMemory);
    bool cutShort = false;
    if (fseek(file, FileHeaderSize, SEEK_SET) != 0 ||
        !ReadInPieces(file, image, static_cast<size_t>(bodyLength), control, &cutShort) ||
        memcmp(image, header, headerBytes) != 0) {  // the file changed under us: checks are void
        free(image);
        return cutShort ? CutShortLoad() : NoImage(LoadFailure::CannotRead);
    }
    TurnBmpBottomUp(image);
    return LoadedImage(image, static_cast<size_t>(bodyLength));
}

}  // namespace

LoadResult LoadBmpFile(const char* path, const LoadControl& control) {
    return LoadFromFile(path, control, ReadBmpBody);
}
