// Command-line parsing: the screen-saver host's switches, the xscreensaver conventions and
// what bad input gives.
#include "host/command_line.h"

#include <gtest/gtest.h>

#include <map>

namespace quovis {
namespace {

EnvironmentLookup Environment(std::map<std::string, std::string> variables) {
    return [variables](std::string_view name) -> std::optional<std::string> {
        const auto found = variables.find(std::string(name));
        if (found == variables.end()) return std::nullopt;
        return found->second;
    };
}

RunRequest Parse(std::vector<std::string> args, std::map<std::string, std::string> env = {}) {
    return ParseCommandLine(args, Environment(std::move(env)));
}

TEST(StartupCommandLine, ConfigurationWithoutArgumentsOrWithTheConfigurationSwitch) {
    const RunRequest none = Parse({});
    EXPECT_EQ(none.mode, RunMode::Configuration);
    EXPECT_TRUE(none.noArguments);

    for (const std::vector<std::string>& args : {std::vector<std::string>{"/c"},
                                                 {"c"},
                                                 {"-C"},
                                                 {"/c:1234"},
                                                 {"/c", "1234"},
                                                 {"c", "77"}}) {
        const RunRequest request = Parse(args);
        EXPECT_EQ(request.mode, RunMode::Configuration) << args[0];
        EXPECT_FALSE(request.noArguments) << args[0];
    }
}

TEST(StartupCommandLine, PreviewSwitchNeedsAWindowAndAWindowWinsOverFullScreen) {
    // Without a window there is nothing to draw into.
    EXPECT_EQ(Parse({"/p"}).mode, RunMode::Nothing);
    EXPECT_EQ(Parse({"/p", "0"}).mode, RunMode::Nothing);

    const RunRequest upper = Parse({"/P", "1234"});
    EXPECT_TRUE(upper.IsPreview());
    EXPECT_EQ(upper.parentWindow, 1234u);
    EXPECT_EQ(Parse({"p", "99"}).parentWindow, 99u);
    EXPECT_EQ(Parse({"-p", "5"}).parentWindow, 5u);

    // "/s" wins over a bare preview switch, but a window given to it still wins over "/s".
    const RunRequest both = Parse({"/s", "/p", "1234"});
    EXPECT_TRUE(both.IsPreview());
    EXPECT_EQ(both.parentWindow, 1234u);
    const RunRequest bare = Parse({"/p", "/s"});
    EXPECT_EQ(bare.mode, RunMode::Saver);
    EXPECT_EQ(bare.surface, SaverSurface::FullScreen);
}

TEST(StartupCommandLine, FullScreenAndWindowed) {
    for (const char* sw : {"/s", "-s", "/S", "-S"}) {
        const RunRequest request = Parse({sw});
        EXPECT_EQ(request.mode, RunMode::Saver) << sw;
        EXPECT_EQ(request.surface, SaverSurface::FullScreen) << sw;
    }
    const RunRequest windowed = Parse({"--window", "--fps"});
    EXPECT_EQ(windowed.mode, RunMode::Saver);
    EXPECT_EQ(windowed.surface, SaverSurface::Window);
    EXPECT_TRUE(windowed.showFrameRate);
    EXPECT_EQ(Parse({"-window"}).surface, SaverSurface::Window);
    EXPECT_FALSE(Parse({"/s"}).showFrameRate);
}

TEST(StartupCommandLine, XScreenSaverWindows) {
    const RunRequest hex = Parse({"--window-id", "0x1a00007"});
    EXPECT_TRUE(hex.IsPreview());
    EXPECT_EQ(hex.parentWindow, 0x1a00007u);
    EXPECT_EQ(Parse({"-window-id", "27262983"}).parentWindow, 27262983u);
    EXPECT_EQ(Parse({"--window-id=0X2C"}).parentWindow, 0x2cu);

    const RunRequest root = Parse({"-root"}, {{"XSCREENSAVER_WINDOW", "0x3e00005"}});
    EXPECT_TRUE(root.IsPreview());
    EXPECT_EQ(root.parentWindow, 0x3e00005u);
    EXPECT_TRUE(root.hostedSaver);
    EXPECT_FALSE(Parse({"--window-id", "77"}).hostedSaver) << "a settings preview";

    for (const std::map<std::string, std::string>& env : {std::map<std::string, std::string>{},
                                                          {{"XSCREENSAVER_WINDOW", ""}},
                                                          {{"XSCREENSAVER_WINDOW", "root"}},
                                                          {{"XSCREENSAVER_WINDOW", "0"}}}) {
        const RunRequest request = Parse({"--root"}, env);
        EXPECT_EQ(request.mode, RunMode::Error);
        EXPECT_NE(request.error.find("XSCREENSAVER_WINDOW"), std::string::npos) << request.error;
    }
}

TEST(StartupCommandLine, BadInputIsAnErrorNamingTheArgument) {
    struct Case {
        std::vector<std::string> args;
        const char* named;
    };
    const Case cases[] = {
        {{"--window-id"}, "--window-id"},
        {{"--window-id", "0"}, "\"0\""},
        {{"--window-id", "0x"}, "\"0x\""},
        {{"--window-id", "12abc"}, "\"12abc\""},
        {{"--window-id", "0x1ffffffff"}, "0x1ffffffff"},
        {{"/p", "12abc"}, "\"12abc\""},
        {{"/p", "-5"}, "\"-5\""},
        {{"/i", "99999999999"}, "99999999999"},
        {{"--bogus"}, "\"--bogus\""},
        {{"--fps=3"}, "\"--fps=3\""},
        {{"/s", "picture.jpg"}, "\"picture.jpg\""},
        {{"/p", "abc"}, "\"abc\""},
    };
    for (const Case& c : cases) {
        const RunRequest request = Parse(c.args);
        EXPECT_EQ(request.mode, RunMode::Error) << c.args[0];
        EXPECT_NE(request.error.find(c.named), std::string::npos) << request.error;
    }
}

TEST(StartupCommandLine, HelpAndVersionWinOverEverythingElse) {
    EXPECT_EQ(Parse({"--help"}).mode, RunMode::Help);
    EXPECT_EQ(Parse({"/s", "-h"}).mode, RunMode::Help);
    EXPECT_EQ(Parse({"--bogus", "--help"}).mode, RunMode::Help);
    EXPECT_EQ(Parse({"-version"}).mode, RunMode::Version);
    EXPECT_EQ(VersionLine(), "Quovis 2.1.4051");
    const std::string usage = UsageText("quovis");
    for (const char* option : {"--window-id", "--root", "--window", "--fps", "-s", "-p", "-c"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}

TEST(StartupCommandLine, SettingsFilesKeepTheHandoffSlotInForceWhereTheyStand) {
    const RunRequest request =
        Parse({"first.ORU", "/i", "3", "/home/a b/second.oru", "-I", "-2", ".oru"});
    EXPECT_EQ(request.mode, RunMode::Configuration);
    const std::vector<SettingsFileArgument> expected = {
        {"first.ORU", 0}, {"/home/a b/second.oru", 3}, {".oru", -2}};
    EXPECT_EQ(request.settingsFiles, expected);

    // The slot switch never swallows a file that follows it, and alone it means slot 0.
    const RunRequest noNumber = Parse({"/i", "x.oru"});
    ASSERT_EQ(noNumber.settingsFiles.size(), 1u);
    EXPECT_EQ(noNumber.settingsFiles[0], (SettingsFileArgument{"x.oru", 0}));

    // A settings file next to the saver switch does not change the mode.
    EXPECT_EQ(Parse({"/s", "a.oru"}).mode, RunMode::Saver);
    // Too short to carry the extension: a stray argument.
    EXPECT_EQ(Parse({"oru"}).mode, RunMode::Error);
}

TEST(StartupCommandLine, WindowIdForms) {
    EXPECT_EQ(ParseWindowId("0x1A00007"), 0x1a00007u);
    EXPECT_EQ(ParseWindowId("4294967295"), 4294967295u);
    EXPECT_EQ(ParseWindowId("4294967296"), std::nullopt);
    EXPECT_EQ(ParseWindowId("0"), std::nullopt);
    EXPECT_EQ(ParseWindowId(" 12"), std::nullopt);
    EXPECT_EQ(ParseWindowId("+12"), std::nullopt);
    EXPECT_EQ(ParseWindowId(""), std::nullopt);
}

}  // namespace
}  // namespace quovis
