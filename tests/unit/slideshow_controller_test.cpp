// The slideshow's phase rules, credit colours, interval arithmetic and random generator.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>

#include "slideshow/credit_colour.h"
#include "slideshow/random_generator.h"
#include "slideshow/slideshow_controller.h"

namespace {

struct Rgb {
    int red, green, blue;
};

TEST(CreditColour, FramesCycleThroughRedGreenAndBlue) {
    struct Case {
        int32_t frame;
        Rgb expected;
    };
    // The first four are the documented examples; the rest were worked out separately in Python
    // with the same formula in double precision.
    const Case cases[] = {
        {0, {0, 220, 0}},  {12, {254, 0, 0}},  {25, {0, 0, 220}}, {37, {0, 113, 141}},
        {1, {31, 203, 0}}, {50, {0, 220, 0}},  {62, {254, 0, 0}}, {75, {0, 0, 220}},
        {99, {0, 235, 0}}, {100, {0, 220, 0}}, {43, {0, 239, 0}}, {8, {215, 10, 0}},
    };
    for (const Case& c : cases) {
        const uint32_t colour = CreditColour(c.frame);
        EXPECT_EQ(ColourRed(colour), c.expected.red) << "frame " << c.frame;
        EXPECT_EQ(ColourGreen(colour), c.expected.green) << "frame " << c.frame;
        EXPECT_EQ(ColourBlue(colour), c.expected.blue) << "frame " << c.frame;
        EXPECT_EQ(colour >> 24, 0u) << "frame " << c.frame;
    }
}

TEST(CreditColour, EveryChannelIsLitForHalfOfEachTurn) {
    // Two turns in 100 frames: each channel positive for about 25 frames per turn.
    int lit[3] = {};
    for (int32_t frame = 0; frame < CreditFrameCount; ++frame) {
        const uint32_t colour = CreditColour(frame);
        lit[0] += ColourRed(colour) > 0;
        lit[1] += ColourGreen(colour) > 0;
        lit[2] += ColourBlue(colour) > 0;
    }
    for (int channel = 0; channel < 3; ++channel) {
        EXPECT_GE(lit[channel], 46) << channel;
        EXPECT_LE(lit[channel], 50) << channel;
    }
}

TEST(SlideshowPhases, HundredCreditFramesThenTheSlideshowInTheSamePaint) {
    SlideshowController show = {};
    EXPECT_EQ(WorkForPaint(show), PaintNothing);  // idle until the first erase

    BeginCredits(show);
    for (int32_t frame = 0; frame < CreditFrameCount; ++frame) {
        ASSERT_EQ(WorkForPaint(show), PaintCreditFrame) << frame;
        const CreditFrame drawn = NextCreditFrame(show);
        EXPECT_EQ(drawn.Colour, CreditColour(frame));
        EXPECT_EQ(drawn.StartsSlideshow, frame == CreditFrameCount - 1) << frame;
        if (drawn.StartsSlideshow) BeginSlideshow(show);
    }
    EXPECT_EQ(WorkForPaint(show), PaintSlideStep);
    EXPECT_EQ(show.CreditTicks, 100);
}

TEST(SlideshowPhases, LaterRestartsDrawOneCreditFrameAndMoveOn) {
    SlideshowController show = {};
    BeginCredits(show);
    while (!NextCreditFrame(show).StartsSlideshow) {
    }
    BeginSlideshow(show);

    for (int restart = 0; restart < 3; ++restart) {
        BeginCredits(show);  // from the slideshow
        ASSERT_EQ(WorkForPaint(show), PaintCreditFrame);
        const CreditFrame frame = NextCreditFrame(show);
        EXPECT_TRUE(frame.StartsSlideshow);
        EXPECT_EQ(frame.Colour, CreditColour(100 + restart));  // the count runs on, never reset
        BeginSlideshow(show);
    }

    // A restart in the middle of the first animation keeps the frames already drawn.
    SlideshowController early = {};
    BeginCredits(early);
    for (int i = 0; i < 40; ++i) NextCreditFrame(early);
    BeginCredits(early);
    int framesLeft = 1;
    while (!NextCreditFrame(early).StartsSlideshow) ++framesLeft;
    EXPECT_EQ(framesLeft, 60);
}

TEST(SlideshowPhases, IntervalInMillisecondsSaturatesAtThe32BitRange) {
    struct Case {
        int32_t seconds;
        int32_t ms;
    };
    const Case cases[] = {
        {7, 7000},
        {5, 5000},
        {60, 60000},
        {0, 0},
        {-5, -5000},
        {2147483, 2147483000},
        {2147484, INT32_MAX},
        {-2147483, -2147483000},
        {-2147484, INT32_MIN},
        {INT32_MAX, INT32_MAX},
        {INT32_MIN, INT32_MIN},
    };
    for (const Case& c : cases) EXPECT_EQ(IntervalMsFromSetting(c.seconds), c.ms) << c.seconds;
}

PreparedSlide* SlideFor(const SlideshowController& show) {
    PreparedSlide* slide = static_cast<PreparedSlide*>(calloc(1, sizeof(PreparedSlide)));
    slide->Generation = show.Generation;
    slide->Picture.Image = CreateDibPicture(2, 2, 24);
    return slide;
}

SlideshowController ShowInItsSlideshow() {
    SlideshowController show = {};
    BeginCredits(show);
    BeginSlideshow(show);
    return show;
}

// One slide step as the window takes it: the slide it shows, or none.
PreparedSlide* Step(SlideshowController& show, bool passwordCheckActive = false) {
    return DecideSlideStep(show, passwordCheckActive) == SlideStep::ShowNext ? TakeNextSlide(show) : nullptr;
}

TEST(SlidePacing, ASlideShowsAtItsTickOrTheMomentItArrivesAfterIt) {
    SlideshowController show = ShowInItsSlideshow();
    // Made in time: kept, then shown at the tick.
    EXPECT_EQ(TakeArrivedSlide(show, SlideFor(show)), SlideArrival::Keep);
    ReleasePreparedSlide(Step(show));

    // Late: the tick leaves the screen as it is, and the slide shows when it comes, once.
    EXPECT_EQ(Step(show), nullptr);
    EXPECT_EQ(Step(show), nullptr);
    EXPECT_EQ(TakeArrivedSlide(show, SlideFor(show)), SlideArrival::ShowNow);
    PreparedSlide* late = Step(show);
    EXPECT_NE(late, nullptr);
    ReleasePreparedSlide(late);
    EXPECT_EQ(TakeArrivedSlide(show, SlideFor(show)), SlideArrival::Keep);
    ReleaseWaitingSlides(show);
}

TEST(SlidePacing, TheWorkerMakesOneSlideAtATimeAndAtMostTwoAhead) {
    SlideshowController show = {};
    EXPECT_FALSE(AskForAnotherSlide(show));  // no slideshow yet
    BeginCredits(show);
    EXPECT_FALSE(AskForAnotherSlide(show));
    BeginSlideshow(show);
    EXPECT_TRUE(AskForAnotherSlide(show));
    EXPECT_FALSE(AskForAnotherSlide(show));  // one is being made
    PreparedSlide* first = SlideFor(show);
    PreparedSlide* second = SlideFor(show);
    EXPECT_EQ(TakeArrivedSlide(show, first), SlideArrival::Keep);
    EXPECT_TRUE(AskForAnotherSlide(show));  // made ahead while the first waits
    EXPECT_EQ(TakeArrivedSlide(show, second), SlideArrival::Keep);
    EXPECT_FALSE(AskForAnotherSlide(show));  // two waiting
    PreparedSlide* third = SlideFor(show);
    EXPECT_EQ(TakeArrivedSlide(show, third), SlideArrival::Drop);
    ReleasePreparedSlide(third);

    // They show in the order they came, and each step makes room for one more.
    EXPECT_EQ(Step(show), first);
    EXPECT_TRUE(AskForAnotherSlide(show));
    EXPECT_EQ(Step(show), second);
    EXPECT_FALSE(AskForAnotherSlide(show));  // still being made
    EXPECT_EQ(Step(show), nullptr);
    ReleasePreparedSlide(first);
    ReleasePreparedSlide(second);

    // A restart forgets the slide being made: the new show asks anew.
    BeginCredits(show);
    BeginSlideshow(show);
    EXPECT_TRUE(AskForAnotherSlide(show));
}

TEST(SlidePacing, NoNewSlideWhileThePasswordQuestionIsUp) {
    SlideshowController show = ShowInItsSlideshow();
    ASSERT_EQ(TakeArrivedSlide(show, SlideFor(show)), SlideArrival::Keep);
    PreparedSlide* waiting = show.NextSlide;
    EXPECT_EQ(Step(show, true), nullptr);
    EXPECT_EQ(Step(show, true), nullptr);
    // Refused: the slide that was next comes at the next step.
    EXPECT_EQ(Step(show), waiting);
    ReleasePreparedSlide(waiting);

    // Nothing made when the question came up: the slide that arrives meanwhile waits for it.
    SlideshowController late = ShowInItsSlideshow();
    EXPECT_EQ(Step(late), nullptr);
    EXPECT_EQ(TakeArrivedSlide(late, SlideFor(late)), SlideArrival::ShowNow);
    EXPECT_EQ(Step(late, true), nullptr);
    PreparedSlide* shown = Step(late);
    EXPECT_NE(shown, nullptr);
    ReleasePreparedSlide(shown);
}

TEST(SlidePacing, ARestartDropsTheSlidesOfTheShowBefore) {
    SlideshowController show = ShowInItsSlideshow();
    ASSERT_EQ(TakeArrivedSlide(show, SlideFor(show)), SlideArrival::Keep);
    ASSERT_EQ(TakeArrivedSlide(show, SlideFor(show)), SlideArrival::Keep);
    PreparedSlide* early = SlideFor(show);  // still on its way when the restart comes
    BeginCredits(show);                     // frees the slides that were waiting
    EXPECT_EQ(show.NextSlide, nullptr);
    EXPECT_EQ(show.SlideAfter, nullptr);
    EXPECT_EQ(TakeArrivedSlide(show, early), SlideArrival::Drop);  // during the credits
    BeginSlideshow(show);
    EXPECT_EQ(TakeArrivedSlide(show, early), SlideArrival::Drop);  // of the earlier show
    ReleasePreparedSlide(early);
    EXPECT_FALSE(show.SlideAwaited);
    EXPECT_EQ(Step(show), nullptr);
}

TEST(SlidePacing, AFolderThatCannotBeListedIsTriedAgainAfterAGrowingPause) {
    const uint32_t expected[] = {1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000};
    uint32_t pause = 0;
    for (uint32_t wanted : expected) {
        pause = NextListingPauseMs(pause);
        EXPECT_EQ(pause, wanted);
    }
}

TEST(RandomGenerator, IsTheClassicCLibraryGenerator) {
    // The sequence the Microsoft C library gives after srand(1).
    SeedRandom(1);
    const int32_t fromOne[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    for (int32_t expected : fromOne) EXPECT_EQ(NextRandom(), expected);

    // Seeding starts the sequence over.
    SeedRandom(1);
    EXPECT_EQ(NextRandom(), 41);
}

TEST(RandomGenerator, StaysWithinItsRange) {
    SeedRandom(12345);
    int32_t low = INT_MAX, high = INT_MIN;
    for (int i = 0; i < 100000; ++i) {
        const int32_t value = NextRandom();
        low = value < low ? value : low;
        high = value > high ? value : high;
    }
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 32767);
}

}  // namespace
