// The file is read in growing pieces only as far as the first frame's bytes go, the demuxer
// finding the frame; libwebp's incremental decoder then takes those bytes a piece at a time, so a
// load can stop between pieces. A frame without alpha that fills the canvas is decoded straight
// into the image's bottom-up rows; any other is decoded premultiplied (which is the colour on
// black) and placed on a black canvas.
#include "imaging/webp_loader.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstdlib>
#include <cstring>

#include "imaging/colour_profile.h"

namespace {

const size_t FirstRead = 64u << 10;
// The decoder is handed the frame's bytes this many at a time, asked between pieces.
const size_t DecodePiece = 256u << 10;
// The most bytes read for one frame: more than any picture the image block can hold needs.
const uint64_t MostFileBytes = 1u << 30;
const uint32_t RowBatch = 16;

struct WebpFile {
    FILE* File;
    uint64_t Length;
    unsigned char* Bytes;  // malloc'd, the file's first Held bytes
    size_t Held;
};

// Reads on to `want` bytes (at most the file's); false when the file or the heap fails.
bool ReadUpTo(WebpFile* webp, size_t want) {
    if (want > webp->Length) want = static_cast<size_t>(webp->Length);
    if (want <= webp->Held) return true;
    unsigned char* grown = static_cast<unsigned char*>(realloc(webp->Bytes, want));
    if (!grown) return false;
    webp->Bytes = grown;
    const size_t got = fread(webp->Bytes + webp->Held, 1, want - webp->Held, webp->File);
    webp->Held += got;
    return webp->Held == want;
}

struct Demuxed {
    WebPDemuxer* Demuxer;
    WebPIterator Frame;
};

// The demuxer over the bytes held, once they hold all of the first frame; the reason otherwise.
LoadFailure FindFirstFrame(WebpFile* webp, const LoadControl& control, Demuxed* found, bool* cutShort) {
    for (;;) {
        WebPData data = {webp->Bytes, webp->Held};
        WebPDemuxState state;
        WebPDemuxer* demuxer = WebPDemuxPartial(&data, &state);
        if (!demuxer || state == WEBP_DEMUX_PARSE_ERROR) {
            WebPDemuxDelete(demuxer);
            return LoadFailure::DamagedWebpFile;  // whether the bytes end or the parse fails there
        }
        if (demuxer && WebPDemuxGetFrame(demuxer, 1, &found->Frame)) {
            if (found->Frame.complete) {
                found->Demuxer = demuxer;
                return LoadFailure::None;
            }
            WebPDemuxReleaseIterator(&found->Frame);
        }
        WebPDemuxDelete(demuxer);
        if (webp->Held == webp->Length) return LoadFailure::FileTruncated;
        if (!LoadMayGoOn(control)) {
            *cutShort = true;
            return LoadFailure::CutShort;
        }
        const uint64_t want = webp->Held * 2u;
        if (want > MostFileBytes) return LoadFailure::ImageTooLarge;
        if (!ReadUpTo(webp, static_cast<size_t>(want))) return LoadFailure::CannotRead;
    }
}

// The frame's bytes are all there when the decoder sees them: a decoder that wants more has
// damaged data.
LoadFailure DecodeStatusReason(VP8StatusCode status) {
    switch (status) {
        case VP8_STATUS_OUT_OF_MEMORY: return LoadFailure::OutOfMemory;
        case VP8_STATUS_UNSUPPORTED_FEATURE: return LoadFailure::UnsupportedWebpFeature;
        default: return LoadFailure::DamagedWebpData;
    }
}

// Decodes the frame's bytes into the output the configuration names, a piece at a time.
LoadFailure DecodeFrame(const WebPIterator& frame, WebPDecoderConfig* config, const LoadControl& control,
                        bool* cutShort) {
    WebPIDecoder* decoder = WebPIDecode(nullptr, 0, config);
    if (!decoder) return LoadFailure::OutOfMemory;
    const uint8_t* bytes = frame.fragment.bytes;
    const size_t size = frame.fragment.size;
    VP8StatusCode status = VP8_STATUS_SUSPENDED;
    for (size_t given = 0; status == VP8_STATUS_SUSPENDED && given < size;) {
        if (!LoadMayGoOn(control)) {
            WebPIDelete(decoder);
            *cutShort = true;
            return LoadFailure::CutShort;
        }
        given = size - given < DecodePiece ? size : given + DecodePiece;
        status = WebPIUpdate(decoder, bytes, given);
    }
    WebPIDelete(decoder);
    return status == VP8_STATUS_OK ? LoadFailure::None : DecodeStatusReason(status);
}

// Premultiplied blue, green, red and alpha: the first three are the pixel on black.
void PlaceOnCanvas(const unsigned char* bgra, const WebPIterator& frame, PackedDib image, size_t stride,
                   uint32_t canvasHeight) {
    unsigned char* bits = PackedDibBits(image);
    for (int y = 0; y < frame.height; ++y) {
        const unsigned char* from = bgra + static_cast<size_t>(y) * frame.width * 4;
        unsigned char* to =
            bits + stride * (canvasHeight - 1 - (frame.y_offset + y)) + static_cast<size_t>(frame.x_offset) * 3;
        for (int x = 0; x < frame.width; ++x, from += 4, to += 3) memcpy(to, from, 3);
    }
}

LoadFailure DrawFirstFrame(const Demuxed& demuxed, PackedDib image, uint32_t width, uint32_t height,
                           const LoadControl& control, bool* cutShort) {
    const WebPIterator& frame = demuxed.Frame;
    const size_t stride = static_cast<size_t>(DibStride(width, 24));
    unsigned char* bits = PackedDibBits(image);
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return LoadFailure::UnsupportedWebpLibrary;
    config.output.is_external_memory = 1;
    const bool direct = !frame.has_alpha && frame.x_offset == 0 && frame.y_offset == 0 &&
                        static_cast<uint32_t>(frame.width) == width && static_cast<uint32_t>(frame.height) == height;
    if (direct) {
        config.output.colorspace = MODE_BGR;
        config.options.flip = 1;  // bottom-up, as the image keeps its rows
        config.output.u.RGBA.rgba = bits;
        config.output.u.RGBA.stride = static_cast<int>(stride);
        config.output.u.RGBA.size = stride * height;
        const LoadFailure reason = DecodeFrame(frame, &config, control, cutShort);
        const size_t pixelBytes = static_cast<size_t>(width) * 3;
        for (uint32_t y = 0; y < height; ++y) memset(bits + stride * y + pixelBytes, 0, stride - pixelBytes);
        return reason;
    }
    memset(bits, 0, stride * height);
    if (!DibSizeIsAddressable(frame.width, frame.height, 32)) return LoadFailure::ImageTooLarge;
    const size_t frameBytes = static_cast<size_t>(frame.width) * frame.height * 4;
    unsigned char* bgra = static_cast<unsigned char*>(malloc(frameBytes));
    if (!bgra) return LoadFailure::OutOfMemory;
    config.output.colorspace = MODE_bgrA;
    config.output.u.RGBA.rgba = bgra;
    config.output.u.RGBA.stride = frame.width * 4;
    config.output.u.RGBA.size = frameBytes;
    const LoadFailure reason = DecodeFrame(frame, &config, control, cutShort);
    if (reason == LoadFailure::None) PlaceOnCanvas(bgra, frame, image, stride, height);
    free(bgra);
    return reason;
}

LoadFailure ApplyProfile(const Demuxed& demuxed, PackedDib image, uint32_t width, uint32_t height,
                         const LoadControl& control, bool* cutShort) {
    WebPChunkIterator chunk;
    if (!WebPDemuxGetChunk(demuxed.Demuxer, "ICCP", 1, &chunk)) return LoadFailure::None;
    ColourTransform* transform = TransformFromProfile(chunk.chunk.bytes, chunk.chunk.size, ColourPixels::Bgr);
    WebPDemuxReleaseChunkIterator(&chunk);
    if (!transform) return LoadFailure::None;
    const size_t stride = static_cast<size_t>(DibStride(width, 24));
    unsigned char* bits = PackedDibBits(image);
    for (uint32_t y = 0; y < height; ++y) {
        if (y % RowBatch == 0 && !LoadMayGoOn(control)) {
            *cutShort = true;
            break;
        }
        unsigned char* row = bits + stride * y;
        TransformPixels(transform, row, row, width);
    }
    FreeColourTransform(transform);
    return *cutShort ? LoadFailure::CutShort : LoadFailure::None;
}

LoadResult Decode(WebpFile* webp, const LoadControl& control) {
    if (webp->Length == 0) return NoImage(LoadFailure::EmptyFile);
    if (!ReadUpTo(webp, FirstRead)) return NoImage(LoadFailure::CannotRead);
    if (webp->Held < 12 || memcmp(webp->Bytes, "RIFF", 4) != 0 || memcmp(webp->Bytes + 8, "WEBP", 4) != 0) {
        return NoImage(LoadFailure::NotWebp);
    }
    WebPBitstreamFeatures features;
    const VP8StatusCode status = WebPGetFeatures(webp->Bytes, webp->Held, &features);
    if (status == VP8_STATUS_NOT_ENOUGH_DATA) return NoImage(LoadFailure::FileTruncated);
    if (status != VP8_STATUS_OK) return NoImage(DecodeStatusReason(status));
    const uint32_t width = static_cast<uint32_t>(features.width), height = static_cast<uint32_t>(features.height);
    if (!DibSizeIsAddressable(width, height, 24)) return NoImage(LoadFailure::ImageTooLarge);

    bool cutShort = false;
    Demuxed demuxed = {};
    LoadFailure reason = FindFirstFrame(webp, control, &demuxed, &cutShort);
    if (reason != LoadFailure::None) return cutShort ? CutShortLoad() : NoImage(reason);
    const WebPIterator& frame = demuxed.Frame;
    PackedDib image = nullptr;
    if (frame.width <= 0 || frame.height <= 0 || static_cast<uint32_t>(frame.x_offset + frame.width) > width ||
        static_cast<uint32_t>(frame.y_offset + frame.height) > height) {
        reason = LoadFailure::DamagedWebpFile;
    } else if (!(image = CreatePackedDib(width, height, 24))) {
        reason = LoadFailure::OutOfMemory;
    } else {
        reason = DrawFirstFrame(demuxed, image, width, height, control, &cutShort);
        if (reason == LoadFailure::None) reason = ApplyProfile(demuxed, image, width, height, control, &cutShort);
    }
    WebPDemuxReleaseIterator(&demuxed.Frame);
    WebPDemuxDelete(demuxed.Demuxer);
    if (reason != LoadFailure::None) {
        free(image);
        return cutShort ? CutShortLoad() : NoImage(reason);
    }
    return LoadedImage(image, DibInfoHeaderSize + static_cast<size_t>(DibStride(width, 24)) * height);
}

LoadResult DecodeWebpFile(FILE* file, const LoadControl& control) {
    WebpFile webp = {file, FileLength(file), nullptr, 0};
    LoadResult result = Decode(&webp, control);
    free(webp.Bytes);
    return result;
}

}  // namespace

LoadResult LoadWebpFile(const char* path, const LoadControl& control) {
    return LoadFromFile(path, control, DecodeWebpFile);
}
