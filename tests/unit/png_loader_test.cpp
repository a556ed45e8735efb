#include "imaging/png_loader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "image_test_files.h"
#include "imaging/colour_profile.h"

namespace {

using namespace image_test;

// Makes one PNG (argv 1) by a recipe of Python (read from argv 3) from a test pattern `im` of
// argv 4 × argv 5 RGBA pixels, a third of them opaque, a third clear, a third in between; then
// writes Pillow's picture of the file composited on black as a PPM (argv 2). Where Pillow's own
// picture is wrong (16-bit gray, transparency keys of 16-bit and of low-depth gray, indices past
// the palette) the samples it gives are corrected here; the recipes store 16-bit samples as 8-bit
// ones times 257.
const char KindMaker[] = R"PY(
import struct, subprocess, sys, zlib
from PIL import Image

out, reference, recipe = sys.argv[1], sys.argv[2], open(sys.argv[3]).read()
width, height = int(sys.argv[4]), int(sys.argv[5])

im = Image.new('RGBA', (width, height))
seed = 12345
for y in range(height):
    for x in range(width):
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        alpha = (0, 255, (seed >> 8) & 255)[(x + 2 * y) % 3]
        im.putpixel((x, y), (x * 255 // max(width - 1, 1), (seed >> 16) & 255, y * 255 // max(height - 1, 1), alpha))

def magick(image, path, options, form=''):
    image.save(path + '.source.png')
    subprocess.run("convert '%s.source.png' %s '%s%s'" % (path, options, form, path), shell=True, check=True)

def with_chunk(path, kind, data):  # in place of any chunk of its kind, else before the image data
    png = open(path, 'rb').read()
    if kind in png:
        at = png.index(kind) - 4
        png = png[:at] + png[at + 12 + struct.unpack('>I', png[at:at + 4])[0]:]
    at = png.index(b'IDAT') - 4
    chunk = struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    open(path, 'wb').write(png[:at] + chunk + png[at:])

exec(recipe)

picture = Image.open(out)
picture.load()
depth = open(out, 'rb').read()[24]
key = picture.info.get('transparency')
if picture.mode.startswith('I'):
    pixels = [(v >> 8,) * 3 + (0 if v == key else 255,) for v in picture.getdata()]
elif depth == 16 and key is not None:
    key = tuple(k >> 8 for k in key)
    pixels = [p + (0 if p == key else 255,) for p in picture.convert('RGB').getdata()]
elif picture.mode == 'L' and depth < 8 and key is not None:
    key = key * 255 // ((1 << depth) - 1)
    pixels = [(v,) * 3 + (0 if v == key else 255,) for v in picture.getdata()]
elif picture.mode == 'P':  # Pillow shows indices past the palette gray, libpng black
    palette = picture.getpalette()
    alpha = key if isinstance(key, bytes) else bytes(255 if i != key else 0 for i in range(256))
    pixels = [tuple(palette[3 * i:3 * i + 3]) + (alpha[i] if i < len(alpha) else 255,) if 3 * i < len(palette) else (0, 0, 0, 255) for i in picture.getdata()]
else:
    pixels = list(picture.convert('RGBA').getdata())
rgb = bytes((c * p[3] + 127) // 255 for p in pixels for c in p[:3])
open(reference, 'wb').write(b'P6\n%d %d\n255\n' % picture.size + rgb)
)PY";

bool MakePng(const std::string& name, const std::string& recipe, int width, int height, Picture* reference) {
    // A copy of the maker for each file: tests run side by side would rewrite a shared one under
    // Python. What an earlier call made is removed, so that a recipe that makes nothing fails.
    const std::string script = TmpPath(name + ".maker.py");
    const std::string recipePath = TmpPath(name + ".recipe");
    const std::string ppm = TmpPath(name + ".ppm");
    remove(TmpPath(name).c_str());
    remove(ppm.c_str());
    if (!WriteBytes(script, Bytes(KindMaker, KindMaker + strlen(KindMaker))) ||
        !WriteBytes(recipePath, Bytes(recipe.begin(), recipe.end()))) {
        return false;
    }
    const std::string command = "/usr/bin/python3 '" + script + "' '" + TmpPath(name) + "' '" + ppm + "' '" +
                                recipePath + "' " + std::to_string(width) + " " + std::to_string(height);
    return RunShell(command) == 0 && ReadPnm(ppm, *reference);
}

// Runs a Python program with Pillow at hand; `out` is the path of the file it is to make.
bool MakeWithPython(const std::string& name, const std::string& program) {
    const std::string script = TmpPath(name + ".py");
    const std::string text =
        "from PIL import Image, PngImagePlugin\nimport subprocess\nout = '" + TmpPath(name) + "'\n" + program + "\n";
    return WriteBytes(script, Bytes(text.begin(), text.end())) && RunShell("/usr/bin/python3 '" + script + "'") == 0;
}

struct Chunk {
    size_t At;  // offset of the length field
    uint32_t Length;
    std::string Type;
};

uint32_t BigEndian32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}

void PutBigEndian32(unsigned char* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

std::vector<Chunk> ChunksOf(const Bytes& png) {
    std::vector<Chunk> chunks;
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = BigEndian32(&png[at]);
        chunks.push_back({at, length, std::string(png.begin() + at + 4, png.begin() + at + 8)});
        at += 12 + static_cast<size_t>(length);
    }
    return chunks;
}

const Chunk* FindChunk(const std::vector<Chunk>& chunks, const char* type) {
    for (const Chunk& chunk : chunks) {
        if (chunk.Type == type) return &chunk;
    }
    return nullptr;
}

// Rewrites the CRC of the chunk at `at` to match its type and data.
void FixCrc(Bytes& png, size_t at) {
    const uint32_t length = BigEndian32(&png[at]);
    const uLong crc = crc32(0, &png[at + 4], 4 + length);
    PutBigEndian32(&png[at + 8 + length], static_cast<uint32_t>(crc));
}

Bytes WithoutChunks(const Bytes& png, const char* type) {
    Bytes kept(png.begin(), png.begin() + 8);
    for (const Chunk& chunk : ChunksOf(png)) {
        if (chunk.Type != type) {
            kept.insert(kept.end(), png.begin() + chunk.At, png.begin() + chunk.At + 12 + chunk.Length);
        }
    }
    return kept;
}

// IHDR with another size and interlace method, its CRC made right.
Bytes WithHeader(const Bytes& png, uint32_t width, uint32_t height, int interlace) {
    Bytes changed = png;
    PutBigEndian32(&changed[16], width);
    PutBigEndian32(&changed[20], height);
    changed[28] = static_cast<unsigned char>(interlace);
    FixCrc(changed, 8);
    return changed;
}

// The image data cut into chunks of at most `piece` bytes, as some encoders write it.
Bytes WithDataInPieces(const Bytes& png, size_t piece) {
    Bytes data, out(png.begin(), png.begin() + 8);
    const std::vector<Chunk> chunks = ChunksOf(png);
    for (const Chunk& chunk : chunks) {
        if (chunk.Type == "IDAT") {
            data.insert(data.end(), png.begin() + chunk.At + 8, png.begin() + chunk.At + 8 + chunk.Length);
        }
    }
    bool written = false;
    for (const Chunk& chunk : chunks) {
        if (chunk.Type != "IDAT") {
            out.insert(out.end(), png.begin() + chunk.At, png.begin() + chunk.At + 12 + chunk.Length);
            continue;
        }
        for (size_t at = 0; !written && at < data.size(); at += piece) {
            const size_t length = std::min(piece, data.size() - at);
            const size_t start = out.size();
            out.resize(start + 12 + length);
            PutBigEndian32(&out[start], static_cast<uint32_t>(length));
            memcpy(&out[start + 4], "IDAT", 4);
            memcpy(&out[start + 8], &data[at], length);
            FixCrc(out, start);
        }
        written = true;
    }
    return out;
}

uint64_t DataBytes(const Bytes& png) {
    uint64_t total = 0;
    for (const Chunk& chunk : ChunksOf(png)) total += chunk.Type == "IDAT" ? chunk.Length : 0;
    return total;
}

// The block must be what a reader of the image expects: rows where the header says, zero pad
// bytes, the size the loader reported.
void ExpectWellFormed(const Loaded& loaded, int bitCount) {
    const unsigned char* image = loaded.Image.get();
    const DibLayout layout = ReadDibLayout(image);
    EXPECT_EQ(layout.headerSize, 40u);
    EXPECT_EQ(layout.bitCount, bitCount);
    EXPECT_EQ(layout.compression, DibCompressionRgb);
    const size_t stride = static_cast<size_t>(DibStride(layout.width, bitCount));
    EXPECT_EQ(loaded.BlockSize, layout.bitsOffset + stride * layout.height);
    const size_t pixelBytes = static_cast<size_t>(layout.width) * bitCount / 8;
    int nonZeroPads = 0;
    for (int32_t y = 0; y < layout.height; ++y) {
        for (size_t i = pixelBytes; i < stride; ++i) nonZeroPads += PackedDibBits(image)[y * stride + i] != 0;
    }
    EXPECT_EQ(nonZeroPads, 0);
}

// A palette picture's table: its own colours, then black up to the entries its bit depth indexes.
void ExpectOwnPalette(const unsigned char* image, const Bytes& png, int bitDepth) {
    const DibLayout layout = ReadDibLayout(image);
    EXPECT_EQ(layout.colorCount, 1u << bitDepth);
    const std::vector<Chunk> chunks = ChunksOf(png);
    const Chunk* palette = FindChunk(chunks, "PLTE");
    ASSERT_NE(palette, nullptr);
    const unsigned char* table = image + layout.colorTableOffset;
    for (uint32_t i = 0; i < layout.colorCount; ++i) {
        unsigned char want[4] = {0, 0, 0, 0};
        if (i < palette->Length / 3) {
            const unsigned char* rgb = &png[palette->At + 8 + 3 * i];
            want[0] = rgb[2];
            want[1] = rgb[1];
            want[2] = rgb[0];
        }
        EXPECT_EQ(memcmp(table + 4 * i, want, 4), 0) << "entry " << i;
    }
}

TEST(PngLoader, EveryKindShowsPillowsPictureOnBlack) {
    const std::string lowGray =
        "magick(im.convert('L').point(lambda v: v // 85 * 85), out, '-colorspace Gray -depth 2 "
        "-define png:bit-depth=2";
    const std::string fewColours = "q = im.convert('RGB').quantize(8).convert('RGB'); ";
    const struct {
        const char* name;
        std::string recipe;
        int width, height;
        int colorType, bitDepth, interlace;  // as the file made must say
        bool transparencyChunk;
        int bitCount;
    } kinds[] = {
        {"gray 1", "im.convert('1').save(out)", 37, 23, 0, 1, 0, false, 24},
        {"gray 2", lowGray + "')", 37, 23, 0, 2, 0, false, 24},
        {"gray 4",
         "magick(im.convert('L').point(lambda v: v // 17 * 17), out, '-colorspace Gray -depth 4 "
         "-define png:bit-depth=4')",
         37, 23, 0, 4, 0, false, 24},
        {"gray 8", "im.convert('L').save(out)", 37, 23, 0, 8, 0, false, 24},
        {"gray 16", "im.convert('L').point(lambda v: v * 257, 'I').save(out)", 37, 23, 0, 16, 0, false, 24},
        {"RGB 8", "im.convert('RGB').save(out)", 37, 23, 2, 8, 0, false, 24},
        {"RGB 16", "magick(im.convert('RGB'), out, '', 'PNG48:')", 37, 23, 2, 16, 0, false, 24},
        {"palette 1", "im.convert('RGB').quantize(2).save(out, bits=1)", 37, 23, 3, 1, 0, false, 8},
        {"palette 2", "im.convert('RGB').quantize(4).save(out, bits=2)", 37, 23, 3, 2, 0, false, 8},
        {"palette 4", "im.convert('RGB').quantize(16).save(out, bits=4)", 37, 23, 3, 4, 0, false, 8},
        {"palette 8, 200 colours", "im.convert('RGB').quantize(200).save(out)", 37, 23, 3, 8, 0, false, 8},
        {"palette 2, indices past its 2 entries",
         "q = im.convert('RGB').quantize(4); q.save(out, bits=2); with_chunk(out, b'PLTE', "
         "bytes(q.getpalette()[:6]))",
         37, 23, 3, 2, 0, false, 8},
        {"gray and alpha 8", "im.convert('LA').save(out)", 37, 23, 4, 8, 0, false, 24},
        {"gray and alpha 16",
         "magick(im.convert('LA'), out, '-depth 16 -define png:color-type=4 -define "
         "png:bit-depth=16')",
         37, 23, 4, 16, 0, false, 24},
        {"RGBA 8", "im.save(out)", 37, 23, 6, 8, 0, false, 24},
        {"RGBA 16", "magick(im, out, '', 'PNG64:')", 37, 23, 6, 16, 0, false, 24},
        // Transparency chunks: a key colour for gray and RGB, alpha entries for a palette.
        {"gray 2, key", lowGray + "'); with_chunk(out, b'tRNS', b'\\x00\\x01')", 37, 23, 0, 2, 0, true, 24},
        {"gray 8, key",
         "g = im.convert('L').point(lambda v: v // 32 * 32); g.save(out, "
         "transparency=g.getpixel((0, 0)))",
         37, 23, 0, 8, 0, true, 24},
        {"gray 16, key",
         "g = im.convert('L').point(lambda v: v // 32 * 32 * 257, 'I'); g.save(out, "
         "transparency=g.getpixel((0, 0)))",
         37, 23, 0, 16, 0, true, 24},
        {"RGB 8, key", fewColours + "q.save(out, transparency=q.getpixel((0, 0)))", 37, 23, 2, 8, 0, true, 24},
        {"RGB 16, key",
         fewColours + "magick(q, out, '', 'PNG48:'); with_chunk(out, b'tRNS', struct.pack('>3H', "
                      "*(v * 257 for v in q.getpixel((0, 0)))))",
         37, 23, 2, 16, 0, true, 24},
        {"palette 8, alpha", "im.convert('P').save(out)", 37, 23, 3, 8, 0, true, 24},
        {"palette 4, one clear entry", "im.convert('RGB').quantize(16).save(out, bits=4, transparency=3)", 37, 23, 3, 4,
         0, true, 24},
        // Every entry opaque: nothing to composite, so the picture keeps its palette.
        {"palette 4, opaque entries", "im.convert('RGB').quantize(16).save(out, bits=4, transparency=b'\\xff' * 16)",
         37, 23, 3, 4, 0, true, 8},
        // Adam7, down to pictures whose first passes are empty.
        {"Adam7 gray 2", lowGray + " -interlace PNG')", 37, 23, 0, 2, 1, false, 24},
        {"Adam7 palette 4",
         "magick(im.convert('RGB').quantize(16), out, '-interlace PNG -define png:bit-depth=4', "
         "'PNG8:')",
         37, 23, 3, 4, 1, false, 8},
        {"Adam7 RGB 8", "magick(im.convert('RGB'), out, '-interlace PNG')", 37, 23, 2, 8, 1, false, 24},
        {"Adam7 gray and alpha 8", "magick(im.convert('LA'), out, '-interlace PNG')", 37, 23, 4, 8, 1, false, 24},
        {"Adam7 RGBA 8", "magick(im, out, '-interlace PNG')", 37, 23, 6, 8, 1, false, 24},
        {"Adam7 RGBA 16", "magick(im, out, '-interlace PNG', 'PNG64:')", 37, 23, 6, 16, 1, false, 24},
        {"Adam7 RGBA 8, 1 x 1", "magick(im, out, '-interlace PNG', 'PNG32:')", 1, 1, 6, 8, 1, false, 24},
        {"Adam7 RGBA 8, 3 x 2", "magick(im, out, '-interlace PNG', 'PNG32:')", 3, 2, 6, 8, 1, false, 24},
        {"Adam7 palette 8, 5 x 9", "magick(im.convert('RGB').quantize(40), out, '-interlace PNG', 'PNG8:')", 5, 9, 3, 8,
         1, false, 8},
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        Picture want;
        ASSERT_TRUE(MakePng("kind.png", kind.recipe, kind.width, kind.height, &want));
        Bytes png;
        ASSERT_TRUE(ReadBytes(TmpPath("kind.png"), png));
        ASSERT_EQ(png[25], kind.colorType);
        ASSERT_EQ(png[24], kind.bitDepth);
        ASSERT_EQ(png[28], kind.interlace);
        ASSERT_EQ(FindChunk(ChunksOf(png), "tRNS") != nullptr, kind.transparencyChunk);

        const Loaded loaded = Take(LoadPngFile(TmpPath("kind.png").c_str(), NeverStop));
        ASSERT_NE(loaded.Image, nullptr) << loaded.Reason;
        EXPECT_EQ(loaded.Failure, LoadFailure::None);
        ExpectWellFormed(loaded, kind.bitCount);
        if (kind.bitCount == 8) ExpectOwnPalette(loaded.Image.get(), png, kind.bitDepth);
        EXPECT_EQ(CountDifferentPixels(loaded.Image.get(), want, 0), 0);
    }
}

TEST(PngLoader, DamagedFilesGiveNoneWithTheirReason) {
    Picture picture, palettePicture;
    ASSERT_TRUE(MakePng("whole.png",
                        "from PIL import PngImagePlugin\ninfo = PngImagePlugin.PngInfo()\ninfo.add_text('Title', "
                        "'pattern')\nim.save(out, pnginfo=info)",
                        37, 23, &picture));
    ASSERT_TRUE(MakePng("palette.png", "im.convert('RGB').quantize(16).save(out, bits=4)", 37, 23, &palettePicture));
    Bytes whole, palette;
    ASSERT_TRUE(ReadBytes(TmpPath("whole.png"), whole));
    ASSERT_TRUE(ReadBytes(TmpPath("palette.png"), palette));
    const std::vector<Chunk> chunks = ChunksOf(whole);
    const Chunk* data = FindChunk(chunks, "IDAT");
    const Chunk* text = FindChunk(chunks, "tEXt");
    ASSERT_NE(data, nullptr);
    ASSERT_NE(text, nullptr);
    const std::vector<Chunk> paletteChunks = ChunksOf(palette);
    const Chunk* paletteEntries = FindChunk(paletteChunks, "PLTE");
    ASSERT_NE(paletteEntries, nullptr);
    const size_t dataStart = data->At + 8;
    auto crcBroken = [](Bytes png, const Chunk& chunk) {
        png[chunk.At + 8 + chunk.Length] ^= 0x01;
        return png;
    };
    Bytes badDepth = whole;
    badDepth[24] = 3;
    FixCrc(badDepth, 8);
    Bytes badFilter = whole;
    Bytes deflated(badFilter.begin() + dataStart, badFilter.begin() + dataStart + data->Length);
    Bytes rows(37 * 4 * 23 + 23);
    uLongf rowsLength = static_cast<uLongf>(rows.size());
    ASSERT_EQ(uncompress(rows.data(), &rowsLength, deflated.data(), static_cast<uLong>(deflated.size())), Z_OK);
    rows[0] = 9;  // no such filter
    Bytes refiltered(compressBound(rowsLength));
    uLongf refilteredLength = static_cast<uLongf>(refiltered.size());
    ASSERT_EQ(compress(refiltered.data(), &refilteredLength, rows.data(), rowsLength), Z_OK);
    refiltered.resize(refilteredLength);
    badFilter.erase(badFilter.begin() + dataStart, badFilter.begin() + dataStart + data->Length);
    badFilter.insert(badFilter.begin() + dataStart, refiltered.begin(), refiltered.end());
    PutBigEndian32(&badFilter[data->At], static_cast<uint32_t>(refilteredLength));
    FixCrc(badFilter, data->At);
    Bytes badDeflate = whole;
    badDeflate[dataStart] = 0x08;  // a zlib header whose check bits do not add up
    FixCrc(badDeflate, data->At);
    Bytes unknownCritical = whole;
    const unsigned char critical[] = {0, 0, 0, 0, 'Z', 'Z', 'Z', 'Z', 0, 0, 0, 0};
    unknownCritical.insert(unknownCritical.begin() + data->At, critical, critical + sizeof critical);
    FixCrc(unknownCritical, data->At);
    const Bytes bmp = [] {
        Bytes bytes;
        ReadBytes(std::string(SAVER_TEST_DATA) + "/bmpsuite/g/pal8.bmp", bytes);
        return bytes;
    }();

    const struct {
        const char* name;
        Bytes png;
        ExpectedFailure reason;  // None when the picture is still whole
    } cases[] = {
        {"empty", {}, LoadFailure::EmptyFile},
        {"a BMP file", bmp, LoadFailure::NotPng},
        {"text", {'h', 'i'}, LoadFailure::NotPng},
        {"half a signature", Bytes(whole.begin(), whole.begin() + 4), LoadFailure::FileTruncated},
        {"only the signature", Bytes(whole.begin(), whole.begin() + 8), LoadFailure::FileTruncated},
        {"cut inside IHDR", Bytes(whole.begin(), whole.begin() + 20), LoadFailure::FileTruncated},
        {"cut after IHDR", Bytes(whole.begin(), whole.begin() + 33), LoadFailure::FileTruncated},
        {"cut inside the image data", Bytes(whole.begin(), whole.begin() + dataStart + data->Length / 2),
         LoadFailure::FileTruncated},
        {"cut before the image data's CRC", Bytes(whole.begin(), whole.begin() + dataStart + data->Length),
         LoadFailure::FileTruncated},
        {"cut before IEND (every row there)", Bytes(whole.begin(), whole.end() - 12), LoadFailure::None},
        {"IHDR CRC", crcBroken(whole, chunks[0]), "IHDR: CRC error"},
        {"IDAT CRC", crcBroken(whole, *data), "IDAT: CRC error"},
        {"PLTE CRC", crcBroken(palette, *paletteEntries), "PLTE: CRC error"},
        {"tEXt CRC (ancillary: skipped)", crcBroken(whole, *text), LoadFailure::None},
        {"no IDAT", WithoutChunks(whole, "IDAT"), "IEND: out of place"},
        {"no PLTE", WithoutChunks(palette, "PLTE"), "IDAT: Missing PLTE before IDAT"},
        {"bit depth 3", badDepth, "invalid IHDR data"},
        {"unknown row filter", badFilter, "bad adaptive filter value"},
        {"damaged zlib header", badDeflate, "IDAT: incorrect header check"},
        {"unknown critical chunk", unknownCritical, "ZZZZ: unhandled critical chunk"},
    };
    const int freeBefore = LowestFreeDescriptor();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteBytes(TmpPath("damaged.png"), c.png));
        const Loaded loaded = Take(LoadPngFile(TmpPath("damaged.png").c_str(), NeverStop));
        ExpectFailure(loaded, c.reason);
        EXPECT_FALSE(loaded.CutShort);
        if (c.reason.Any()) {
            EXPECT_EQ(loaded.Image, nullptr);
        } else {
            ASSERT_NE(loaded.Image, nullptr);
            EXPECT_EQ(CountDifferentPixels(loaded.Image.get(), picture, 0),
                      0);  // the undamaged file's
        }
        EXPECT_EQ(LowestFreeDescriptor(), freeBefore);
    }
    EXPECT_EQ(Take(LoadPngFile(TmpPath("no such file.png").c_str(), NeverStop)).Failure, LoadFailure::CannotOpen);
    EXPECT_EQ(LowestFreeDescriptor(), freeBefore);
}

TEST(PngLoader, SizesAreDecidedFromTheHeaderBeforeDecoding) {
    // Deflate gives at most 1032 bytes a byte; zlib's best on rows of nothing comes close (1026).
    ASSERT_TRUE(MakeWithPython("zeros.png", "Image.new('L', (3000, 3000)).save(out, compress_level=9)"));
    ASSERT_TRUE(MakeWithPython("zeros-adam7.png",
                               "subprocess.run(['convert', '-size', '3000x3000', 'xc:black', "
                               "'-define', 'png:color-type=0', '-define', 'png:bit-depth=8', '-interlace', 'PNG', "
                               "'-quality', '90', out], check=True)"));
    ASSERT_TRUE(MakeWithPython("tiny.png", "Image.new('RGBA', (1, 1), (9, 8, 7, 6)).save(out)"));
    // Rows of nothing made by hand: a thin 1-bit picture and a 1-bit palette giant, both within
    // deflate's 1032:1 but costing far more per byte of file than any picture worth showing.
    const std::string handMade =
        "import struct, zlib\n"
        "def chunk(kind, data):\n"
        "    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))\n"
        "def png(path, width, height, depth, kind, extra=b''):\n"
        "    row = bytes(1 + (width * depth + 7) // 8)\n"
        "    data = zlib.compress(row * height, 9)\n"
        "    open(path, 'wb').write(b'\\x89PNG\\r\\n\\x1a\\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, "
        "depth, kind, 0, 0, 0))\n"
        "        + extra + chunk(b'IDAT', data) + chunk(b'IEND', b''))\n";
    ASSERT_TRUE(MakeWithPython("thin.png", handMade + "png(out, 1, 3000000, 1, 0)"));
    ASSERT_TRUE(
        MakeWithPython("giant-palette.png", handMade + "png(out, 20000, 20000, 1, 3, chunk(b'PLTE', bytes(6)))"));
    ASSERT_TRUE(MakeWithPython("thin-shown.png", handMade + "png(out, 1, 1000000, 1, 0)"));
    Bytes thin, giantPalette, thinShown;
    ASSERT_TRUE(ReadBytes(TmpPath("thin.png"), thin));
    ASSERT_TRUE(ReadBytes(TmpPath("giant-palette.png"), giantPalette));
    ASSERT_TRUE(ReadBytes(TmpPath("thin-shown.png"), thinShown));
    Bytes zeros, zerosAdam7, tiny;
    ASSERT_TRUE(ReadBytes(TmpPath("zeros.png"), zeros));
    ASSERT_TRUE(ReadBytes(TmpPath("zeros-adam7.png"), zerosAdam7));
    ASSERT_TRUE(ReadBytes(TmpPath("tiny.png"), tiny));
    ASSERT_EQ(zerosAdam7[28], 1);
    const Bytes zerosInPieces = WithDataInPieces(zeros, 100);
    ASSERT_GT(ChunksOf(zerosInPieces).size(), 80u);
    Bytes claimingLongData = WithHeader(tiny, 20000, 20000, 0);
    PutBigEndian32(&claimingLongData[FindChunk(ChunksOf(tiny), "IDAT")->At], 0x7FFFFFF0);
    // The most rows of 3001 filtered bytes the image data could hold.
    const uint32_t mostRows = static_cast<uint32_t>(DataBytes(zeros) * 1032 / 3001);

    const struct {
        const char* name;
        Bytes png;
        ExpectedFailure reason;  // None when the picture loads
    } cases[] = {
        {"rows of nothing at zlib's best", zeros, LoadFailure::None},
        {"rows of nothing at zlib's best, Adam7", zerosAdam7, LoadFailure::None},
        {"rows of nothing in 100-byte chunks", zerosInPieces, LoadFailure::None},
        // Past the check, libpng finds the rows missing; one row more and the check refuses.
        {"as many rows as the data could hold", WithHeader(zerosInPieces, 3000, mostRows, 0), "not enough image data"},
        {"a row more than the data could hold", WithHeader(zerosInPieces, 3000, mostRows + 1, 0),
         LoadFailure::FileTooShortForSize},
        {"one pixel claiming 20000 x 20000", WithHeader(tiny, 20000, 20000, 0), LoadFailure::FileTooShortForSize},
        {"one pixel claiming 20000 x 20000, Adam7", WithHeader(tiny, 20000, 20000, 1),
         LoadFailure::FileTooShortForSize},
        // A short file's chunk lengths count only as far as it goes.
        {"one pixel claiming 20000 x 20000 and 2 GB of image data", claimingLongData, LoadFailure::FileTooShortForSize},
        {"rows past the addressable", WithHeader(tiny, 100000000, 100, 0), LoadFailure::ImageTooLarge},
        // Past 128 MB of work (row reads at 64 bytes each, the rows, the image block) the data
        // pays for all of it at deflate's best.
        {"1 x 3000000 at 1 bit", thin, LoadFailure::FileTooShortForSize},
        {"20000 x 20000 at 1 bit, palette", giantPalette, LoadFailure::FileTooShortForSize},
        {"1 x 1000000 at 1 bit, within the free work", thinShown, LoadFailure::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteBytes(TmpPath("claims.png"), c.png));
        QuestionCounter never = {0, 0};
        const Loaded loaded = Take(LoadPngFile(TmpPath("claims.png").c_str(), CountingControl(&never)));
        ExpectFailure(loaded, c.reason);
        if (c.reason.Any()) {
            EXPECT_EQ(loaded.Image, nullptr);
        } else {
            ASSERT_NE(loaded.Image, nullptr);
            ExpectWellFormed(loaded, 24);
            const unsigned char* image = loaded.Image.get();
            EXPECT_TRUE(
                std::all_of(PackedDibBits(image), image + loaded.BlockSize, [](unsigned char b) { return b == 0; }));
        }
        // Refused from the header: not one row was read.
        if (c.reason.Failure == LoadFailure::FileTooShortForSize || c.reason.Failure == LoadFailure::ImageTooLarge) {
            EXPECT_EQ(never.Asked, 0);
        }
    }
}

TEST(PngLoader, AFileOfTwoGigabytesAndMoreIsReadThroughItsWholeLength) {
    // A picture followed by 2 GiB of nothing (a sparse file): positions past 31 bits must read
    // right in every build, or the file seems empty.
    ASSERT_TRUE(MakeWithPython("big.png", "Image.new('RGB', (3, 2), (9, 8, 7)).save(out)"));
    ASSERT_EQ(truncate(TmpPath("big.png").c_str(), (1ll << 31) + 4096), 0);
    const Loaded loaded = Take(LoadPngFile(TmpPath("big.png").c_str(), NeverStop));
    remove(TmpPath("big.png").c_str());
    ASSERT_NE(loaded.Image, nullptr) << loaded.Reason;
    unsigned char rgb[3];
    ImagePixel(loaded.Image.get(), 2, 1, rgb);
    EXPECT_EQ(rgb[0] * 65536 + rgb[1] * 256 + rgb[2], 0x090807);
}

TEST(PngLoader, TheLoadAsksAsItGoesAndStopsWhenTold) {
    Picture picture;
    ASSERT_TRUE(MakePng("rows.png", "im.convert('RGB').save(out)", 320, 240, &picture));
    ASSERT_TRUE(MakePng("rows-adam7.png", "magick(im, out, '-interlace PNG')", 320, 240, &picture));
    ASSERT_TRUE(MakePng("after-text.png",
                        "from PIL import PngImagePlugin\ninfo = PngImagePlugin.PngInfo()\n"
                        "info.add_text('Comment', 'x' * (9 << 20))\nim.save(out, pnginfo=info)",
                        64, 48, &picture));
    ASSERT_TRUE(MakeWithPython("asks-zeros.png", "Image.new('L', (3000, 3000)).save(out, compress_level=9)"));
    Bytes zeros;
    ASSERT_TRUE(ReadBytes(TmpPath("asks-zeros.png"), zeros));
    ASSERT_TRUE(WriteBytes(TmpPath("zeros-in-bytes.png"), WithDataInPieces(zeros, 1)));
    // The chunks counted before the rows: as many as hold the least data that could give them.
    const int countedChunks = (3000 * 3001 + 1031) / 1032;
    const struct {
        const char* name;
        int atLeast;  // one question per 16 rows of every pass, per 4 MB read, per 4096 chunks
                      // counted
    } cases[] = {
        {"rows.png", 240 / 16},
        {"rows-adam7.png", 7 * 240 / 16},
        {"after-text.png", 48 / 16 + 2},
        {"zeros-in-bytes.png", (3000 + 15) / 16 + countedChunks / 4096},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = TmpPath(c.name);
        QuestionCounter never = {0, 0};
        const Loaded whole = Take(LoadPngFile(path.c_str(), CountingControl(&never)));
        ASSERT_NE(whole.Image, nullptr) << whole.Reason;
        EXPECT_GE(never.Asked, c.atLeast);
        const int freeBefore = LowestFreeDescriptor();
        for (int stopAt : {1, never.Asked / 2, never.Asked}) {
            SCOPED_TRACE(stopAt);
            QuestionCounter question = {0, stopAt};
            const Loaded stopped = Take(LoadPngFile(path.c_str(), CountingControl(&question)));
            EXPECT_TRUE(stopped.CutShort);
            EXPECT_EQ(stopped.Image, nullptr);
            EXPECT_EQ(stopped.Failure, LoadFailure::CutShort);
            EXPECT_EQ(question.Asked, stopAt);  // nothing more is done once told to stop
            EXPECT_EQ(LowestFreeDescriptor(), freeBefore);
        }
    }
}

}  // namespace

namespace {

// Each profile in a file of its own, for the recipes to read: `icc(kind)` gives its bytes.
std::string ProfileRecipes() {
    const struct {
        const char* name;
        TestProfile kind;
    } profiles[] = {{"adobe", TestProfile::AdobeRgb},
                    {"prophoto", TestProfile::ProPhoto},
                    {"gray", TestProfile::LinearGray},
                    {"unusable", TestProfile::Unusable}};
    for (const auto& p : profiles) WriteBytes(TmpPath(std::string(p.name) + ".icc"), MakeProfile(p.kind));
    return "icc = lambda kind: open('" + TmpPath("") + "' + kind + '.icc', 'rb').read()\n";
}

TEST(PngLoader, ColourChunksGiveTheColoursTheyDescribe) {
    const std::string icc = ProfileRecipes();
    const std::string chromaticities =
        "with_chunk(out, b'cHRM', struct.pack('>8I', 31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000))";
    enum Want { ImageMagick, AsStored, LinearToSrgb };
    const struct {
        const char* name;
        std::string recipe;
        int bitCount;
        Want want;
    } cases[] = {
        {"RGB, Adobe RGB", icc + "im.convert('RGB').save(out, icc_profile=icc('adobe'))", 24, ImageMagick},
        {"RGB, ProPhoto RGB", icc + "im.convert('RGB').save(out, icc_profile=icc('prophoto'))", 24, ImageMagick},
        {"gray, gamma 1.0", icc + "im.convert('L').save(out, icc_profile=icc('gray'))", 24, ImageMagick},
        {"palette, Adobe RGB", icc + "im.convert('RGB').quantize(16).save(out, bits=4, icc_profile=icc('adobe'))", 8,
         ImageMagick},
        {"Adam7 RGB, ProPhoto RGB",
         icc + "im.convert('RGB').save(out + '.p.png', icc_profile=icc('prophoto')); "
               "subprocess.run(['convert', out + '.p.png', '-interlace', 'PNG', out], check=True)",
         24, ImageMagick},
        {"damaged profile", icc + "im.convert('RGB').save(out, icc_profile=icc('unusable'))", 24, AsStored},
        {"gray profile on colours", icc + "im.convert('RGB').save(out, icc_profile=icc('gray'))", 24, AsStored},
        {"sRGB", "im.convert('RGB').save(out); with_chunk(out, b'sRGB', b'\\x00')", 24, AsStored},
        {"sRGB before gAMA 1.0 and cHRM",
         "im.convert('RGB').save(out); with_chunk(out, b'gAMA', struct.pack('>I', 100000)); " + chromaticities +
             "; with_chunk(out, b'sRGB', b'\\x00')",
         24, AsStored},
        // What ImageMagick writes for sRGB pictures: gamma and primaries within libpng's 5 % of sRGB's.
        {"gAMA 1/2.2 with sRGB's primaries",
         "im.convert('RGB').save(out); with_chunk(out, b'gAMA', struct.pack('>I', 45455)); " + chromaticities, 24,
         AsStored},
        {"gAMA 1.0 alone", "im.convert('RGB').save(out); with_chunk(out, b'gAMA', struct.pack('>I', 100000))", 24,
         AsStored},
        {"gAMA 1.0 with sRGB's primaries",
         "im.convert('RGB').save(out); with_chunk(out, b'gAMA', struct.pack('>I', 100000)); " + chromaticities, 24,
         LinearToSrgb},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Picture stored, want;
        ASSERT_TRUE(MakePng("colours.png", c.recipe, 41, 29, &stored));
        const Loaded loaded = Take(LoadPngFile(TmpPath("colours.png").c_str(), NeverStop));
        ASSERT_NE(loaded.Image, nullptr) << loaded.Reason;
        ExpectWellFormed(loaded, c.bitCount);
        switch (c.want) {
            case ImageMagick:
                ASSERT_TRUE(ImageMagickInSrgb(TmpPath("colours.png"), want));
                EXPECT_GT(LargestDifference(loaded.Image.get(), stored), 3);  // the profile changes them
                EXPECT_LE(LargestDifference(loaded.Image.get(), want), 2);
                break;
            case AsStored: EXPECT_EQ(LargestDifference(loaded.Image.get(), stored), 0); break;
            case LinearToSrgb:
                want = stored;
                for (unsigned char& v : want.Rgb) {
                    const double linear = v / 255.0;
                    const double encoded = linear <= 0.0031308 ? 12.92 * linear : 1.055 * pow(linear, 1 / 2.4) - 0.055;
                    v = static_cast<unsigned char>(encoded * 255 + 0.5);
                }
                EXPECT_LE(LargestDifference(loaded.Image.get(), want), 2);
                break;
        }
    }
}

// eXIf holds the TIFF structure of a JPEG's EXIF segment without its "Exif\0\0".
TEST(PngLoader, AnExifOrientationIsReadLikeAJpegs) {
    const std::string tiff =
        "def tiff(order, value):\n"
        "    e = '<' if order == b'II' else '>'\n"
        "    return order + struct.pack(e + 'HIH', 42, 8, 1) + struct.pack(e + 'HHIHH', 0x112, 3, 1, value, 0) + "
        "struct.pack(e + 'I', 0)\n";
    const struct {
        const char* name;
        std::string recipe;
        int want;
    } cases[] = {
        {"II 6", tiff + "im.save(out); with_chunk(out, b'eXIf', tiff(b'II', 6))", 6},
        {"MM 8", tiff + "im.save(out); with_chunk(out, b'eXIf', tiff(b'MM', 8))", 8},
        {"with a JPEG's Exif mark", tiff + "im.save(out); with_chunk(out, b'eXIf', b'Exif\\0\\0' + tiff(b'MM', 3))", 3},
        {"value 9", tiff + "im.save(out); with_chunk(out, b'eXIf', tiff(b'II', 9))", 1},
        {"cut short", tiff + "im.save(out); with_chunk(out, b'eXIf', tiff(b'II', 6)[:16])", 1},
        {"none", "im.save(out)", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Picture stored;
        ASSERT_TRUE(MakePng("turned.png", c.recipe, 9, 5, &stored));
        const Loaded loaded = Take(LoadPngFile(TmpPath("turned.png").c_str(), NeverStop));
        ASSERT_NE(loaded.Image, nullptr) << loaded.Reason;
        EXPECT_EQ(loaded.Orientation, c.want);
        EXPECT_EQ(CountDifferentPixels(loaded.Image.get(), stored, 0), 0);  // the pixels as stored
    }
}

}  // namespace

namespace {

// ImageMagick's picture of a file in the Adobe RGB display's colours: from its own profile, or
// from sRGB for a file without one.
bool ImageMagickOnAdobeDisplay(const std::string& path, bool assignSrgb, Picture& picture) {
    const std::string srgb = TmpPath("display.srgb.icc"), adobe = TmpPath("display.adobe.icc");
    const std::string out = path + ".display.ppm";
    remove(out.c_str());
    return WriteBytes(srgb, MakeProfile(TestProfile::Srgb)) && WriteBytes(adobe, MakeProfile(TestProfile::AdobeRgb)) &&
           RunShell("convert '" + path + "' -intent relative " + (assignSrgb ? "-profile '" + srgb + "' " : "") +
                    "-profile '" + adobe + "' -depth 8 -type TrueColor 'PPM:" + out + "'") == 0 &&
           ReadPnm(out, picture);
}

TEST(PngLoader, TheDisplaysOwnProfileTakesThePlaceOfSrgb) {
    const std::string icc = ProfileRecipes();
    const Bytes adobe = MakeProfile(TestProfile::AdobeRgb), gray = MakeProfile(TestProfile::LinearGray);
    EXPECT_FALSE(UseDisplayProfile(gray.data(), gray.size()));  // a display shows colours
    EXPECT_FALSE(UseDisplayProfile(adobe.data(), 100));
    ASSERT_TRUE(UseDisplayProfile(adobe.data(), adobe.size()));
    const struct {
        const char* name;
        std::string recipe;
        bool changes;
    } cases[] = {
        {"sRGB", "im.convert('RGB').save(out); with_chunk(out, b'sRGB', b'\\x00')", true},
        {"ProPhoto RGB", icc + "im.convert('RGB').save(out, icc_profile=icc('prophoto'))", true},
        {"no colour chunk", "im.convert('RGB').save(out)", false},  // its pixels as they are
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Picture stored, want;
        ASSERT_TRUE(MakePng("display.png", c.recipe, 41, 29, &stored));
        const Loaded loaded = Take(LoadPngFile(TmpPath("display.png").c_str(), NeverStop));
        ASSERT_NE(loaded.Image, nullptr) << loaded.Reason;
        if (c.changes) {
            ASSERT_TRUE(ImageMagickOnAdobeDisplay(TmpPath("display.png"), c.name == std::string("sRGB"), want));
            EXPECT_GT(LargestDifference(loaded.Image.get(), stored), 3);
            EXPECT_LE(LargestDifference(loaded.Image.get(), want), 2);
        } else {
            EXPECT_EQ(LargestDifference(loaded.Image.get(), stored), 0);
        }
    }
    EXPECT_FALSE(UseDisplayProfile(nullptr, 0));  // back to sRGB
}

}  // namespace
