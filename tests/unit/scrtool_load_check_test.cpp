// scrtool load and check, run as a user runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "image_test_files.h"

namespace {

using namespace image_test;

// The scrtool built beside these tests (tests/tmp is two levels under the build directory).
std::string ScrtoolPath() { return std::string(SAVER_TEST_TMP) + "/../../tools/scrtool"; }

// Standard output of a command, and its exit status.
std::string Output(const std::string& command, int* status) {
    std::string text;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) return text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    const int raw = pclose(pipe);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return text;
}

class ScrtoolCommand : public testing::Test {
protected:
    void SetUp() override {
#if defined(__i386__)
        GTEST_SKIP() << "the tool's 32-bit build needs no separate check; the native build runs these";
#endif
    }
};

TEST_F(ScrtoolCommand, LoadPrintsOneLineAndWritesTheBlockBack) {
    const std::string pal8 = std::string(SAVER_TEST_DATA) + "/bmpsuite/g/pal8.bmp";
    const std::string out = TmpPath("scrtool-out.bmp");
    remove(out.c_str());
    int status = -1;
    EXPECT_EQ(Output(ScrtoolPath() + " load '" + pal8 + "' --out '" + out + "'", &status), "ok 127 64 8\n");
    EXPECT_EQ(status, 0);
    // pal8.bmp's own file header already says what the written one must: the whole file returns.
    Bytes original, written;
    ASSERT_TRUE(ReadBytes(pal8, original));
    ASSERT_TRUE(ReadBytes(out, written));
    EXPECT_TRUE(original == written);

    ASSERT_TRUE(MakeJpeg("scrtool.JPEG", 609, 448, ""));
    EXPECT_EQ(Output(ScrtoolPath() + " load '" + TmpPath("scrtool.JPEG") + "' --out '" + out + "'", &status),
              "ok 609 448 24\n");
    ASSERT_TRUE(ReadBytes(out, written));
    ASSERT_EQ(written.size(), 14u + 40u + 1828u * 448u);
    EXPECT_EQ(written[0], 'B');
    EXPECT_EQ(written[1], 'M');
    EXPECT_EQ(written[2] | written[3] << 8 | written[4] << 16 | written[5] << 24, static_cast<int>(written.size()));
    EXPECT_EQ(written[10], 54);
}

TEST_F(ScrtoolCommand, LoadSaysWhyThereIsNoPicture) {
    ASSERT_TRUE(WriteBytes(TmpPath("notes.txt"), {'h', 'i'}));
    ASSERT_TRUE(WriteBytes(TmpPath("text.jpg"), {'h', 'i'}));
    ASSERT_TRUE(WriteBytes(TmpPath("text.png"), {'h', 'i'}));
    const struct {
        std::string arguments;
        std::string output;
        int status;
    } cases[] = {
        {"load '" + TmpPath("notes.txt") + "'", "none: not a picture by its extension\n", 0},
        {"load '" + TmpPath("text.jpg") + "'", "none: not a JPEG file: starts with 0x68 0x69\n", 0},
        {"load '" + TmpPath("text.png") + "'", "none: not a PNG file\n", 0},
        {"load '" + TmpPath("missing.bmp") + "'", "none: cannot open file\n", 0},
        {"load", "", 2},
        {"load a.bmp --out", "", 2},
        {"load a.bmp b.bmp", "", 2},
        {"check", "", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        int status = -1;
        EXPECT_EQ(Output(ScrtoolPath() + " " + c.arguments, &status), c.output);
        EXPECT_EQ(status, c.status);
    }
}

TEST_F(ScrtoolCommand, CheckJudgesEveryEntry) {
    const std::string directory = TmpPath("check.dir");
    ASSERT_EQ(RunShell("rm -rf '" + directory + "' && mkdir -p '" + directory + "/old.jpg'"), 0);
    ASSERT_TRUE(MakeJpeg("check.dir/Moon.JPG", 5, 3, ""));
    RunShell("rm -f '" + directory + "/Moon.JPG.ppm'");
    ASSERT_EQ(RunShell("cp '" + std::string(SAVER_TEST_DATA) + "/bmpsuite/b/badplanes.bmp' '" + directory + "/'"), 0);
    ASSERT_TRUE(WriteBytes(directory + "/notes.txt", {'x'}));
    ASSERT_EQ(RunShell("/usr/bin/python3 -c \"from PIL import Image; Image.new('P', (7, 2)).save('" + directory +
                       "/Sun.PNG', bits=4); Image.new('LA', (2, 9)).save('" + directory + "/moon.png')\""),
              0);
    ASSERT_TRUE(WriteBytes(directory + "/clipped.png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0}));
    int status = -1;
    const std::string output = Output(ScrtoolPath() + " check '" + directory + "'", &status);
    EXPECT_EQ(status, 0);
    std::set<std::string> lines;
    for (size_t start = 0, end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.insert(output.substr(start, end - start));
    }
    const std::set<std::string> expected = {
        ".\tskipped (not a picture by its extension)",
        "..\tskipped (not a picture by its extension)",
        "Moon.JPG\tpicture 5 3 24",
        "Sun.PNG\tpicture 7 2 8",
        "moon.png\tpicture 2 9 24",
        "clipped.png\tcannot load: file truncated",
        "badplanes.bmp\tcannot load: planes not 1",
        "notes.txt\tskipped (not a picture by its extension)",
        "old.jpg\tcannot load: empty input file",  // a directory: read as a file, it holds nothing
    };
    EXPECT_EQ(lines, expected);

    // With --subfolders a folder is a folder, whatever its name, and is gone through after the
    // entries of the folder it is in; a hidden one is passed over.
    const std::string tree = TmpPath("check-tree.dir");
    ASSERT_EQ(RunShell("rm -rf '" + tree + "' && mkdir -p '" + tree + "/2024/05' '" + tree + "/old.jpg' '" + tree +
                       "/.cache' && cp '" + directory + "/Moon.JPG' '" + tree + "/2024/05/Sea.jpg' && cp '" +
                       directory + "/Moon.JPG' '" + tree + "/.cache/never.jpg'"),
              0);
    const std::string treeOutput = Output(ScrtoolPath() + " check '" + tree + "' --subfolders", &status);
    EXPECT_EQ(status, 0);
    std::vector<std::string> treeLines;
    for (size_t start = 0, end; (end = treeOutput.find('\n', start)) != std::string::npos; start = end + 1) {
        treeLines.push_back(treeOutput.substr(start, end - start));
    }
    const std::string skipped = "\tskipped (not a picture by its extension)";
    const std::set<std::string> expectedTree = {
        "." + skipped,
        ".." + skipped,
        "2024\tfolder",
        "old.jpg\tfolder",
        ".cache\tskipped (hidden folder)",
        "2024\\." + skipped,
        "2024\\.." + skipped,
        "2024\\05\tfolder",
        "old.jpg\\." + skipped,
        "old.jpg\\.." + skipped,
        "2024\\05\\." + skipped,
        "2024\\05\\.." + skipped,
        "2024\\05\\Sea.jpg\tpicture 5 3 24",
    };
    EXPECT_EQ(std::set<std::string>(treeLines.begin(), treeLines.end()), expectedTree);
    const auto at = [&](const std::string& line) { return std::find(treeLines.begin(), treeLines.end(), line); };
    EXPECT_LT(at("2024\tfolder"), at("2024\\05\tfolder"));
    EXPECT_LT(at("old.jpg\tfolder"), at("2024\\05\tfolder")) << "the top's entries come first";
    EXPECT_EQ(Output(ScrtoolPath() + " check '" + tree + "' --deep", &status), "");
    EXPECT_EQ(status, 2);
}

}  // namespace
