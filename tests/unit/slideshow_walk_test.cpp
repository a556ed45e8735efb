// The image directory walk over real directories, against a plain model of the walk's rules: the
// first picture is the first loadable entry at or after entry k + 2 in the listing's cyclic order,
// and each later call takes the next loadable one.
// 64-bit directory offsets even in 32-bit builds: ext4 hands out 64-bit hash offsets to a 64-bit
// kernel interface (qemu-user's), which 32-bit readdir reports as an overflow and ends the listing.
#define _FILE_OFFSET_BITS 64
#include <dirent.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "image_test_files.h"
#include "platform/debug_output.h"
#include "platform/trace_labels.h"
#include "slideshow/image_directory_walk.h"
#include "slideshow/random_generator.h"

namespace {

namespace fs = std::filesystem;

std::string ScratchDir(const std::string& name) {
    const fs::path dir = fs::path(SAVER_TEST_TMP) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

// A 2 × 1 24-bit picture.
void WriteBmp(const std::string& path) {
    unsigned char file[62] = {'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0,
                              1, 0, 24, 0};
    file[54] = 0xFF;  // one blue pixel, one black, two pad bytes
    FILE* out = fopen(path.c_str(), "wb");
    ASSERT_TRUE(out);
    fwrite(file, 1, sizeof file, out);
    fclose(out);
}

void WriteText(const std::string& path, const char* text) {
    FILE* out = fopen(path.c_str(), "wb");
    ASSERT_TRUE(out);
    fputs(text, out);
    fclose(out);
}

void CopySampleJpeg(const std::string& path) {
    fs::copy_file(fs::path(SAVER_TEST_DATA) / ".." / ".." / "samples" / "moon.jpg", path);
}

std::vector<std::string> ReaddirOrder(const std::string& dir) {
    std::vector<std::string> names;
    DIR* stream = opendir(dir.c_str());
    while (const dirent* entry = stream ? readdir(stream) : nullptr) names.push_back(entry->d_name);
    if (stream) closedir(stream);
    return names;
}

// What the walk must say after each call, modelled over the listing.
struct Step {
    std::string name;
    bool image;
};

std::vector<Step> ModelWalk(const std::vector<std::string>& names, const std::vector<bool>& loadable, uint32_t skip,
                            int calls) {
    std::vector<Step> steps;
    const size_t count = names.size();
    long position = static_cast<long>(skip);  // -1: the listing is not open
    for (int call = 0; call < calls; ++call) {
        long found = -1;
        for (size_t i = static_cast<size_t>(position + 1); position >= 0 && i < count && found < 0; ++i)
            if (loadable[i]) found = static_cast<long>(i);
        for (size_t i = 0; i < count && found < 0; ++i)
            if (loadable[i]) found = static_cast<long>(i);
        position = found;
        steps.push_back(found >= 0 ? Step{names[found], true} : Step{names.back(), false});
    }
    return steps;
}

std::vector<Step> RunWalk(ImageDirectoryWalk& walk, int calls) {
    std::vector<Step> steps;
    const size_t dirLength = strlen(walk.ImageDir);
    for (int call = 0; call < calls; ++call) {
        PackedDib image = AdvanceToNextImage(walk, NeverStop).Image;
        steps.push_back(Step{walk.CandidatePath + dirLength, image != nullptr});
        free(image);
    }
    return steps;
}

void ExpectSameSteps(const std::vector<Step>& actual, const std::vector<Step>& expected, const std::string& what) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i].name, expected[i].name) << what << " call " << i;
        EXPECT_EQ(actual[i].image, expected[i].image) << what << " call " << i;
    }
}

uint32_t FirstRandom(uint32_t seed) {
    SeedRandom(seed);
    return static_cast<uint32_t>(NextRandom());
}

TEST(ImageDirectoryWalk, SetImageDirEndsInOneBackslash) {
    struct Case {
        std::string baseDir, imageDir;
        bool listable;
    };
    const std::string long255(255, 'a'), long256(256, 'a'), long259(259, 'a'), long300(300, 'a');
    const Case cases[] = {
        {"E:\\Pics", "E:\\Pics\\", true},
        {"E:\\Pics\\", "E:\\Pics\\", true},
        {"", "\\", true},
        {long255, long255 + "\\", true},    // the pattern just fits: 259 characters
        {long256, long256 + "\\", false},   // one more and it does not
        {long259, long259 + "\\", false},   // the longest setting keeps its backslash
        {long300, long259 + "\\", false},   // longer text is cut, and never listed
    };
    for (const Case& c : cases) {
        ImageDirectoryWalk walk = {};
        SetImageDir(walk, c.baseDir.c_str());
        EXPECT_EQ(walk.ImageDir, c.imageDir) << c.baseDir.size();
        EXPECT_EQ(ImageDirCanBeListed(walk), c.listable) << c.baseDir.size();
    }
}

TEST(ImageDirectoryWalk, FollowsTheListingFromTheRandomStartAndWraps) {
    const std::string dir = ScratchDir("walk_cycle");
    WriteBmp(dir + "/sun.bmp");
    WriteText(dir + "/notes.txt", "not a picture");
    CopySampleJpeg(dir + "/moon.JPEG");
    WriteBmp(dir + "/IMAGE.Bmp");
    WriteBmp(dir + "/archive.jpg.bak");
    WriteText(dir + "/broken.bmp", "BM but nothing more");
    WriteText(dir + "/readme", "");
    fs::create_directory(dir + "/old.jpg");  // handed to the JPEG loader, which gives none
    const std::vector<std::string> names = ReaddirOrder(dir);
    std::vector<bool> loadable;
    for (const std::string& name : names)
        loadable.push_back(name == "sun.bmp" || name == "moon.JPEG" || name == "IMAGE.Bmp");

    for (uint32_t seed = 0; seed < 40; ++seed) {
        ImageDirectoryWalk walk = {};
        SetImageDir(walk, dir.c_str());
        const RandomStart pick = PickRandomStart(walk, seed);
        EXPECT_EQ(pick.Count, names.size() - 1);
        EXPECT_EQ(pick.Skip, FirstRandom(seed) % (names.size() - 1));
        ExpectSameSteps(RunWalk(walk, 7), ModelWalk(names, loadable, pick.Skip, 7), "seed " + std::to_string(seed));
        CloseListing(walk);
        EXPECT_EQ(walk.Listing, nullptr);
    }
}

TEST(ImageDirectoryWalk, OneLoadableFileIsReloadedAtEveryCall) {
    const std::string dir = ScratchDir("walk_single");
    CopySampleJpeg(dir + "/sun.jpg");
    WriteText(dir + "/a.txt", "");
    WriteText(dir + "/b.txt", "");
    ImageDirectoryWalk walk = {};
    SetImageDir(walk, dir.c_str());
    PickRandomStart(walk, 7);
    for (int call = 0; call < 5; ++call) {
        PackedDib image = AdvanceToNextImage(walk, NeverStop).Image;
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(ReadDibLayout(image).bitCount, 24);
        EXPECT_STREQ(walk.CandidatePath + strlen(walk.ImageDir), "sun.jpg");
        free(image);
    }
    CloseListing(walk);
}

TEST(ImageDirectoryWalk, NothingLoadableEndsEachCallOnTheLastEntryWithTheListingClosed) {
    const std::string dir = ScratchDir("walk_nothing");
    WriteText(dir + "/a.txt", "");
    WriteText(dir + "/bad.bmp", "no picture");
    ImageDirectoryWalk walk = {};
    SetImageDir(walk, dir.c_str());
    PickRandomStart(walk, 3);
    for (int call = 0; call < 3; ++call) {
        EXPECT_EQ(AdvanceToNextImage(walk, NeverStop).Image, nullptr);
        EXPECT_EQ(walk.Listing, nullptr);
        EXPECT_EQ(walk.CandidatePath, walk.ImageDir + ReaddirOrder(dir).back());
    }
}

TEST(ImageDirectoryWalk, AnUnlistableDirectoryPicksTheFirstEntryWithoutDrawingANumber) {
    const std::string missing = ScratchDir("walk_missing") + "/not-there";
    const std::string tooLong = ScratchDir("walk_too_long") + "/" + std::string(250, 'd');
    fs::create_directory(tooLong);
    WriteBmp(tooLong + "/a.bmp");
    const std::string directories[] = {missing, tooLong};
    for (const std::string& dir : directories) {
        ImageDirectoryWalk walk = {};
        SetImageDir(walk, dir.c_str());
        const RandomStart pick = PickRandomStart(walk, 1);
        EXPECT_EQ(pick.Count, 0u);
        EXPECT_EQ(pick.Skip, 0u);
        EXPECT_EQ(NextRandom(), 41) << "the pick must not have drawn a number";
        EXPECT_EQ(walk.Listing, nullptr);
        EXPECT_EQ(AdvanceToNextImage(walk, NeverStop).Image, nullptr);
        EXPECT_EQ(walk.Listing, nullptr);
        // The pattern, or as much of it as fits.
        const std::string pattern = (std::string(walk.ImageDir) + "*.*").substr(0, PathBufferSize - 1);
        EXPECT_EQ(walk.CandidatePath, pattern) << dir.size();
    }
}

TEST(ImageDirectoryWalk, AnEntryWhosePathDoesNotFitIsPassedOver) {
    // ImageDir takes 200 characters, so a name of 59 fits exactly and one of 60 does not. Cut to
    // what fits, the longer name would name the shorter file: it must not be loaded all the same.
    const std::string base = ScratchDir("walk_long_names");
    const std::string dir = base + "/" + std::string(199 - base.size() - 1, 'p');
    fs::create_directory(dir);
    const std::string fits = std::string(55, 'f') + ".bmp";
    const std::string tooLong = fits + "z";
    WriteBmp(dir + "/" + fits);
    WriteBmp(dir + "/" + tooLong);

    ImageDirectoryWalk walk = {};
    SetImageDir(walk, dir.c_str());
    ASSERT_EQ(strlen(walk.ImageDir), 200u);
    walk.Listing = OpenDirectoryListing((std::string(walk.ImageDir) + "*.*").c_str(), &walk.Entry);
    ASSERT_NE(walk.Listing, nullptr);
    int seen = 0;
    do {
        const std::string name = walk.Entry.FileName;
        PackedDib image = TryCurrentEntry(walk, NeverStop).Image;
        if (name == fits) {
            EXPECT_NE(image, nullptr);
            EXPECT_EQ(walk.CandidatePath, walk.ImageDir + fits);
            ++seen;
        } else if (name == tooLong) {
            EXPECT_EQ(image, nullptr);
            // The label keeps as much of the name as fits.
            EXPECT_EQ(walk.CandidatePath, (walk.ImageDir + tooLong).substr(0, PathBufferSize - 1));
            ++seen;
        }
        free(image);
    } while (NextDirectoryEntry(walk.Listing, &walk.Entry));
    EXPECT_EQ(seen, 2);
    CloseListing(walk);

    // The walk itself only ever shows the one that fits.
    SetImageDir(walk, dir.c_str());
    PickRandomStart(walk, 0);
    for (const Step& step : RunWalk(walk, 4)) EXPECT_EQ(step.name, fits);
    CloseListing(walk);
}

TEST(ImageDirectoryWalk, TryingWithoutAListingLeavesTheLabelAlone) {
    ImageDirectoryWalk walk = {};
    SetImageDir(walk, "somewhere");
    strcpy(walk.CandidatePath, "kept");
    EXPECT_EQ(TryCurrentEntry(walk, NeverStop).Image, nullptr);
    EXPECT_STREQ(walk.CandidatePath, "kept");
}

TEST(ImageDirectoryWalk, AStepCutShortAnywhereIsTakenAgainWithNothingSkipped) {
    const std::string dir = ScratchDir("walk_cut_short");
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) WriteText(dir + "/" + name, "");
    WriteBmp(dir + "/d.bmp");
    WriteText(dir + "/e.bmp", "no picture");
    // A progressive picture, so that its decode asks often: between the scans and the rows.
    ASSERT_TRUE(image_test::MakeJpeg("walk_cut_short.jpg", 64, 64, "-progressive"));
    fs::copy_file(image_test::TmpPath("walk_cut_short.jpg"), dir + "/f.jpg");
    WriteBmp(dir + "/g.bmp");

    // The steps as they go without a stop, and how many questions each step asks.
    ImageDirectoryWalk plain = {};
    SetImageDir(plain, dir.c_str());
    PickRandomStart(plain, 11);
    std::vector<Step> expected;
    int questions = 0;
    const int calls = 6;
    for (int call = 0; call < calls; ++call) {
        image_test::QuestionCounter counter = {0, 0};
        const LoadResult result = AdvanceToNextImage(plain, image_test::CountingControl(&counter));
        expected.push_back(Step{plain.CandidatePath + strlen(plain.ImageDir), result.Image != nullptr});
        free(result.Image);
        questions += counter.Asked;
    }
    CloseListing(plain);
    ASSERT_GT(questions, 3 * calls);

    // Stopped at each question in turn, the walk gives exactly those steps once the cut one is
    // taken again; the cut step names the entry it stopped at.
    for (int stopAt = 1; stopAt <= questions; ++stopAt) {
        SCOPED_TRACE(stopAt);
        ImageDirectoryWalk walk = {};
        SetImageDir(walk, dir.c_str());
        PickRandomStart(walk, 11);
        image_test::QuestionCounter counter = {0, stopAt};
        const LoadControl control = image_test::CountingControl(&counter);
        std::vector<Step> steps;
        int cuts = 0;
        while (steps.size() < expected.size()) {
            const LoadResult result = AdvanceToNextImage(walk, control);
            if (result.CutShort) {
                EXPECT_EQ(result.Image, nullptr);
                EXPECT_STREQ(result.Reason, "load cut short");
                EXPECT_TRUE(walk.EntryPending);
                ++cuts;
                continue;
            }
            steps.push_back(Step{walk.CandidatePath + strlen(walk.ImageDir), result.Image != nullptr});
            free(result.Image);
        }
        CloseListing(walk);
        EXPECT_EQ(cuts, 1);
        ExpectSameSteps(steps, expected, "after a cut");
    }
}

std::vector<std::string> CapturedOutput;
void Capture(const char* text) { CapturedOutput.push_back(text); }

TEST(ImageDirectoryWalk, TheRandomStartIsTimedInOneTrace) {
    const std::string dir = ScratchDir("walk_trace");
    WriteBmp(dir + "/a.bmp");
    ImageDirectoryWalk walk = {};
    SetImageDir(walk, dir.c_str());
    CapturedOutput.clear();
    SetDebugOutputSink(Capture);
    PickRandomStart(walk, 5);
    SetDebugOutputSink(nullptr);
    CloseListing(walk);
    ASSERT_EQ(CapturedOutput.size(), 2u);
    EXPECT_EQ(CapturedOutput[0], TraceLabel::RandomFirstFile);
    unsigned long ms = 0;
    char tail[8] = {};
    EXPECT_EQ(sscanf(CapturedOutput[1].c_str(), " %lu ms%7s", &ms, tail), 2) << CapturedOutput[1];
    EXPECT_STREQ(tail, ".");
    EXPECT_EQ(CapturedOutput[1].back(), '\n');
}

}  // namespace
