// PNG decoding: libpng's transformations turn each row of any kind of PNG into a row of the image
// as the image keeps it, and libpng writes it straight into the image's bottom-up rows, where
// Adam7's later passes fill in around the earlier ones: no second copy of the picture is held.
#include "imaging/png_loader.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <png.h>

#include "imaging/png_colour_chunks.h"

namespace {

// The most bytes deflate gives for one compressed byte: compressed data shorter than the filtered
// rows over this cannot hold them, however it was made.
const uint64_t DeflateMostExpansion = 1032;

// Beyond this much work a file pays for all of it at deflate's best rate, a row read counting as
// this many bytes: a picture of a hundred megabytes is loaded whatever its file holds, a larger
// one only when its compressed data could hold what it costs.
const uint64_t FreeWork = 1u << 27;
const uint64_t RowReadCost = 64;

// The load asks whether to go on before every this many rows of every pass...
const uint32_t RowBatch = 16;
// ...after every this many bytes libpng reads (the chunks before the rows may run to any length)...
const uint64_t ReadPiece = 4u << 20;
// ...and every this many chunks while it counts the compressed data.
const uint32_t ChunkBatch = 4096;

struct PngDecode {
    png_structp Png;
    png_infop Info;
    FILE* File;
    uint64_t FileLength;
    const LoadControl* Control;
    uint64_t ReadSinceAsked;
    jmp_buf Escape;  // where errors go; set before any library call
    LoadFailure Failure;
    char Message[LoadReasonSize];  // libpng's, when Failure is Decoder
    volatile bool CutShort;        // read again after a jump out of the library
    PackedDib volatile Image;      // read again after a jump out of the library
    size_t BlockSize;
    PngColourChunks Colour;
    ColourTransform* volatile Transform;  // read again after a jump out of the library
};

[[noreturn]] void AbandonPngDecode(PngDecode* job, LoadFailure failure) {
    job->Failure = failure;
    longjmp(job->Escape, 1);
}

[[noreturn]] void LeaveOnError(png_structp png, png_const_charp message) {
    PngDecode* job = static_cast<PngDecode*>(png_get_error_ptr(png));
    snprintf(job->Message, sizeof job->Message, "%s", message);
    LowerFirstLetter(job->Message);
    AbandonPngDecode(job, LoadFailure::Decoder);
}

// Warnings (damaged ancillary chunks, extra data) cost nothing of the picture.
void IgnoreWarning(png_structp, png_const_charp) {}

void AskToGoOn(PngDecode* job) {
    if (!LoadMayGoOn(*job->Control)) {
        job->CutShort = true;
        AbandonPngDecode(job, LoadFailure::CutShort);
    }
}

void ReadFromFile(png_structp png, png_bytep data, size_t length) {
    PngDecode* job = static_cast<PngDecode*>(png_get_io_ptr(png));
    if (fread(data, 1, length, job->File) != length) {
        AbandonPngDecode(job, feof(job->File) ? LoadFailure::FileTruncated : LoadFailure::CannotRead);
    }
    job->ReadSinceAsked += length;
    if (job->ReadSinceAsked >= ReadPiece) {
        job->ReadSinceAsked = 0;
        AskToGoOn(job);
    }
}

uint64_t RowBytes(uint64_t width, uint64_t bitsPerPixel) { return (width * bitsPerPixel + 7) / 8; }

// What the compressed data must inflate to: every row of every pass after its filter byte.
uint64_t FilteredBytes(uint32_t width, uint32_t height, uint32_t bitsPerPixel, bool interlaced) {
    if (!interlaced) return height * (1 + RowBytes(width, bitsPerPixel));
    uint64_t bytes = 0;
    for (int pass = 0; pass < 7; ++pass) {
        const uint32_t columns = PNG_PASS_COLS(width, pass);
        if (columns == 0) continue;  // a pass with no pixels has no rows either
        bytes += static_cast<uint64_t>(PNG_PASS_ROWS(height, pass)) * (1 + RowBytes(columns, bitsPerPixel));
    }
    return bytes;
}

// The bytes of image data the file holds in the run of IDAT chunks that starts with the one whose
// header libpng has just read, counted until they reach enough. A chunk's length is believed only
// as far as the file goes: a short file that claims long chunks holds no more for it. The file is
// left where libpng left it.
uint64_t CompressedBytes(PngDecode* job, uint64_t enough) {
    FILE* file = job->File;
    uint64_t resume = 0;
    const uint64_t end = job->FileLength;
    if (!FilePosition(file, &resume) || resume < 8 || end < resume) AbandonPngDecode(job, LoadFailure::CannotRead);
    uint64_t total = 0;
    uint64_t at = resume - 8;  // the length field of the chunk
    unsigned char header[8];
    for (uint32_t chunks = 1; total < enough; ++chunks) {
        if (!SeekFileTo(file, at) || fread(header, 1, sizeof header, file) != sizeof header ||
            memcmp(header + 4, "IDAT", 4) != 0) {
            break;
        }
        const uint64_t length = png_get_uint_32(header);
        const uint64_t held = end - at - 8;
        total += length < held ? length : held;
        if (length + 4 > held) break;  // the file ends inside the chunk
        at += 12 + length;
        if (chunks % ChunkBatch == 0) AskToGoOn(job);
    }
    if (!SeekFileTo(file, resume)) AbandonPngDecode(job, LoadFailure::CannotRead);
    return total;
}

// A palette picture stays one while every entry is opaque: a tRNS chunk may say only that.
bool PaletteHasTransparency(png_structp png, png_infop info) {
    png_bytep alpha = nullptr;
    int count = 0;
    if (!png_get_tRNS(png, info, &alpha, &count, nullptr) || !alpha) return false;
    for (int i = 0; i < count; ++i) {
        if (alpha[i] != 0xFF) return true;
    }
    return false;
}

// Every index the bit depth can hold gets an entry: those past the file's palette are black, as
// libpng itself shows them.
void WritePalette(png_structp png, png_infop info, int bitDepth, PackedDib image) {
    const int entries = 1 << bitDepth;
    png_colorp palette = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &palette, &count);
    if (count > entries) count = entries;
    unsigned char* table = image + DibInfoHeaderSize;
    memset(table, 0, 4u * entries);
    for (int i = 0; i < count; ++i) {
        table[4 * i] = palette[i].blue;
        table[4 * i + 1] = palette[i].green;
        table[4 * i + 2] = palette[i].red;
    }
    if (entries < 256) PackedDibHeader(image)->biClrUsed = static_cast<uint32_t>(entries);
}

// The picture's own colours turned into the display's: the colour table of a palette picture, else
// every row.
void ApplyColourChunks(PngDecode* job, bool indexed, int colorType) {
    const ColourPixels pixels = indexed                              ? ColourPixels::Bgr0
                                : (colorType & PNG_COLOR_MASK_COLOR) ? ColourPixels::Bgr
                                                                     : ColourPixels::GrayAsBgr;
    job->Transform = PngColourTransform(job->Colour, pixels);
    if (!job->Transform) return;
    const DibLayout layout = ReadDibLayout(job->Image);
    if (indexed) {
        unsigned char* table = job->Image + layout.colorTableOffset;
        TransformPixels(job->Transform, table, table, layout.colorCount);
        return;
    }
    const size_t stride = static_cast<size_t>(DibStride(layout.width, 24));
    for (int32_t y = 0; y < layout.height; ++y) {
        if (y % RowBatch == 0) AskToGoOn(job);
        unsigned char* row = job->Image + layout.bitsOffset + stride * y;
        TransformPixels(job->Transform, row, row, static_cast<size_t>(layout.width));
    }
}

// A plain (not interlaced) colour or gray picture the sink reduces: its rows go to the sink a band
// at a time, each turned into the display's colours first as the whole picture's rows are. False
// when the sink does not take it.
bool StreamPngRows(PngDecode* job, png_uint_32 width, png_uint_32 height, int colorType) {
    RowSink* sink = job->Control->Sink;
    uint32_t bandRows = 0;
    if (!sink ||
        !sink->Begin(sink->Context, static_cast<int32_t>(width), static_cast<int32_t>(height), job->Colour.Orientation,
                     &bandRows) ||
        bandRows == 0)
        return false;
    job->Transform = PngColourTransform(
        job->Colour, (colorType & PNG_COLOR_MASK_COLOR) ? ColourPixels::Bgr : ColourPixels::GrayAsBgr);
    for (png_uint_32 y = 0; y < height;) {
        const png_uint_32 count = height - y < bandRows ? height - y : bandRows;
        for (png_uint_32 i = 0; i < count; ++i) {
            if ((y + i) % RowBatch == 0) AskToGoOn(job);
            unsigned char* row = sink->BandRow(sink->Context, i);
            png_read_row(job->Png, row, nullptr);
            if (job->Transform) TransformPixels(job->Transform, row, row, width);
        }
        sink->TakeBand(sink->Context, height - 1 - y, count, true);
        y += count;
    }
    job->Image = sink->Finish(sink->Context);
    if (!job->Image) AbandonPngDecode(job, LoadFailure::OutOfMemory);
    const DibLayout layout = ReadDibLayout(job->Image);
    job->BlockSize =
        layout.bitsOffset + static_cast<size_t>(DibStride(static_cast<uint64_t>(layout.width), 24)) * layout.height;
    return true;
}

// Everything is decided from the header and the chunk lengths before the image block exists and
// before libpng allocates its rows.
void DecodePng(PngDecode* job) {
    png_structp png = job->Png;
    png_infop info = job->Info;
    png_set_read_fn(png, job, ReadFromFile);
    png_set_sig_bytes(png, 8);
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);  // the image block's limit decides
    // Only IHDR, PLTE, tRNS, IDAT and IEND make the picture: the rest (compressed text, and the
    // colour chunks, read beforehand on their own) is skipped unread.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    const bool indexed = colorType == PNG_COLOR_TYPE_PALETTE && !PaletteHasTransparency(png, info);
    const uint16_t bitCount = indexed ? 8 : 24;
    if (!DibSizeIsAddressable(width, height, bitCount)) AbandonPngDecode(job, LoadFailure::ImageTooLarge);
    const uint32_t bitsPerPixel = png_get_channels(png, info) * bitDepth;
    const bool interlaced = interlace != PNG_INTERLACE_NONE;
    const uint64_t filtered = FilteredBytes(width, height, bitsPerPixel, interlaced);
    uint64_t leastCompressed = (filtered + DeflateMostExpansion - 1) / DeflateMostExpansion;
    // The work of the load: the rows inflated and unfiltered, the image block written, and a
    // fixed cost for each row read, which a thin or 1-bit picture has far more of than bytes.
    const uint64_t rowReads = static_cast<uint64_t>(height) * (interlaced ? 7 : 1);
    const uint64_t work = filtered + DibStride(width, bitCount) * height + rowReads * RowReadCost;
    if (work > FreeWork) {
        const uint64_t paid = (work - FreeWork + DeflateMostExpansion - 1) / DeflateMostExpansion;
        if (paid > leastCompressed) leastCompressed = paid;
    }
    if (CompressedBytes(job, leastCompressed) < leastCompressed) {
        AbandonPngDecode(job, LoadFailure::FileTooShortForSize);
    }

    if (indexed) {
        png_set_packing(png);  // 1, 2 and 4-bit indices one a byte
    } else {
        png_set_expand(png);  // palette to colours, gray to 8 bits, tRNS to alpha
        png_set_scale_16(png);
        png_set_gray_to_rgb(png);
        png_color_16 black = {};
        png_set_background_fixed(png, &black, PNG_BACKGROUND_GAMMA_SCREEN, 0, PNG_FP_1);
        png_set_bgr(png);
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t pixelBytes = static_cast<size_t>(width) * (bitCount / 8);
    if (png_get_rowbytes(png, info) != pixelBytes) AbandonPngDecode(job, LoadFailure::UnexpectedRowLayout);
    // An interlaced picture needs every pass before any row is whole: it loads whole.
    if (!indexed && !interlaced && StreamPngRows(job, width, height, colorType)) return;

    job->Image = CreatePackedDib(width, height, bitCount);
    if (!job->Image) AbandonPngDecode(job, LoadFailure::OutOfMemory);
    if (indexed) WritePalette(png, info, bitDepth, job->Image);
    const size_t stride = static_cast<size_t>(DibStride(width, bitCount));
    unsigned char* bits = PackedDibBits(job->Image);
    job->BlockSize = static_cast<size_t>(bits - job->Image) + stride * height;
    for (png_uint_32 y = 0; y < height; ++y) memset(bits + stride * y + pixelBytes, 0, stride - pixelBytes);
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            if (y % RowBatch == 0) AskToGoOn(job);
            png_read_row(png, bits + stride * (height - 1 - y), nullptr);
        }
    }
    // The trailing chunks are not read: a picture whose rows are all there is shown.
    ApplyColourChunks(job, indexed, colorType);
}

LoadResult DecodePngFile(FILE* file, const LoadControl& control) {
    // The signature is checked here so that a short file of something else is called what it is.
    const uint64_t length = FileLength(file);
    unsigned char signature[8];
    const size_t got = fread(signature, 1, sizeof signature, file);
    if (got == 0) return NoImage(LoadFailure::EmptyFile);
    if (png_sig_cmp(signature, 0, got) != 0) return NoImage(LoadFailure::NotPng);
    if (got < sizeof signature) return NoImage(LoadFailure::FileTruncated);

    PngDecode job = {};
    job.File = file;
    job.FileLength = length;
    job.Control = &control;
    job.Colour = ReadPngColourChunks(file, length);
    if (setjmp(job.Escape)) {
        png_destroy_read_struct(&job.Png, &job.Info, nullptr);
        FreeColourTransform(job.Transform);
        FreePngColourChunks(&job.Colour);
        free(job.Image);
        return job.CutShort ? CutShortLoad() : NoImage(job.Failure, job.Message);
    }
    job.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, LeaveOnError, IgnoreWarning);
    if (!job.Png) AbandonPngDecode(&job, LoadFailure::OutOfMemory);
    job.Info = png_create_info_struct(job.Png);
    if (!job.Info) AbandonPngDecode(&job, LoadFailure::OutOfMemory);
    DecodePng(&job);
    png_destroy_read_struct(&job.Png, &job.Info, nullptr);
    FreeColourTransform(job.Transform);
    FreePngColourChunks(&job.Colour);
    LoadResult result = LoadedImage(job.Image, job.BlockSize);
    result.Orientation = job.Colour.Orientation;
    result.Taken = job.Colour.Taken;
    return result;
}

}  // namespace

LoadResult LoadPngFile(const char* path, const LoadControl& control) {
    return LoadFromFile(path, control, DecodePngFile);
}
