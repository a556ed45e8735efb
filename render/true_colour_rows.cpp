// Reading rows as 24-bit pixels, whatever the picture's form.
#include "render/true_colour_rows.h"

#include <cstring>

#include "imaging/byte_order.h"

namespace {

void PutColour(unsigned char* out, uint32_t colour) {
    out[0] = static_cast<unsigned char>(colour);
    out[1] = static_cast<unsigned char>(colour >> 8);
    out[2] = static_cast<unsigned char>(colour >> 16);
}

// The channel a mask selects, widened to 8 bits by repeating its bits (a 5-bit 31 is 255, 16 is
// 132), as viewers show it; a channel of more than 8 bits keeps its top 8.
unsigned char Channel(uint32_t pixel, uint32_t mask) {
    if (mask == 0) return 0;
    uint32_t shift = 0, bits = 0;
    while (((mask >> shift) & 1) == 0) ++shift;
    while (shift + bits < 32 && ((mask >> (shift + bits)) & 1)) ++bits;
    const uint32_t value = (pixel >> shift) & ((bits < 32 ? 1u << bits : 0u) - 1);
    if (bits >= 8) return static_cast<unsigned char>(value >> (bits - 8));
    uint32_t repeated = 0, filled = 0;
    for (; filled < 8; filled += bits) repeated = repeated << bits | value;
    return static_cast<unsigned char>(repeated >> (filled - 8));
}

void ReadIndexedRow(const TrueColourRows& rows, const unsigned char* row, unsigned char* out) {
    const uint32_t bits = rows.Layout.bitCount;
    const uint32_t perByte = 8 / bits, mask = (1u << bits) - 1;
    for (int32_t x = 0; x < rows.Layout.width; ++x, out += 3) {
        const uint32_t byte = row[x / perByte];
        const uint32_t index = byte >> (8 - bits - bits * (x % perByte)) & mask;
        PutColour(out, rows.Table[index]);
    }
}

void ReadMaskedRow(const TrueColourRows& rows, const unsigned char* row, unsigned char* out) {
    const bool wide = rows.Layout.bitCount == 32;
    for (int32_t x = 0; x < rows.Layout.width; ++x, out += 3) {
        const uint32_t pixel = wide ? ReadLittleU32(row + 4 * x) : ReadLittleU16(row + 2 * x);
        out[0] = Channel(pixel, rows.Masks[2]);
        out[1] = Channel(pixel, rows.Masks[1]);
        out[2] = Channel(pixel, rows.Masks[0]);
    }
}

// Runs the codes whose pixels fall on row y, the one being read; stops at the first code of a
// later row.
void DecodeRunLengthRow(TrueColourRows& rows, uint32_t y, unsigned char* out) {
    const bool four = rows.Layout.compression == DibCompressionRle4;
    const uint32_t width = static_cast<uint32_t>(rows.Layout.width);
    auto put = [&](uint32_t index) {
        if (rows.CodeX < width) PutColour(out + 3 * static_cast<size_t>(rows.CodeX), rows.Table[index & 0xFF]);
        ++rows.CodeX;
    };
    while (!rows.CodeDone && rows.CodeY == y) {
        if (rows.CodeEnd - rows.Code < 2) {
            rows.CodeDone = true;
            break;
        }
        const uint32_t count = rows.Code[0], value = rows.Code[1];
        rows.Code += 2;
        if (count > 0) {
            for (uint32_t i = 0; i < count; ++i) put(four ? (i % 2 ? value & 15 : value >> 4) : value);
        } else if (value == 0) {
            rows.CodeX = 0;
            ++rows.CodeY;
        } else if (value == 1) {
            rows.CodeDone = true;
        } else if (value == 2) {
            if (rows.CodeEnd - rows.Code < 2) {
                rows.CodeDone = true;
                break;
            }
            rows.CodeX += rows.Code[0];
            rows.CodeY += rows.Code[1];
            rows.Code += 2;
        } else {
            const uint32_t bytes = four ? (value + 1) / 2 : value;
            const uint32_t padded = (bytes + 1) & ~1u;
            if (static_cast<uint64_t>(rows.CodeEnd - rows.Code) < bytes) {
                rows.CodeDone = true;
                break;
            }
            for (uint32_t i = 0; i < value; ++i) {
                const uint32_t byte = rows.Code[four ? i / 2 : i];
                put(four ? (i % 2 ? byte & 15 : byte >> 4) : byte);
            }
            rows.Code += static_cast<uint64_t>(rows.CodeEnd - rows.Code) < padded ? bytes : padded;
        }
    }
}

}  // namespace

bool OpenTrueColourRows(const DibPicture& picture, TrueColourRows* rows) {
    const unsigned char* image = picture.Block;
    TrueColourRows& r = *rows;
    memset(&r, 0, sizeof r);
    r.Layout = picture.Layout;
    const DibLayout& layout = r.Layout;
    if (layout.width < 1 || layout.height < 1) return false;
    const uint32_t bits = layout.bitCount;
    const uint32_t compression = layout.compression;
    const bool indexed = bits == 1 || bits == 4 || bits == 8;
    const bool runLength =
        (compression == DibCompressionRle8 && bits == 8) || (compression == DibCompressionRle4 && bits == 4);
    const bool masked =
        (bits == 16 || bits == 32) && (compression == DibCompressionRgb || compression == DibCompressionBitfields ||
                                       compression == DibCompressionAlphaBitfields);
    if (!(indexed && compression == DibCompressionRgb) && !runLength && !masked &&
        !(bits == 24 && compression == DibCompressionRgb)) {
        return false;
    }
    r.Bits = image + layout.bitsOffset;
    r.Stride = DibStride(static_cast<uint64_t>(layout.width), bits);
    if (indexed) {
        const uint32_t entries = layout.colorCount < 256 ? layout.colorCount : 256;
        for (uint32_t i = 0; i < entries; ++i) {
            const unsigned char* entry = image + layout.colorTableOffset + layout.colorEntrySize * i;
            r.Table[i] = entry[0] | entry[1] << 8 | entry[2] << 16;
        }
    }
    if (masked) {
        if (compression == DibCompressionRgb) {
            const uint32_t rgb16[3] = {0x7C00, 0x03E0, 0x001F}, rgb32[3] = {0xFF0000, 0xFF00, 0xFF};
            memcpy(r.Masks, bits == 16 ? rgb16 : rgb32, sizeof r.Masks);
        } else {
            for (int i = 0; i < 3; ++i) r.Masks[i] = ReadLittleU32(image + DibInfoHeaderSize + 4 * i);
        }
    }
    if (runLength) {
        r.Code = r.Bits;
        r.CodeEnd = r.Bits + PackedDibHeader(image)->biSizeImage;
    }
    return true;
}

void ReadTrueColourRow(TrueColourRows* rows, unsigned char* out) {
    TrueColourRows& r = *rows;
    const DibLayout& layout = r.Layout;
    const uint32_t y = r.Row++;
    if (r.Code) {
        memset(out, 0, 3 * static_cast<size_t>(layout.width));
        DecodeRunLengthRow(r, y, out);
        return;
    }
    const unsigned char* row = r.Bits + r.Stride * y;
    if (layout.bitCount == 24) {
        memcpy(out, row, 3 * static_cast<size_t>(layout.width));
    } else if (layout.bitCount == 16 || layout.bitCount == 32) {
        ReadMaskedRow(r, row, out);
    } else {
        ReadIndexedRow(r, row, out);
    }
}
