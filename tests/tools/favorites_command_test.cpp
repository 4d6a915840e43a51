// quovis-tool favorites, export, import and slideshow, run as separate processes on
// profiles in temporary folders.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "settings/config_store.h"
#include "settings/config_values.h"
#include "tests/tools/tool_runner.h"

namespace quovis {
namespace {

class FavoritesCommandTest : public ::testing::Test {
  protected:
    FavoritesCommandTest() {
        // Drawing files go below the data folder; keep them in the profile too.
        setenv("XDG_DATA_HOME", m_profile.Path().c_str(), 1);
    }
    ~FavoritesCommandTest() override { unsetenv("XDG_DATA_HOME"); }

    ToolResult Tool(const testing::TempDir& profile, std::vector<std::string> args) {
        setenv("XDG_DATA_HOME", profile.Path().c_str(), 1);
        return RunTool(m_scratch, profile.Path(), args);
    }
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    testing::TempDir m_scratch, m_profile, m_other;
};

TEST_F(FavoritesCommandTest, AFreshProfileListsTheBuiltInsAndRemovedSlotsAreReused) {
    const ToolResult list = Tool(m_profile, {"favorites", "list"});
    ASSERT_EQ(list.status, 0) << list.err;
    const std::vector<std::string> lines = Lines(list.out);
    ASSERT_EQ(lines.size(), 73u);
    EXPECT_EQ(lines[0], "   0  Into The Light");
    EXPECT_EQ(lines[72], "  72  Oru Trillium");

    EXPECT_EQ(Tool(m_profile, {"favorites", "remove", "3"}).status, 0);
    EXPECT_EQ(Tool(m_profile, {"favorites", "remove", "3"}).status, 1) << "already removed";
    const ToolResult added =
        Tool(m_profile, {"favorites", "add", "Mine", "x,3,5,20000,1000,500,4,900,1,0,0,1,0,0"});
    EXPECT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(added.out, "added 'Mine' in slot 3\n");
    EXPECT_EQ(Lines(Tool(m_profile, {"favorites", "list"}).out)[3], "   3  Mine *");

    const ToolResult again = Tool(m_profile, {"favorites", "add", "Mine", "x,1,2"});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("--replace"), std::string::npos) << again.err;
    EXPECT_EQ(Tool(m_profile, {"favorites", "add", "Mine", "x,1,2", "--replace"}).out,
              "replaced 'Mine' in slot 3\n");
    EXPECT_EQ(Tool(m_profile, {"favorites", "add", "Bad", ",1,2"}).status, 2);
    EXPECT_EQ(Tool(m_profile, {"favorites", "remove", "three"}).status, 2);
}

TEST_F(FavoritesCommandTest, ExportThenImportOnAnotherProfileBringsThePresetsBack) {
    ASSERT_EQ(
        Tool(m_profile, {"favorites", "add", "Dream", "x,3,5,20000,1000,500,4,900,1,0"}).status, 0);
    const std::string file = m_scratch / "three.oru";
    ASSERT_EQ(Tool(m_profile, {"export", file, "6", "67", "73"}).status, 0);

    // The other profile already holds the built-ins: they stay; the user's preset arrives.
    const ToolResult first = Tool(m_other, {"import", file});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.out.find("added 'Dream' (slot 73)"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("kept the existing 'Beads'"), std::string::npos) << first.out;
    const ToolResult second = Tool(m_other, {"import", file, file});
    EXPECT_EQ(second.out.find("added"), std::string::npos) << second.out;

    ConfigStore mine(m_profile.DatabasePath());
    ConfigStore theirs(m_other.DatabasePath());
    std::u16string sent = *kFavoritesSlot.ReadStored(mine, 73);
    const std::u16string received = *kFavoritesSlot.ReadStored(theirs, 73);
    // Received presets are marked as coming from someone else; nothing else changes.
    const std::size_t origin = sent.rfind(u",1,0,0,20,0");
    ASSERT_NE(origin, std::u16string::npos);
    sent.replace(origin, 11, u",2,0,0,20,0");
    EXPECT_EQ(received, sent);

    EXPECT_EQ(Tool(m_other, {"import", m_scratch / "missing.oru"}).status, 1);
    EXPECT_EQ(Tool(m_profile, {"export", m_scratch / "x.oru", "900"}).status, 1);
}

TEST_F(FavoritesCommandTest, TheSlideshowOpensWithIntoTheLightThenEvolvesFavorites) {
    const ToolResult run = Tool(m_profile, {"slideshow", "--slides", "20", "--seed", "3"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_NE(lines[1].find("Into The Light"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find(" 0 evolutions"), std::string::npos) << lines[1];
    const std::regex pick(R"(^\s+\d+  (.+?)\s+(\d+) evolutions?\s+\(slot \d+\)$)");
    std::vector<std::string> names;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, pick)) << lines[i];
        const int evolutions = std::stoi(m[2]);
        EXPECT_GE(evolutions, 1);
        EXPECT_LE(evolutions, 18);
        names.push_back(m[1]);
    }
    std::sort(names.begin(), names.end());
    EXPECT_GT(std::unique(names.begin(), names.end()) - names.begin(), 12);

    // The same seed on the same stored state draws the same slides.
    testing::TempDir again;
    EXPECT_EQ(Tool(again, {"slideshow", "--slides", "20", "--seed", "3"}).out, run.out);
    EXPECT_EQ(Tool(m_profile, {"slideshow"}).status, 2);
}

}  // namespace
}  // namespace quovis
