#include "imaging/webp_loader.h"

#include <gtest/gtest.h>

#include <cstring>

#include "image_test_files.h"

namespace {

using namespace image_test;

// Runs Python with Pillow and the tools of libwebp at hand. `pattern(w, h, alpha)` is a picture
// with gradients, detail and, with alpha, every opacity; `run` runs a shell command.
bool MakeWithPython(const std::string& name, const std::string& program) {
    const std::string script = TmpPath(name + ".py");
    const std::string text =
        "import subprocess, struct\nfrom PIL import Image\n"
        "def run(command): subprocess.run(command, shell=True, check=True)\n"
        "def pattern(w, h, alpha=False):\n"
        "    im = Image.new('RGBA', (w, h))\n"
        "    seed = 7\n"
        "    for y in range(h):\n"
        "        for x in range(w):\n"
        "            seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF\n"
        "            a = ((x * 255 // max(w - 1, 1)) ^ (y * 37)) & 255 if alpha else 255\n"
        "            im.putpixel((x, y), (x * 255 // max(w - 1, 1), (seed >> 16) & 255, y * 255 // max(h - 1, 1), a))\n"
        "    return im\n"
        "out = '" +
        TmpPath(name) + "'\n" + program + "\n";
    remove(TmpPath(name).c_str());
    return WriteBytes(script, Bytes(text.begin(), text.end())) && RunShell("/usr/bin/python3 '" + script + "'") == 0;
}

// dwebp's picture of a still WebP, composited on black as the loader shows it.
bool DwebpOnBlack(const std::string& path, Picture& picture) {
    const std::string pam = path + ".pam";
    remove(pam.c_str());
    if (RunShell("dwebp -quiet '" + path + "' -pam -o '" + pam + "'") != 0) return false;
    Bytes bytes;
    if (!ReadBytes(pam, bytes)) return false;
    const std::string text(bytes.begin(), bytes.end());
    const size_t end = text.find("ENDHDR\n");
    if (end == std::string::npos ||
        sscanf(text.c_str(), "P7\nWIDTH %d\nHEIGHT %d\n", &picture.Width, &picture.Height) != 2) {
        return false;
    }
    const size_t pixels = static_cast<size_t>(picture.Width) * picture.Height;
    if (bytes.size() < end + 7 + pixels * 4) return false;
    picture.Rgb.resize(pixels * 3);
    for (size_t i = 0; i < pixels; ++i) {
        const unsigned char* p = &bytes[end + 7 + i * 4];
        for (int c = 0; c < 3; ++c) picture.Rgb[i * 3 + c] = static_cast<unsigned char>((p[c] * p[3] + 127) / 255);
    }
    return true;
}

void ExpectWellFormed(const Loaded& loaded) {
    const DibLayout layout = ReadDibLayout(loaded.Image.get());
    EXPECT_EQ(layout.bitCount, 24);
    EXPECT_EQ(layout.bitsOffset, 40u);
    const size_t stride = static_cast<size_t>(DibStride(layout.width, 24));
    EXPECT_EQ(loaded.BlockSize, 40 + stride * layout.height);
    int nonZeroPads = 0;
    for (int32_t y = 0; y < layout.height; ++y) {
        for (size_t i = static_cast<size_t>(layout.width) * 3; i < stride; ++i) {
            nonZeroPads += PackedDibBits(loaded.Image.get())[y * stride + i] != 0;
        }
    }
    EXPECT_EQ(nonZeroPads, 0);
}

TEST(WebpLoader, EveryKindShowsDwebpsPictureOnBlack) {
    const struct {
        const char* name;
        std::string program;  // makes `out`, and `out + '.still.webp'` for dwebp when it cannot read `out`
        int tolerance;        // premultiplying by alpha rounds its own way
    } kinds[] = {
        {"lossy", "pattern(61, 37).save(out + '.png'); run(\"cwebp -quiet -q 80 '%s.png' -o '%s'\" % (out, out))", 0},
        {"lossy, 1 x 1", "pattern(1, 1).save(out + '.png'); run(\"cwebp -quiet '%s.png' -o '%s'\" % (out, out))", 0},
        {"lossless",
         "pattern(61, 37).save(out + '.png'); run(\"cwebp -quiet -lossless '%s.png' -o '%s'\" % (out, out))", 0},
        {"lossy with alpha",
         "pattern(61, 37, True).save(out + '.png'); run(\"cwebp -quiet -q 90 -exact '%s.png' -o '%s'\" % (out, out))",
         1},
        {"lossless with alpha",
         "pattern(62, 38, True).save(out + '.png'); run(\"cwebp -quiet -lossless -exact '%s.png' -o '%s'\" % (out, "
         "out))",
         1},
        // The first frame at an offset on a canvas the second frame fills: black around it.
        {"animation",
         "pattern(20, 10, True).save(out + '.1.png'); pattern(40, 40).save(out + '.2.png')\n"
         "run(\"cwebp -quiet -lossless -exact '%s.1.png' -o '%s.1.webp'\" % (out, out))\n"
         "run(\"cwebp -quiet -q 70 '%s.2.png' -o '%s.2.webp'\" % (out, out))\n"
         "run(\"webpmux -frame '%s.1.webp' +100+10+20 -frame '%s.2.webp' +100+0+0 -loop 0 -o '%s'\" % (out, out, "
         "out))\n"
         "canvas = Image.new('RGBA', (40, 40), (0, 0, 0, 0))\n"
         "canvas.paste(Image.open(out + '.1.webp'), (10, 20))\n"
         "canvas.save(out + '.still.png')\n"
         "run(\"cwebp -quiet -lossless -exact '%s.still.png' -o '%s.still.webp'\" % (out, out))",
         1},
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        ASSERT_TRUE(MakeWithPython("kind.webp", kind.program));
        const std::string path = TmpPath("kind.webp");
        Picture want;
        if (!DwebpOnBlack(path, want)) {
            ASSERT_TRUE(DwebpOnBlack(path + ".still.webp", want));
        }
        const Loaded loaded = Take(LoadWebpFile(path.c_str(), NeverStop));
        ASSERT_NE(loaded.Image, nullptr) << loaded.Reason;
        EXPECT_EQ(loaded.Failure, LoadFailure::None);
        ExpectWellFormed(loaded);
        EXPECT_EQ(CountDifferentPixels(loaded.Image.get(), want, kind.tolerance), 0);
    }
}

// The profile goes through the colour step as a PNG's does.
TEST(WebpLoader, AnEmbeddedProfileGivesTheColoursImageMagickConvertsItTo) {
    ASSERT_TRUE(WriteBytes(TmpPath("adobe.icc"), MakeProfile(TestProfile::AdobeRgb)));
    ASSERT_TRUE(
        MakeWithPython("profiled.webp", "im = pattern(61, 37).convert('RGB'); icc = open('" + TmpPath("adobe.icc") +
                                            "', 'rb').read()\n"
                                            "im.save(out + '.png', icc_profile=icc)\n"
                                            "run(\"cwebp -quiet -lossless '%s.png' -o '%s.plain.webp'\" % (out, out))\n"
                                            "run(\"webpmux -set icc '" +
                                            TmpPath("adobe.icc") + "' '%s.plain.webp' -o '%s'\" % (out, out))"));
    Picture want, plain;
    ASSERT_TRUE(ImageMagickInSrgb(TmpPath("profiled.webp.png"), want));
    ASSERT_TRUE(DwebpOnBlack(TmpPath("profiled.webp"), plain));
    const Loaded loaded = Take(LoadWebpFile(TmpPath("profiled.webp").c_str(), NeverStop));
    ASSERT_NE(loaded.Image, nullptr) << loaded.Reason;
    EXPECT_GT(LargestDifference(loaded.Image.get(), plain), 3);
    EXPECT_LE(LargestDifference(loaded.Image.get(), want), 2);
}

TEST(WebpLoader, DamagedAndHostileFilesGiveNoneFromTheHeader) {
    ASSERT_TRUE(MakeWithPython(
        "whole.webp", "pattern(61, 37).save(out + '.png'); run(\"cwebp -quiet -q 80 '%s.png' -o '%s'\" % (out, out))"));
    ASSERT_TRUE(MakeWithPython(
        "lossless.webp",
        "pattern(61, 37).save(out + '.png'); run(\"cwebp -quiet -lossless '%s.png' -o '%s'\" % (out, out))"));
    Bytes whole, lossless;
    ASSERT_TRUE(ReadBytes(TmpPath("whole.webp"), whole));
    ASSERT_TRUE(ReadBytes(TmpPath("lossless.webp"), lossless));
    ASSERT_EQ(memcmp(&whole[12], "VP8 ", 4), 0);
    ASSERT_EQ(memcmp(&lossless[12], "VP8L", 4), 0);
    // VP8X of an animation: a canvas of 65535 x 65535 (libwebp's most pixels) over one small frame.
    Bytes hugeCanvas(whole.begin(), whole.begin() + 12);
    const unsigned char vp8x[] = {'V', 'P', '8', 'X', 10, 0, 0, 0, 0x02, 0, 0, 0, 0xFE, 0xFF, 0, 0xFE, 0xFF, 0};
    hugeCanvas.insert(hugeCanvas.end(), vp8x, vp8x + sizeof vp8x);
    hugeCanvas.insert(hugeCanvas.end(), whole.begin() + 12, whole.end());
    const uint32_t riff = static_cast<uint32_t>(hugeCanvas.size() - 8);
    for (int i = 0; i < 4; ++i) hugeCanvas[4 + i] = static_cast<unsigned char>(riff >> (8 * i));
    Bytes badData = whole;
    for (size_t i = 40; i < badData.size(); i += 3) badData[i] ^= 0x5A;
    Bytes png;
    ASSERT_TRUE(ReadBytes(TmpPath("whole.webp.png"), png));

    const struct {
        const char* name;
        Bytes webp;
        ExpectedFailure reason;
    } cases[] = {
        {"empty", {}, LoadFailure::EmptyFile},
        {"a PNG file", png, LoadFailure::NotWebp},
        {"RIFF of another kind", Bytes({'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}), LoadFailure::NotWebp},
        {"cut in the header", Bytes(whole.begin(), whole.begin() + 20), LoadFailure::FileTruncated},
        {"cut in the data", Bytes(whole.begin(), whole.begin() + whole.size() / 2), LoadFailure::FileTruncated},
        {"lossless cut in the data", Bytes(lossless.begin(), lossless.begin() + lossless.size() / 2),
         LoadFailure::FileTruncated},
        {"canvas of 65535 x 65535", hugeCanvas, LoadFailure::ImageTooLarge},
        {"damaged data", badData, LoadFailure::DamagedWebpData},
    };
    const int freeBefore = LowestFreeDescriptor();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteBytes(TmpPath("damaged.webp"), c.webp));
        QuestionCounter never = {0, 0};
        const Loaded loaded = Take(LoadWebpFile(TmpPath("damaged.webp").c_str(), CountingControl(&never)));
        EXPECT_EQ(loaded.Image, nullptr);
        ExpectFailure(loaded, c.reason);
        EXPECT_EQ(LowestFreeDescriptor(), freeBefore);
    }
}

TEST(WebpLoader, TheLoadAsksAsItGoesAndStopsWhenTold) {
    // Noise at full quality: a few hundred kilobytes, read and decoded in pieces.
    ASSERT_TRUE(
        MakeWithPython("noise.webp",
                       "import random\nrandom.seed(3)\n"
                       "Image.frombytes('RGB', (700, 500), bytes(random.getrandbits(8) for _ in range(700 * 500 * 3)))"
                       ".save(out + '.png')\nrun(\"cwebp -quiet -q 100 '%s.png' -o '%s'\" % (out, out))"));
    const std::string path = TmpPath("noise.webp");
    Bytes bytes;
    ASSERT_TRUE(ReadBytes(path, bytes));
    ASSERT_GT(bytes.size(), 300u << 10);
    QuestionCounter never = {0, 0};
    const Loaded whole = Take(LoadWebpFile(path.c_str(), CountingControl(&never)));
    ASSERT_NE(whole.Image, nullptr) << whole.Reason;
    EXPECT_GE(never.Asked, 4);  // reading past 64 KB, then a question per 256 KB decoded
    for (int stopAt : {1, never.Asked / 2, never.Asked}) {
        SCOPED_TRACE(stopAt);
        QuestionCounter question = {0, stopAt};
        const Loaded stopped = Take(LoadWebpFile(path.c_str(), CountingControl(&question)));
        EXPECT_TRUE(stopped.CutShort);
        EXPECT_EQ(stopped.Image, nullptr);
        EXPECT_EQ(question.Asked, stopAt);
    }
}

}  // namespace
