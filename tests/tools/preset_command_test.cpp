// quovis-tool preset, run as a separate process.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "settings/builtin_presets.h"
#include "settings/preset_record.h"
#include "settings/text_encoding.h"
#include "tests/tools/tool_runner.h"

namespace quovis {
namespace {

const std::string kIntoTheLight =
    "Into The Light,1,18,18999,4191,1112,11,163,7,1,1,1,0,0,0,0,98,1,6,1100,35,65,2,144,1,0,0,55,"
    "313,73,100,100,1000,500,0,886,0,-,-,0,500,0,0";

class PresetCommandTest : public ::testing::Test {
  protected:
    testing::TempDir m_dir;

    ToolResult Tool(std::vector<std::string> args) {
        args.insert(args.begin(), "preset");
        return RunTool(m_dir, m_dir.Path(), args);
    }
};

TEST_F(PresetCommandTest, NormalizePrintsTheWritersFormOfWhatWasRead) {
    const ToolResult plain = Tool({"normalize", kIntoTheLight});
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out, kIntoTheLight + ",0,20,0\n");

    // The 33rd number is the confinement; it is written rounded to a multiple of ten.
    std::string confined = kIntoTheLight;
    const std::string field = ",1000,500,0,886,";
    confined.replace(confined.find(field), field.size(), ",1000,886,0,886,");
    const ToolResult rounded = Tool({"normalize", confined});
    EXPECT_EQ(rounded.status, 0) << rounded.err;
    std::string expected = kIntoTheLight + ",0,20,0\n";
    expected.replace(expected.find(field), field.size(), ",1000,890,0,886,");
    EXPECT_EQ(rounded.out, expected);

    // A comma in a name travels escaped and a name alone gets every default.
    const ToolResult named = Tool({"normalize", "A\u00bbB"});
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(named.out.rfind("A\u00bbB,0,0,", 0), 0u) << named.out;
}

TEST_F(PresetCommandTest, NormalizeRefusesWhatIsNotAPresetWithOneLineReason) {
    for (const std::string& bad : {std::string(",1,2,3"), std::string("Name,201"),
                                   std::string("Name,-2"), std::string("")}) {
        const ToolResult r = Tool({"normalize", bad});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_TRUE(r.out.empty()) << bad;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_EQ(Tool({"normalize", "\xff\xfe"}).status, 2);
    EXPECT_EQ(Tool({"normalize"}).status, 2);
    EXPECT_EQ(Tool({"frobnicate"}).status, 2);
}

TEST_F(PresetCommandTest, RandomDrawsAFreshValidPresetEveryTime) {
    const ToolResult a = Tool({"random"});
    const ToolResult b = Tool({"random"});
    ASSERT_EQ(a.status, 0);
    ASSERT_EQ(b.status, 0);
    EXPECT_NE(a.out, b.out);
    for (const ToolResult* r : {&a, &b}) {
        const auto text = Utf8ToUtf16(r->out.substr(0, r->out.size() - 1));
        ASSERT_TRUE(text);
        PresetRecord record;
        ASSERT_TRUE(ReadPresetString(*text, record)) << r->out;
        EXPECT_EQ(record.Name, u"Complete Mystery");
        EXPECT_GE(record.Motion, 0);
        EXPECT_LE(record.Motion, 5);
        EXPECT_FALSE(IsRandomisedPreset(*text));
    }
}

TEST_F(PresetCommandTest, BuiltinListsEveryEntryAndPrintsOneByName) {
    const ToolResult list = Tool({"builtin"});
    ASSERT_EQ(list.status, 0);
    std::istringstream lines(list.out);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        EXPECT_NE(line.find(Utf16ToUtf8(BuiltinPresetName(count))), std::string::npos) << line;
        ++count;
    }
    EXPECT_EQ(count, kBuiltinPresetCount);

    const ToolResult one = Tool({"builtin", "Hubble's Eye"});
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out, Utf16ToUtf8(BuiltinPreset(FindBuiltinPreset(u"Hubble's Eye"))) + "\n");
    const ToolResult none = Tool({"builtin", "into the light"});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("no built-in preset"), std::string::npos) << none.err;
}

}  // namespace
}  // namespace quovis
