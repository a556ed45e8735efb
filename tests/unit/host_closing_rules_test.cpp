#include "host/closing_rules.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>

#include "host/message_ids.h"

namespace {

using namespace MessageId;

class FakeOperations : public ClosingOperations {
public:
    ScreenPoint CursorPosition() override { return cursor; }
    std::uint32_t TickCount() override {
        if (ticks.empty()) return lastTick;
        lastTick = ticks.front();
        ticks.pop_front();
        return lastTick;
    }
    void PostClose() override { ++closesPosted; }
    void HideCursor() override { ++cursorHides; }
    std::int32_t AskWindowToVerify() override {
        ++asks;
        if (whileAsking) whileAsking();
        return answer;
    }
    std::int32_t VerifyPassword() override {
        ++verifications;
        return answer;
    }

    ScreenPoint cursor{0, 0};
    std::deque<std::uint32_t> ticks;
    std::uint32_t lastTick = 0;
    std::int32_t answer = 0;
    std::function<void()> whileAsking;
    int closesPosted = 0;
    int cursorHides = 0;
    int asks = 0;
    int verifications = 0;
};

SaverHostState FullScreen(bool onWindows9x = false) {
    SaverHostState host = MakeInitialHostState();
    host.OnWindows9x = onWindows9x;
    return host;
}

struct InputCase {
    const char* name;
    std::uint32_t message;
    std::uintptr_t wParam;
    bool closes;
};

const InputCase kInputs[] = {
    {"key down", WM_KEYDOWN, 0x20, true},
    {"system key down", WM_SYSKEYDOWN, 0x12, true},
    {"left button", WM_LBUTTONDOWN, 1, true},
    {"right button", WM_RBUTTONDOWN, 2, true},
    {"middle button", WM_MBUTTONDOWN, 16, true},
    {"power broadcast 0", WM_POWERBROADCAST, 0, true},
    {"power broadcast 7", WM_POWERBROADCAST, 7, true},
    {"power critical resume", WM_POWER, PWR_CRITICALRESUME, true},
    {"power 1", WM_POWER, 1, false},
    {"power 2", WM_POWER, 2, false},
    {"power 4", WM_POWER, 4, false},
    {"deactivated", WM_ACTIVATEAPP, 0, true},
    {"activated", WM_ACTIVATEAPP, 1, false},
    {"key up", WM_KEYUP, 0x20, false},
    {"button up", WM_LBUTTONUP, 0, false},
    {"double click", WM_LBUTTONDBLCLK, 1, false},
    {"timer", WM_TIMER, 0, false},
    {"paint", WM_PAINT, 0, false},
    {"shown", WM_SHOWWINDOW, 1, false},
};

TEST(DefaultSaverProc, InputClosesOnlyTheRunningFullScreenSaver) {
    enum class Situation { Running, Preview, CloseApproved, Verifying };
    for (Situation situation :
         {Situation::Running, Situation::Preview, Situation::CloseApproved, Situation::Verifying}) {
        for (const InputCase& c : kInputs) {
            SaverHostState host = FullScreen(true);
            host.PreviewMode = situation == Situation::Preview;
            host.CloseApproved = situation == Situation::CloseApproved;
            host.PasswordCheckActive = situation == Situation::Verifying;
            FakeOperations operations;
            SaverProcOutcome outcome = DecideDefaultSaverProc(host, c.message, c.wParam, operations);
            bool expectClose = situation == Situation::Running && c.closes;
            EXPECT_EQ(operations.closesPosted, expectClose ? 1 : 0) << c.name << " in situation " << int(situation);
            EXPECT_TRUE(outcome.PassToDefault) << c.name;
        }
    }
}

TEST(DefaultSaverProc, HidesThePointerOnlyWhileRunningFullScreen) {
    struct {
        bool preview, verifying;
        std::uint32_t message;
        std::uintptr_t wParam;
        int hides;
        bool passed;
        std::intptr_t result;
    } cases[] = {
        {false, false, WM_SETCURSOR, 0, 1, false, 1}, {false, false, WM_SHOWWINDOW, 1, 1, true, 0},
        {false, false, WM_SHOWWINDOW, 0, 0, true, 0}, {true, false, WM_SETCURSOR, 0, 0, true, 0},
        {true, false, WM_SHOWWINDOW, 1, 0, true, 0},  {false, true, WM_SETCURSOR, 0, 0, true, 0},
        {false, true, WM_SHOWWINDOW, 1, 0, true, 0},
    };
    for (const auto& c : cases) {
        SaverHostState host = FullScreen();
        host.PreviewMode = c.preview;
        host.PasswordCheckActive = c.verifying;
        FakeOperations operations;
        SaverProcOutcome outcome = DecideDefaultSaverProc(host, c.message, c.wParam, operations);
        EXPECT_EQ(operations.cursorHides, c.hides) << std::hex << c.message;
        EXPECT_EQ(outcome.PassToDefault, c.passed) << std::hex << c.message;
        if (!c.passed) {
            EXPECT_EQ(outcome.Result, c.result);
        }
    }
}

TEST(DefaultSaverProc, PointerMovesCloseBeyondFourPixelsFromTheReference) {
    struct {
        ScreenPoint reference, cursor;
        bool closes;
    } cases[] = {
        {{100, 100}, {102, 102}, false},
        {{100, 100}, {104, 100}, false},
        {{100, 100}, {100, 96}, false},
        {{100, 100}, {100, 100}, false},
        {{100, 100}, {103, 102}, true},
        {{100, 100}, {95, 100}, true},
        {{100, 100}, {98, 97}, true},
        {{-2147483647 - 1, 0}, {2147483647, 0}, true},  // the distance does not overflow to small
    };
    for (const auto& c : cases) {
        SaverHostState host = FullScreen();
        host.CursorReference = c.reference;
        FakeOperations operations;
        operations.cursor = c.cursor;
        DecideDefaultSaverProc(host, WM_MOUSEMOVE, 0, operations);
        EXPECT_EQ(operations.closesPosted, c.closes ? 1 : 0) << c.cursor.X << "," << c.cursor.Y;
        ScreenPoint expected = c.closes ? c.cursor : c.reference;
        EXPECT_EQ(host.CursorReference.X, expected.X);
        EXPECT_EQ(host.CursorReference.Y, expected.Y);
    }
}

TEST(DefaultSaverProc, SmallMovesAddUpAgainstOneReference) {
    SaverHostState host = FullScreen();
    host.CursorReference = {10, 10};
    FakeOperations operations;
    for (int step = 1; step <= 5; ++step) {
        operations.cursor = {10 + step, 10};
        DecideDefaultSaverProc(host, WM_MOUSEMOVE, 0, operations);
        EXPECT_EQ(operations.closesPosted, step == 5 ? 1 : 0) << "step " << step;
    }
}

TEST(DefaultSaverProc, CloseOutsideWindows9xGoesStraightToTheDefault) {
    SaverHostState host = FullScreen(false);
    host.PasswordGuards = true;  // not consulted outside Windows 9x
    FakeOperations operations;
    SaverProcOutcome outcome = DecideDefaultSaverProc(host, WM_CLOSE, 0, operations);
    EXPECT_TRUE(outcome.PassToDefault);
    EXPECT_EQ(operations.asks, 0);
    EXPECT_TRUE(operations.ticks.empty());
    EXPECT_EQ(DecideDefaultSaverProc(host, VerifyPasswordMessage, 0, operations).PassToDefault, true);
    EXPECT_EQ(operations.verifications, 0);
}

TEST(DefaultSaverProc, CloseOnWindows9xWithoutPasswordIsApprovedAtOnce) {
    SaverHostState host = FullScreen(true);
    FakeOperations operations;
    SaverProcOutcome outcome = DecideDefaultSaverProc(host, WM_CLOSE, 0, operations);
    EXPECT_TRUE(outcome.PassToDefault);
    EXPECT_EQ(host.CloseApproved, 1);
    EXPECT_EQ(operations.asks, 0);
}

TEST(DefaultSaverProc, VerificationMessageAnswersWithThePasswordEntry) {
    struct {
        bool withEntry;
        std::int32_t answer;
        std::intptr_t result;
        int verifications;
    } cases[] = {{true, 0, 0, 1}, {true, 1, 1, 1}, {true, 42, 42, 1}, {false, 0, 1, 0}};
    for (const auto& c : cases) {
        SaverHostState host = FullScreen(true);
        host.PasswordGuards = c.withEntry;
        host.PasswordCheckActive = true;  // it arrives while ApproveClose waits
        FakeOperations operations;
        operations.answer = c.answer;
        SaverProcOutcome outcome = DecideDefaultSaverProc(host, VerifyPasswordMessage, 0, operations);
        EXPECT_FALSE(outcome.PassToDefault);
        EXPECT_EQ(outcome.Result, c.result);
        EXPECT_EQ(operations.verifications, c.verifications);
    }
}

TEST(ApproveClose, RefusalKeepsTheSaverAndSpacesTheNextQuestion) {
    SaverHostState host = FullScreen(true);
    host.PasswordGuards = true;
    host.CursorReference = {1, 1};
    FakeOperations operations;
    operations.cursor = {300, 200};
    operations.answer = 0;
    operations.ticks = {5000, 5400};  // before and after the dialog

    SaverProcOutcome refused = DecideDefaultSaverProc(host, WM_CLOSE, 0, operations);
    EXPECT_FALSE(refused.PassToDefault);
    EXPECT_EQ(refused.Result, 0);
    EXPECT_EQ(operations.asks, 1);
    EXPECT_EQ(operations.cursorHides, 1);
    EXPECT_EQ(host.CloseApproved, 0);
    EXPECT_FALSE(host.PasswordCheckActive);
    EXPECT_EQ(host.LastPasswordCheckTick, 5400u);  // the reading after the verification
    EXPECT_EQ(host.CursorReference.X, 300);
    EXPECT_EQ(host.CursorReference.Y, 200);

    // 150 ms after the refusal: refused again without a dialog.
    operations.ticks = {5550};
    operations.cursor = {10, 20};
    EXPECT_FALSE(DecideDefaultSaverProc(host, WM_CLOSE, 0, operations).PassToDefault);
    EXPECT_EQ(operations.asks, 1);
    EXPECT_EQ(host.CursorReference.X, 10);

    // 250 ms after it: asked again, and this time approved.
    operations.ticks = {5650, 5900};
    operations.answer = 7;
    SaverProcOutcome approved = DecideDefaultSaverProc(host, WM_CLOSE, 0, operations);
    EXPECT_TRUE(approved.PassToDefault);
    EXPECT_EQ(operations.asks, 2);
    EXPECT_EQ(host.CloseApproved, 7);  // kept unchanged
    EXPECT_EQ(operations.cursorHides, 1);

    // Once approved, nothing asks again and input no longer posts closes.
    EXPECT_EQ(ApproveClose(host, operations), 0);
    DecideDefaultSaverProc(host, WM_KEYDOWN, 0, operations);
    EXPECT_EQ(operations.closesPosted, 0);
}

TEST(ApproveClose, GapIsMeasuredAcrossTheTickCounterWrap) {
    struct {
        std::uint32_t last, now;
        bool asks;
    } cases[] = {
        {NoTick, 0, true},
        {NoTick, 123456, true},
        {0xFFFFFFA0u, 0x00000010u, false},  // 112 ms later
        {0xFFFFFF00u, 0x00000010u, true},   // 272 ms later
        {1000, 1199, false},
        {1000, 1200, true},
    };
    for (const auto& c : cases) {
        SaverHostState host = FullScreen(true);
        host.PasswordGuards = true;
        host.LastPasswordCheckTick = c.last;
        FakeOperations operations;
        operations.ticks = {c.now, c.now + 1};
        ApproveClose(host, operations);
        EXPECT_EQ(operations.asks, c.asks ? 1 : 0) << c.last << " -> " << c.now;
    }
}

TEST(ApproveClose, NestedMessagesDuringVerificationNeitherCloseNorAskAgain) {
    SaverHostState host = FullScreen(true);
    host.PasswordGuards = true;
    host.CursorReference = {50, 50};
    FakeOperations operations;
    operations.answer = 1;
    operations.ticks = {100, 900};
    std::string nested;
    operations.whileAsking = [&] {
        EXPECT_TRUE(host.PasswordCheckActive);
        // The password dialog pumps messages: a close, a tick, a click and a big move arrive.
        SaverProcOutcome close = DecideDefaultSaverProc(host, WM_CLOSE, 0, operations);
        nested += close.PassToDefault ? "close passed;" : "close refused;";
        nested += DecideDefaultSaverProc(host, WM_TIMER, 0, operations).PassToDefault ? "tick;" : "";
        DecideDefaultSaverProc(host, WM_LBUTTONDOWN, 0, operations);
        operations.cursor = {500, 500};
        DecideDefaultSaverProc(host, WM_MOUSEMOVE, 0, operations);
        DecideDefaultSaverProc(host, WM_SETCURSOR, 0, operations);
        // Then the verification message itself travels the window path.
        SaverProcOutcome verify = DecideDefaultSaverProc(host, VerifyPasswordMessage, 0, operations);
        nested += "verified " + std::to_string(verify.Result);
    };

    SaverProcOutcome outcome = DecideDefaultSaverProc(host, WM_CLOSE, 0, operations);

    EXPECT_EQ(nested, "close refused;tick;verified 1");
    EXPECT_EQ(operations.asks, 1);
    EXPECT_EQ(operations.verifications, 1);
    EXPECT_EQ(operations.closesPosted, 0);
    EXPECT_EQ(operations.cursorHides, 0);
    EXPECT_TRUE(outcome.PassToDefault);
    EXPECT_EQ(host.CloseApproved, 1);
    EXPECT_FALSE(host.PasswordCheckActive);
}

TEST(DefaultSaverProc, AutoPlayQueryClosesTheFullScreenSaverOnly) {
    constexpr std::uint32_t kAutoPlay = 0xC0DE;
    struct {
        const char* name;
        bool preview, withEntry, approved;
        std::intptr_t result;
        int closes;
    } cases[] = {
        {"full screen, password", false, true, false, 1, 1}, {"full screen, no password", false, false, false, 0, 1},
        {"closing, password", false, true, true, 1, 1},      {"preview, password", true, true, false, 0, 0},
        {"preview, no password", true, false, false, 0, 0},
    };
    for (const auto& c : cases) {
        SaverHostState host = FullScreen(true);
        host.AutoPlayQueryMessage = kAutoPlay;
        host.PreviewMode = c.preview;
        host.CloseApproved = c.approved;
        host.PasswordGuards = c.withEntry;
        FakeOperations operations;
        SaverProcOutcome outcome = DecideDefaultSaverProc(host, kAutoPlay, 0, operations);
        EXPECT_FALSE(outcome.PassToDefault) << c.name;
        EXPECT_EQ(outcome.Result, c.result) << c.name;
        EXPECT_EQ(operations.closesPosted, c.closes) << c.name;
    }
}

TEST(DefaultSaverProc, NoAutoPlayIdMeansNoSuchMessage) {
    SaverHostState host = FullScreen(false);
    FakeOperations operations;
    for (std::uint32_t message : {0u, 0xC0DEu}) {
        EXPECT_TRUE(DecideDefaultSaverProc(host, message, 0, operations).PassToDefault);
    }
    EXPECT_EQ(operations.closesPosted, 0);
}

}  // namespace
