#include "host/command_line.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

const char* NextByte(const char* text) { return text + 1; }

// A double-byte code page in miniature: 0x81 leads a two-byte character whose second byte may
// be anything, a quote included.
const char* NextDoubleByte(const char* text) {
    if (static_cast<unsigned char>(*text) == 0x81 && text[1] != '\0') return text + 2;
    return text + 1;
}

struct ProgramNameCase {
    const char* commandLine;
    const char* arguments;
};

TEST(SkipProgramName, LeavesTheArguments) {
    const ProgramNameCase cases[] = {
        {"screensaver.scr /s", "/s"},
        {"screensaver.scr", ""},
        {"", ""},
        {"\"C:\\Program Files\\screen saver.scr\" /p 12", "/p 12"},
        {"\"C:\\x.scr\"/s", "/s"},  // no space after the closing quote
        {"\"C:\\x.scr /s", ""},     // unmatched quote: all of it is the name
        {"\"\" /c", "/c"},
        {"screensaver.scr\t/s", "/s"},  // tab after the name is white space
        {"s.scr \t\r\n /a 5", "/a 5"},
        {"\t/s", "/s"},  // a first byte below 0x21 skips no name
        {" /s", "/s"},
        {"s.scr \x01\x1f-s", "-s"},
        {"na\xe8me.scr /s", "/s"},  // bytes above 0x7f belong to the name
    };
    for (const ProgramNameCase& c : cases)
        EXPECT_STREQ(SkipProgramName(c.commandLine, NextByte), c.arguments) << c.commandLine;
}

TEST(SkipProgramName, StepsWholeCharactersInsideQuotes) {
    // The quote that trails the lead byte is part of the character, not the closing quote.
    EXPECT_STREQ(SkipProgramName("\"a\x81\"b\" /s", NextDoubleByte), "/s");
    EXPECT_STREQ(SkipProgramName("\"a\x81\"b\" /s", NextByte), "b\" /s");
}

TEST(ParseWindowHandle, ReadsLeadingDigitsWrappingModulo2To32) {
    const struct {
        const char* text;
        std::uint32_t value;
    } cases[] = {
        {"1234", 1234},
        {"0", 0},
        {"", 0},
        {"12ab", 12},
        {" 12", 0},
        {"-5", 0},
        {"+5", 0},
        {"4294967295", 4294967295u},
        {"4294967296", 0},
        {"4294968530", 1234},
        {"000000000000000000042", 42},
        {"99999999999999999999", 1661992959u},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseWindowHandle(c.text), c.value) << c.text;
}

class FakeWindows : public WindowQueries {
public:
    bool IsWindow(std::uint32_t handle) const override {
        ++isWindowCalls;
        return windows.count(handle) != 0;
    }
    std::uintptr_t ForegroundWindow() const override { return foreground; }

    std::set<std::uint32_t> windows{1234, 77};
    std::uintptr_t foreground = 77;
    mutable int isWindowCalls = 0;
};

struct SwitchCase {
    const char* arguments;
    bool onWindows9x;
    RunMode mode;
    std::uintptr_t window;
};

TEST(ChooseRunMode, FollowsTheSwitchTable) {
    const SwitchCase cases[] = {
        // Full screen: the first letter after separators counts, the rest is ignored.
        {"/s", false, RunMode::Saver, 0},
        {"-s", false, RunMode::Saver, 0},
        {"s", false, RunMode::Saver, 0},
        {"S", false, RunMode::Saver, 0},
        {" -/-//  -s", false, RunMode::Saver, 0},
        {"/save", false, RunMode::Saver, 0},
        {"/s 1234", true, RunMode::Saver, 0},
        // Configuration.
        {"", false, RunMode::Configure, 0},
        {"   ", false, RunMode::Configure, 0},
        {"-/ -/", false, RunMode::Configure, 0},
        {"/c", false, RunMode::Configure, 77},
        {"/c:0", false, RunMode::Configure, 77},
        {"/c:1234", false, RunMode::Configure, 1234},
        {"/C:1234", false, RunMode::Configure, 1234},
        {"/c:999", false, RunMode::Configure, 77},
        {"/c 1234", false, RunMode::Configure, 77},
        {"/c: 1234", false, RunMode::Configure, 77},
        {"/config", false, RunMode::Configure, 77},
        {"/c:4294968530", false, RunMode::Configure, 1234},
        // Preview.
        {"/p 1234", false, RunMode::Preview, 1234},
        {"/p1234", false, RunMode::Preview, 1234},
        {"/p   1234", false, RunMode::Preview, 1234},
        {"/P 1234", false, RunMode::Preview, 1234},
        {"/l 1234", false, RunMode::Preview, 1234},
        {"/L1234", false, RunMode::Preview, 1234},
        {"/p 4294968530", false, RunMode::Preview, 1234},
        {"/p:1234", false, RunMode::Invalid, 0},
        {"/p", false, RunMode::Invalid, 0},
        {"/p 0", false, RunMode::Invalid, 0},
        {"/p 999", false, RunMode::Invalid, 0},
        {"/p\t1234", false, RunMode::Invalid, 0},
        // Change password: Windows 9x only.
        {"/a 1234", true, RunMode::ChangePassword, 1234},
        {"/A1234", true, RunMode::ChangePassword, 1234},
        {"/a 999", true, RunMode::ChangePassword, 77},
        {"/a", true, RunMode::ChangePassword, 77},
        {"/a 1234", false, RunMode::Invalid, 0},
        {"/a", false, RunMode::Invalid, 0},
        // Anything else.
        {"/x", false, RunMode::Invalid, 0},
        {"/?", false, RunMode::Invalid, 0},
        {"/\ts", false, RunMode::Invalid, 0},
        {"\t/s", false, RunMode::Invalid, 0},
        {"\xd3", false, RunMode::Invalid, 0},  // 0x80 and above are no letters
        {"1234", false, RunMode::Invalid, 0},
    };
    for (const SwitchCase& c : cases) {
        FakeWindows windows;
        RunModeChoice choice = ChooseRunMode(c.arguments, c.onWindows9x, windows);
        EXPECT_EQ(choice.Mode, c.mode) << '"' << c.arguments << '"';
        EXPECT_EQ(choice.Window, c.window) << '"' << c.arguments << '"';
    }
}

TEST(ChooseRunMode, AsksNoWindowQuestionsForSaverOrPlainConfigure) {
    for (const char* arguments : {"/s", "", "/x"}) {
        FakeWindows windows;
        ChooseRunMode(arguments, true, windows);
        EXPECT_EQ(windows.isWindowCalls, 0) << arguments;
    }
}

TEST(ChooseRunMode, ForegroundMayBeNone) {
    FakeWindows windows;
    windows.foreground = 0;
    RunModeChoice choice = ChooseRunMode("/c:5", false, windows);
    EXPECT_EQ(choice.Mode, RunMode::Configure);
    EXPECT_EQ(choice.Window, 0u);
}

}  // namespace
