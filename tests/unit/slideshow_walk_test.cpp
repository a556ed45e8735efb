// The image directory walk over real directories, against a plain model of the walk's rules: the
// first picture is the first loadable entry at or after entry k + 2 in the listing's cyclic order,
// and each later call takes the next loadable one. Then the further ways over hand-made trees: every
// picture at any depth, and the deck's rounds over separate runs kept in a deck file.
// 64-bit directory offsets even in 32-bit builds: ext4 hands out 64-bit hash offsets to a 64-bit
// kernel interface (qemu-user's), which 32-bit readdir reports as an overflow and ends the listing.
#define _FILE_OFFSET_BITS 64
#include <dirent.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "image_test_files.h"
#include "imaging/bmp_file.h"
#include "imaging/packed_dib.h"
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

// A 2 × 1 24-bit picture: one blue pixel, one black.
void WriteBmp(const std::string& path) {
    PackedDib image = CreatePackedDib(2, 1, 24);
    ASSERT_NE(image, nullptr);
    PackedDibBits(image)[0] = 0xFF;
    EXPECT_TRUE(WriteBmpFile(path.c_str(), image, DibInfoHeaderSize + DibStride(2, 24)));
    free(image);
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
        {"E:\\Pics", "E:\\Pics\\", true}, {"E:\\Pics\\", "E:\\Pics\\", true}, {"", "\\", true},
        {long255, long255 + "\\", true},   // the pattern just fits: 259 characters
        {long256, long256 + "\\", false},  // one more and it does not
        {long259, long259 + "\\", false},  // the longest setting keeps its backslash
        {long300, long259 + "\\", false},  // longer text is cut, and never listed
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
        EndWalk(walk);
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
    EndWalk(walk);
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

    // Alone in its folder, the longer name (a picture all the same) is passed over: the walk gives
    // none, and its label, the last entry's, keeps as much of that entry's name as fits.
    const std::string alone = base + "/" + std::string(199 - base.size() - 1, 'q');
    fs::create_directory(alone);
    WriteBmp(alone + "/" + tooLong);
    ImageDirectoryWalk walk = {};
    SetImageDir(walk, alone.c_str());
    ASSERT_EQ(strlen(walk.ImageDir), 200u);
    PickRandomStart(walk, 0);
    EXPECT_EQ(AdvanceToNextImage(walk, NeverStop).Image, nullptr);
    EXPECT_EQ(walk.CandidatePath, (walk.ImageDir + ReaddirOrder(alone).back()).substr(0, PathBufferSize - 1));
    EndWalk(walk);

    // The walk itself only ever shows the one that fits.
    SetImageDir(walk, dir.c_str());
    PickRandomStart(walk, 0);
    for (const Step& step : RunWalk(walk, 4)) EXPECT_EQ(step.name, fits);
    EndWalk(walk);
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
    EndWalk(plain);
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
                EXPECT_EQ(result.Failure, LoadFailure::CutShort);
                EXPECT_TRUE(walk.EntryPending);
                ++cuts;
                continue;
            }
            steps.push_back(Step{walk.CandidatePath + strlen(walk.ImageDir), result.Image != nullptr});
            free(result.Image);
        }
        EndWalk(walk);
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
    EndWalk(walk);
    ASSERT_EQ(CapturedOutput.size(), 2u);
    EXPECT_EQ(CapturedOutput[0], TraceLabel::RandomFirstFile);
    unsigned long ms = 0;
    char tail[8] = {};
    EXPECT_EQ(sscanf(CapturedOutput[1].c_str(), " %lu ms%7s", &ms, tail), 2) << CapturedOutput[1];
    EXPECT_STREQ(tail, ".");
    EXPECT_EQ(CapturedOutput[1].back(), '\n');
}

}  // namespace

namespace {

// One run of the saver with the further ways: a start seeded with seed, then calls steps, then the
// walk's end, which writes the deck file. The names are relative, folders split by '/'.
std::vector<Step> RunWays(const std::string& dir, bool subfolders, bool shuffle, const std::string& state,
                          uint32_t seed, int calls) {
    ImageDirectoryWalk walk = {};
    SetImageDir(walk, dir.c_str());
    SetWalkWays(walk, subfolders, shuffle, state.c_str());
    PickRandomStart(walk, seed);
    std::vector<Step> steps = RunWalk(walk, calls);
    EndWalk(walk);
    EXPECT_EQ(walk.Library, nullptr);
    for (Step& step : steps)
        for (char& c : step.name) c = c == '\\' ? '/' : c;
    return steps;
}

std::vector<std::string> Shown(const std::vector<Step>& steps) {
    std::vector<std::string> names;
    for (const Step& step : steps) {
        EXPECT_TRUE(step.image) << step.name;
        names.push_back(step.name);
    }
    return names;
}

std::multiset<std::string> AsSet(const std::vector<std::string>& names) { return {names.begin(), names.end()}; }

void MakeTree(const std::string& dir, const std::vector<std::string>& pictures) {
    for (const std::string& picture : pictures) {
        fs::create_directories(fs::path(dir + "/" + picture).parent_path());
        WriteBmp(dir + "/" + picture);
    }
}

TEST(ImageDirectoryWalk, EveryPictureBelowTheFolderAtAnyDepthOnceARound) {
    const std::string base = ScratchDir("ways_tree");
    const std::string dir = base + "/photos";
    const std::vector<std::string> pictures = {"top.bmp",
                                               "2023/01/a.bmp",
                                               "2023/01/b.jpeg.bmp",
                                               "2023/02/c.BMP",
                                               "deep/1/2/3/4/5/6/7/8/bottom.bmp",
                                               "looks.jpg/inside.bmp",
                                               "with space/x.bmp"};
    MakeTree(dir, pictures);
    MakeTree(dir, {".hidden/never.bmp", "../elsewhere/linked.bmp"});
    WriteText(dir + "/2023/notes.txt", "");
    WriteText(dir + "/2023/01/broken.bmp", "BM");
    fs::create_directories(dir + "/empty/folders/only");
    fs::create_directory_symlink("../..", dir + "/2023/01/up");  // a loop back to the top
    fs::create_directory_symlink("../elsewhere", dir + "/link");
    std::vector<std::string> everything = pictures;
    everything.push_back("link/linked.bmp");
    const size_t count = everything.size();

    struct Case {
        bool shuffle;
        uint32_t seed;
    };
    for (const Case& c : {Case{false, 0}, Case{false, 12345}, Case{true, 7}, Case{true, 99}}) {
        SCOPED_TRACE(c.seed);
        const std::vector<std::string> shown = Shown(RunWays(dir, true, c.shuffle, "", c.seed, 3 * count));
        for (size_t round = 0; round < 3; ++round) {
            const std::vector<std::string> part(shown.begin() + round * count, shown.begin() + (round + 1) * count);
            EXPECT_EQ(AsSet(part), AsSet(everything)) << "round " << round;
            // In listing order every round is the same cycle; the deck deals each in a new order.
            if (round > 0 && !c.shuffle) {
                EXPECT_TRUE(std::equal(part.begin(), part.end(), shown.begin() + (round - 1) * count));
            }
        }
    }
    // Without subfolders the deck holds the folder's own pictures; a folder is never a picture.
    EXPECT_EQ(AsSet(Shown(RunWays(dir, false, true, "", 3, 2))), AsSet({"top.bmp", "top.bmp"}));
    // An empty tree gives none, labelled with the search pattern.
    const std::vector<Step> none = RunWays(dir + "/empty", true, true, "", 1, 1);
    EXPECT_FALSE(none[0].image);
    EXPECT_EQ(none[0].name, "*.*");
    // A folder out of reach says so, and its pictures are found when it comes back.
    ImageDirectoryWalk walk = {};
    SetImageDir(walk, (base + "/away").c_str());
    SetWalkWays(walk, true, true, "");
    PickRandomStart(walk, 1);
    EXPECT_EQ(AdvanceToNextImage(walk, NeverStop).Image, nullptr);
    EXPECT_TRUE(walk.ListingFailed);
    MakeTree(base + "/away", {"back/again.bmp"});
    const std::vector<Step> back = RunWalk(walk, 1);
    EXPECT_TRUE(back[0].image);
    EXPECT_EQ(back[0].name, "back\\again.bmp");
    EXPECT_FALSE(walk.ListingFailed);
    EndWalk(walk);
}

TEST(ImageDirectoryWalk, AStepOfTheFurtherWaysCutShortIsTakenAgain) {
    const std::string dir = ScratchDir("ways_cut");
    MakeTree(dir, {"a/1.bmp", "b/2.bmp", "c/3.bmp"});
    for (bool shuffle : {false, true}) {
        ImageDirectoryWalk walk = {};
        SetImageDir(walk, dir.c_str());
        SetWalkWays(walk, true, shuffle, "");
        PickRandomStart(walk, 5);
        // The step's listing asks too; a stop there only pauses the listing. The first stop that
        // cuts the step is in the load.
        LoadResult cut = {};
        for (int stopAt = 1; stopAt < 8 && !cut.CutShort; ++stopAt) {
            EndWalk(walk);
            SetImageDir(walk, dir.c_str());
            SetWalkWays(walk, true, shuffle, "");
            PickRandomStart(walk, 5);
            image_test::QuestionCounter counter = {0, stopAt};
            cut = AdvanceToNextImage(walk, image_test::CountingControl(&counter));
            free(cut.Image);
        }
        EXPECT_TRUE(cut.CutShort);
        EXPECT_TRUE(walk.EntryPending);
        const std::string cutAt = walk.CandidatePath;
        std::vector<Step> steps = RunWalk(walk, 3);
        EXPECT_EQ(walk.ImageDir + steps[0].name, cutAt) << "the cut picture comes first";
        std::set<std::string> names;
        for (const Step& step : steps) names.insert(step.name);
        EXPECT_EQ(names.size(), 3u) << "and the round goes on without it again";
        EndWalk(walk);
    }
}

TEST(ImageDirectoryWalk, TheDeckIsKeptAcrossRunsWithAddedAndDeletedPictures) {
    const std::string base = ScratchDir("ways_deck");
    const std::string dir = base + "/photos", state = base + "/deck.txt";
    MakeTree(dir, {"a.bmp", "b.bmp", "c/d.bmp", "c/e.bmp", "f/g/h.bmp"});
    WriteText(dir + "/c/broken.bmp", "BM");

    // Three runs that together are one round: each picture once, whatever the seeds.
    std::vector<std::string> round = Shown(RunWays(dir, true, true, state, 1, 2));
    const std::vector<std::string> second = Shown(RunWays(dir, true, true, state, 2, 2));
    round.insert(round.end(), second.begin(), second.end());
    const std::string added = "new/added.bmp";
    std::string deleted;
    for (const char* name : {"a.bmp", "b.bmp", "c/d.bmp", "c/e.bmp", "f/g/h.bmp"})
        if (std::find(round.begin(), round.end(), name) == round.end()) deleted = name;
    ASSERT_FALSE(deleted.empty());
    // Mid-round: one still to come is deleted, one is added, the file that did not load is mended.
    fs::remove(dir + "/" + deleted);
    MakeTree(dir, {added});
    WriteBmp(dir + "/c/broken.bmp");
    const std::vector<std::string> rest = Shown(RunWays(dir, true, true, state, 3, 2));
    round.insert(round.end(), rest.begin(), rest.end());
    std::vector<std::string> expected = {"a.bmp", "b.bmp", "c/d.bmp", "c/e.bmp", "f/g/h.bmp", added, "c/broken.bmp"};
    expected.erase(std::find(expected.begin(), expected.end(), deleted));
    EXPECT_EQ(AsSet(round), AsSet(expected));

    // The next run deals a new round, and it does not open with the picture shown last.
    const std::vector<std::string> next = Shown(RunWays(dir, true, true, state, 4, 6));
    EXPECT_EQ(AsSet(next), AsSet(expected));
    EXPECT_NE(next.front(), round.back());
}

// What a damaged or foreign deck file does: the run starts a new deck, and says nothing.
TEST(ImageDirectoryWalk, ADamagedDeckFileStartsANewDeck) {
    const std::string base = ScratchDir("ways_damaged");
    const std::string dir = base + "/photos", state = base + "/deck.txt";
    const std::vector<std::string> pictures = {"1.bmp", "2.bmp", "3.bmp", "4/5.bmp", "4/6.bmp"};
    MakeTree(dir, pictures);
    const auto readAll = [&]() {
        std::ifstream in(state, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    const auto writeAll = [&](const std::string& text) {
        std::ofstream out(state, std::ios::binary | std::ios::trunc);
        out << text;
    };
    struct Damage {
        const char* what;
        std::string (*change)(const std::string& text);
        bool kept;
    };
    const Damage damages[] = {
        {"none", [](const std::string& t) { return t; }, true},
        {"cut short", [](const std::string& t) { return t.substr(0, t.size() - 12); }, false},
        {"a byte changed",
         [](const std::string& t) {
             std::string changed = t;
             changed[changed.find("\ns ") + 1] = 'u';
             return changed;
         },
         false},
        {"nothing in it", [](const std::string&) { return std::string(); }, false},
        {"junk", [](const std::string&) { return std::string("\x01\x02 not a deck\n\n", 16); }, false},
        {"a path that is no picture, the sum made right",
         [](const std::string& t) {
             std::string changed = t.substr(0, t.rfind("end "));
             changed.replace(changed.find(".bmp\n"), 4, "");
             uint32_t sum = 2166136261u;
             for (unsigned char c : changed) sum = (sum ^ c) * 16777619u;
             char end[20];
             snprintf(end, sizeof end, "end %08x\n", sum);
             return changed + end;
         },
         false},
        {"another folder",
         [](const std::string& t) {
             std::string other = t;
             other.replace(other.find("folder ") + 7, 1, "X");
             return other;  // the sum is wrong too; a file for another folder is not ours either way
         },
         false},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        fs::remove(state);
        const std::vector<std::string> first = Shown(RunWays(dir, true, true, state, 10, 3));
        writeAll(damage.change(readAll()));
        const std::vector<std::string> after = Shown(RunWays(dir, true, true, state, 11, 5));
        if (damage.kept) {
            // The two still to come, then a new round of all five begins.
            std::vector<std::string> round = first;
            round.insert(round.end(), after.begin(), after.begin() + 2);
            EXPECT_EQ(AsSet(round), AsSet(pictures));
        } else {
            EXPECT_EQ(AsSet(after), AsSet(pictures)) << "a new deck: all five";
        }
    }
    // A deck file that cannot be written leaves the show as it is.
    EXPECT_EQ(Shown(RunWays(dir, true, true, base + "/no/such/folder/deck.txt", 1, 5)).size(), 5u);
}

}  // namespace
