// The chunk walk seeks over every chunk it does not want, so a long text chunk costs no memory.
#include "imaging/png_colour_chunks.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "imaging/byte_order.h"
#include "imaging/exif_orientation.h"
#include "imaging/image_loader.h"

namespace {

// Bounds that no real profile or EXIF block comes near.
const uint32_t MostProfileBytes = 16u << 20;
const uint32_t MostChunkBytes = 16u << 20;
// Colour chunks stand near the start; a file of more chunks than this before its data has none.
const int MostChunks = 4096;

// The chunk's data, or nullptr when it cannot be read whole or its CRC does not match.
unsigned char* ReadChunkData(FILE* file, const unsigned char header[8], uint32_t length) {
    unsigned char* data = static_cast<unsigned char*>(malloc(length + 4u));
    if (!data) return nullptr;
    if (fread(data, 1, length + 4u, file) != length + 4u ||
        crc32(crc32(0, header + 4, 4), data, length) != ReadBigU32(data + length)) {
        free(data);
        return nullptr;
    }
    return data;
}

// iCCP: a name of 1 to 79 bytes, a NUL, compression method 0, then the zlib stream.
void InflateProfile(const unsigned char* data, uint32_t length, PngColourChunks* chunks) {
    const unsigned char* nul = static_cast<const unsigned char*>(memchr(data, 0, length < 81 ? length : 81));
    if (!nul || nul == data || static_cast<uint32_t>(nul - data) + 2 > length || nul[1] != 0) return;
    z_stream stream = {};
    if (inflateInit(&stream) != Z_OK) return;
    stream.next_in = const_cast<unsigned char*>(nul + 2);
    stream.avail_in = length - static_cast<uint32_t>(nul + 2 - data);
    size_t size = 0, room = 4096;
    unsigned char* profile = nullptr;
    int status = Z_OK;
    while (status == Z_OK && room <= MostProfileBytes) {
        unsigned char* grown = static_cast<unsigned char*>(realloc(profile, room));
        if (!grown) break;
        profile = grown;
        stream.next_out = profile + size;
        stream.avail_out = static_cast<uInt>(room - size);
        status = inflate(&stream, Z_NO_FLUSH);
        size = room - stream.avail_out;
        if (stream.avail_out == 0) room *= 2;
        if (status == Z_BUF_ERROR && stream.avail_out != 0) break;  // the stream ends early
    }
    inflateEnd(&stream);
    if (status == Z_STREAM_END) {
        chunks->Profile = profile;
        chunks->ProfileLength = size;
    } else {
        free(profile);
    }
}

void ReadExif(const unsigned char* app1, size_t length, PngColourChunks* chunks) {
    chunks->Orientation = ExifOrientation(app1, length);
    if (!ExifDateTaken(app1, length, &chunks->Taken))
        chunks->Taken = {};  // a later eXIf replaces an earlier one, as for the orientation
}

// eXIf holds the TIFF structure alone; some writers put the "Exif\0\0" of a JPEG's APP1 first.
void ReadExifChunk(const unsigned char* data, uint32_t length, PngColourChunks* chunks) {
    if (StartsWithExifHeader(data, length)) return ReadExif(data, length, chunks);
    unsigned char* app1 = static_cast<unsigned char*>(malloc(ExifHeaderSize + static_cast<size_t>(length)));
    if (!app1) return;
    memcpy(app1, "Exif\0\0", ExifHeaderSize);
    memcpy(app1 + ExifHeaderSize, data, length);
    ReadExif(app1, ExifHeaderSize + static_cast<size_t>(length), chunks);
    free(app1);
}

void TakeChunk(const char* type, const unsigned char* data, uint32_t length, PngColourChunks* chunks) {
    if (memcmp(type, "iCCP", 4) == 0 && !chunks->Profile) {
        InflateProfile(data, length, chunks);
    } else if (memcmp(type, "sRGB", 4) == 0 && length == 1) {
        chunks->Srgb = true;
    } else if (memcmp(type, "gAMA", 4) == 0 && length == 4) {
        chunks->Gamma = ReadBigU32(data);
    } else if (memcmp(type, "cHRM", 4) == 0 && length == 32) {
        for (int i = 0; i < 8; ++i) chunks->Chromaticities[i] = ReadBigU32(data + 4 * i);
        chunks->HasChromaticities = true;
    } else if (memcmp(type, "eXIf", 4) == 0) {
        ReadExifChunk(data, length, chunks);
    }
}

bool Wanted(const unsigned char* type) {
    static const char* const kinds[] = {"iCCP", "sRGB", "gAMA", "cHRM", "eXIf"};
    for (const char* kind : kinds) {
        if (memcmp(type, kind, 4) == 0) return true;
    }
    return false;
}

// Gamma and primaries near enough sRGB's are sRGB (as libpng judges them, gamma within 5 %): what
// ImageMagick and many others write for an sRGB picture, which is shown as it is stored.
bool DescribesSrgb(const PngColourChunks& chunks) {
    static const uint32_t srgb[8] = {31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};
    if (chunks.Gamma < 45455 - 2273 || chunks.Gamma > 45455 + 2273) return false;
    for (int i = 0; i < 8; ++i) {
        const uint32_t value = chunks.Chromaticities[i];
        if (value + 1000 < srgb[i] || value > srgb[i] + 1000) return false;
    }
    return true;
}

}  // namespace

PngColourChunks ReadPngColourChunks(FILE* file, uint64_t fileLength) {
    PngColourChunks chunks = {};
    chunks.Orientation = 1;
    uint64_t resume = 0;
    if (!FilePosition(file, &resume)) return chunks;
    uint64_t at = resume;
    unsigned char header[8];
    for (int n = 0; n < MostChunks && at + 12 <= fileLength; ++n) {
        if (!SeekFileTo(file, at) || fread(header, 1, 8, file) != 8) break;
        const uint32_t length = ReadBigU32(header);
        if (memcmp(header + 4, "IDAT", 4) == 0 || length > 0x7FFFFFFFu || at + 12 + length > fileLength) break;
        if (Wanted(header + 4) && length <= MostChunkBytes) {
            if (unsigned char* data = ReadChunkData(file, header, length)) {
                TakeChunk(reinterpret_cast<const char*>(header + 4), data, length, &chunks);
                free(data);
            }
        }
        at += 12 + static_cast<uint64_t>(length);
    }
    SeekFileTo(file, resume);
    return chunks;
}

void FreePngColourChunks(PngColourChunks* chunks) {
    free(chunks->Profile);
    chunks->Profile = nullptr;
}

ColourTransform* PngColourTransform(const PngColourChunks& chunks, ColourPixels pixels) {
    if (chunks.Profile) {
        if (ColourTransform* transform = TransformFromProfile(chunks.Profile, chunks.ProfileLength, pixels)) {
            return transform;
        }
    }
    if (chunks.Srgb) return TransformFromSrgb(pixels);
    if (chunks.Gamma != 0 && chunks.HasChromaticities) {
        if (DescribesSrgb(chunks)) return TransformFromSrgb(pixels);
        return TransformFromGammaAndPrimaries(chunks.Gamma, chunks.Chromaticities, pixels);
    }
    return nullptr;
}
