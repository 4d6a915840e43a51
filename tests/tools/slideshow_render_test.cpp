// quovis-tool slideshow --render, run as a separate process on profiles whose slideshow shows
// only presets of the test's own: an ordinary one and one with so few dots that the picture
// stays black.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "settings/config_store.h"
#include "settings/config_values.h"
#include "tests/tools/tool_runner.h"

namespace quovis {
namespace {

constexpr const char* kLively = "Lively,3,5,20000,1000,500,4,900,1,0,0,1,0,0";
constexpr const char* kBlack = "Black,3,5,10,1000,500,4,1,1,0,0,1,0,0";

std::vector<std::vector<std::string>> Rows(const std::string& text, const std::string& kind) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
        if (!cells.empty() && cells[0] == kind) rows.push_back(cells);
    }
    return rows;
}

class SlideshowRenderTest : public ::testing::Test {
  protected:
    ToolResult Tool(const testing::TempDir& profile, std::vector<std::string> args) {
        setenv("XDG_DATA_HOME", profile.Path().c_str(), 1);
        return RunTool(m_scratch, profile.Path(), args);
    }
    // A slideshow of just these presets, unevolved, with slides of min..max seconds.
    void ShowOnly(const testing::TempDir& profile, const std::vector<const char*>& presets,
                  int minTime, int maxTime) {
        for (const char* preset : presets) {
            const std::string name(preset, std::string(preset).find(','));
            ASSERT_EQ(Tool(profile, {"favorites", "add", name, preset}).status, 0) << preset;
        }
        ConfigStore store(profile.DatabasePath());
        const int count = 73 + static_cast<int>(presets.size());
        std::vector<uint8_t> selected(static_cast<std::size_t>(count), 0);
        for (int slot = 73; slot < count; ++slot) selected[static_cast<std::size_t>(slot)] = 1;
        ASSERT_TRUE(kConfigRandom.Write(store, 1) && kConfigDeviations.Write(store, 0) &&
                    kConfigRanArray.Write(store, selected) &&
                    kMessagesMinTime.Write(store, minTime) &&
                    kMessagesMaxTime.Write(store, maxTime));
    }

    testing::TempDir m_scratch, m_profile, m_other;
};

TEST_F(SlideshowRenderTest, TheSameSeedGivesTheSameReportWithSlidesOfTheConfiguredLength) {
    ShowOnly(m_profile, {kLively, kBlack}, 5, 8);
    ShowOnly(m_other, {kLively, kBlack}, 5, 8);
    const std::vector<std::string> args = {"slideshow", "--render", "--minutes", "1",
                                           "--size",    "64x36",    "--seed",    "9"};
    const ToolResult run = Tool(m_profile, args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Tool(m_other, args).out, run.out);

    const auto slides = Rows(run.out, "slide");
    ASSERT_GE(slides.size(), 7u) << run.out;  // a minute of slides of 5..8 s and a dimming
    double total = 0.0;
    for (std::size_t i = 0; i < slides.size(); ++i) {
        const double seconds = std::stod(slides[i][3]);
        total += seconds;
        EXPECT_EQ(slides[i][4], "0") << "no evolutions were asked for";
        EXPECT_TRUE(slides[i][8] == "Lively" || slides[i][8] == "Black") << slides[i][8];
        if (i + 1 == slides.size()) break;  // cut short by the end of the run
        // The slide time, then up to two seconds while the dots die.
        EXPECT_GE(seconds, 5.0) << "slide " << slides[i][1];
        EXPECT_LE(seconds, 10.05) << "slide " << slides[i][1];
    }
    EXPECT_NEAR(total, 60.0, 0.01);
    EXPECT_EQ(Rows(run.out, "summary")[2], (std::vector<std::string>{"summary", "frames", "3600"}));
}

TEST_F(SlideshowRenderTest, APictureThatStaysBlackIsADullStretchThatTheSlideshowCutsShort) {
    struct Case {
        const char* preset;
        bool dull;
    };
    for (const Case& c : {Case{kLively, false}, Case{kBlack, true}}) {
        testing::TempDir profile;
        ShowOnly(profile, {c.preset}, 20, 20);
        const ToolResult run = Tool(
            profile, {"slideshow", "--render", "--minutes", "1", "--size", "64x36", "--seed", "5"});
        ASSERT_EQ(run.status, 0) << run.err;
        const auto stretches = Rows(run.out, "dull");
        const auto slides = Rows(run.out, "slide");
        const auto summary = Rows(run.out, "summary");
        ASSERT_EQ(summary.size(), 6u) << run.out;
        EXPECT_EQ(summary[5][1], "dull_endings");
        EXPECT_EQ(Rows(run.out, "longest").size(), c.dull ? 1u : 0u) << run.out;
        if (!c.dull) {
            EXPECT_TRUE(stretches.empty()) << run.out;
            EXPECT_EQ(summary[5][2], "0") << run.out;
            continue;
        }
        // Every slide is black from its start until the slideshow gives up on it, well
        // before its 20 s are over; the last is cut short by the end of the run.
        ASSERT_EQ(stretches.size(), slides.size()) << run.out;
        EXPECT_GE(std::stoi(summary[5][2]), static_cast<int>(slides.size()) - 1) << run.out;
        for (std::size_t i = 0; i + 1 < slides.size(); ++i) {
            EXPECT_EQ(stretches[i][5], "Black");
            EXPECT_LT(std::stod(slides[i][3]), 15.0) << run.out;
            EXPECT_LT(std::stod(stretches[i][3]), 10.0) << run.out;
        }
    }
}

TEST_F(SlideshowRenderTest, BadArgumentsExitWithTwoAndSayWhy) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{}, "needs --minutes"},
        {{"--minutes", "0"}, "--minutes wants"},
        {{"--minutes", "ten"}, "--minutes wants"},
        {{"--minutes", "1", "--size", "7x7"}, "--size wants"},
        {{"--minutes", "1", "--size", "320"}, "--size wants"},
        {{"--minutes", "1", "--seed", "0"}, "--seed wants"},
        {{"--minutes", "1", "--bands", "0"}, "--bands wants"},
        {{"--minutes", "1", "--slides", "3"}, "does not go with --render"},
        {{"--minutes", "1", "--loud"}, "unknown option"},
        {{"--minutes"}, "needs a value"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"slideshow", "--render"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolResult run = Tool(m_profile, args);
        EXPECT_EQ(run.status, 2) << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

}  // namespace
}  // namespace quovis
