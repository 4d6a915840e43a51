// quovis-tool config, run as a separate process against a store in a temporary folder.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "settings/config_store.h"
#include "tests/settings/config_test_support.h"
#include "tests/tools/tool_runner.h"

namespace quovis {
namespace {

class ConfigCommandTest : public ::testing::Test {
  protected:
    testing::TempDir m_dir;
    std::string m_configHome = m_dir.Path();

    ToolResult Tool(std::vector<std::string> args) {
        args.insert(args.begin(), "config");
        return RunTool(m_dir, m_configHome, args);
    }
};

TEST_F(ConfigCommandTest, SetGetDumpAndDelete) {
    EXPECT_EQ(Tool({"set", "Config", "TargetFPS", "int", "75"}).status, 0);
    const ToolResult got = Tool({"get", "Config", "TargetFPS"});
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.out, "75\n");

    ASSERT_EQ(Tool({"set", "Config", "Author", "text", "Zo\u00eb \"Z\" C:\\art"}).status, 0);
    ASSERT_EQ(Tool({"set", "-Common", "Oru01", "text", "Quovis"}).status, 0);
    const ToolResult dump = Tool({"dump", "Config"});
    EXPECT_EQ(dump.status, 0);
    EXPECT_EQ(dump.out,
              "[HKEY_CURRENT_USER\\Software\\Ferrowick Software\\Quovis\\Config]\n"
              "\"Author\"=\"Zo\u00eb \\\"Z\\\" C:\\\\art\"\n"
              "\"TargetFPS\"=dword:0000004b\n\n");
    const ToolResult all = Tool({"dump"});
    EXPECT_NE(all.out.find("[HKEY_CURRENT_USER\\Software\\Ferrowick Software\\Common]\n"
                           "\"Oru01\"=\"Quovis\"\n"),
              std::string::npos)
        << all.out;

    EXPECT_EQ(Tool({"delete", "Config", "TargetFPS"}).status, 0);
    const ToolResult missing = Tool({"get", "Config", "TargetFPS"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("not stored; Quovis uses the default 60"), std::string::npos)
        << missing.err;
    EXPECT_EQ(Tool({"delete", "Config", "TargetFPS"}).status, 1);
    const ToolResult parent = Tool({"delete", ""});
    EXPECT_EQ(parent.status, 1);
    EXPECT_NE(parent.err.find("has subkeys"), std::string::npos) << parent.err;
    EXPECT_EQ(Tool({"delete", "Config"}).status, 0);
    EXPECT_EQ(Tool({"dump", "Config"}).status, 1);
    EXPECT_EQ(Tool({"delete", "Config"}).status, 1);
}

TEST_F(ConfigCommandTest, ValuesOfEveryTypeRoundTripThroughTheStore) {
    ASSERT_EQ(Tool({"set", "Config", "ClockX", "real", "0.1"}).status, 0);
    ASSERT_EQ(Tool({"set", "Config", "WinX", "int", "-20"}).status, 0);
    ASSERT_EQ(Tool({"set", "Config", "Mask", "int", "0xffffffff"}).status, 0);
    ASSERT_EQ(Tool({"set", "Config", "RanArray", "binary-hex", "01 00,ff:7F"}).status, 0);
    ASSERT_EQ(Tool({"set", "Messages", "Message0", "text", "line one\rline two"}).status, 0);

    ConfigStore store(m_dir.DatabasePath());
    EXPECT_EQ(store.ReadReal(u"Config", u"ClockX", 0), 0.1);
    EXPECT_EQ(store.ReadInt(u"Config", u"WinX", 0), -20);
    EXPECT_EQ(store.ReadInt(u"Config", u"Mask", 0), -1);
    EXPECT_EQ(store.ReadBinary(u"Config", u"RanArray"), (std::vector<uint8_t>{1, 0, 255, 127}));
    EXPECT_EQ(store.ReadText(u"Messages", u"Message0"), u"line one\rline two");

    EXPECT_EQ(Tool({"get", "Config", "ClockX"}).out, "0.100000000000000006\n");
    EXPECT_EQ(Tool({"get", "Config", "RanArray"}).out, "0100ff7f\n");
    EXPECT_EQ(Tool({"get", "Config", "Mask"}).out, "-1\n");
    // A line break cannot stand inside quotes: the text is shown as its UTF-16 bytes.
    EXPECT_EQ(Tool({"dump", "Messages"}).out,
              "[HKEY_CURRENT_USER\\Software\\Ferrowick Software\\Quovis\\Messages]\n"
              "\"Message0\"=hex(1):6c,00,69,00,6e,00,65,00,20,00,6f,00,6e,00,65,00,0d,00,6c,"
              "00,\\\n"
              "  69,00,6e,00,65,00,20,00,74,00,77,00,6f,00,00,00\n\n");
}

TEST_F(ConfigCommandTest, LongByteListsWrapAndPasteBack) {
    std::string hex;
    for (int i = 0; i < 300; ++i) hex += "0" + std::to_string(i % 10);
    ASSERT_EQ(Tool({"set", "Config", "RanArray", "binary-hex", hex}).status, 0);
    const std::string dump = Tool({"dump", "Config"}).out;
    std::istringstream lines(dump);
    std::string line;
    std::string joined;
    while (std::getline(lines, line)) {
        EXPECT_LE(line.size(), 80u) << line;
        if (line.rfind("\"RanArray\"=", 0) == 0 || line.rfind("  ", 0) == 0) {
            joined += line.substr(line.rfind("  ", 0) == 0 ? 2 : 11);
            if (!joined.empty() && joined.back() == '\\') joined.pop_back();
        }
    }
    ASSERT_EQ(Tool({"set", "Config", "Copy", "binary-hex", joined}).status, 0);
    ConfigStore store(m_dir.DatabasePath());
    EXPECT_EQ(store.ReadBinary(u"Config", u"Copy"), store.ReadBinary(u"Config", u"RanArray"));
    EXPECT_EQ(store.ReadBinary(u"Config", u"Copy")->size(), 300u);
}

TEST_F(ConfigCommandTest, SaysWhereTheProgramWouldReadAValueDifferently) {
    const ToolResult wrongType = Tool({"set", "Config", "ClockX", "int", "1"});
    EXPECT_EQ(wrongType.status, 0);
    EXPECT_NE(wrongType.err.find("reads as the default 0.5"), std::string::npos) << wrongType.err;
    const ToolResult outOfRange = Tool({"set", "Config", "Resolution", "int", "9"});
    EXPECT_NE(outOfRange.err.find("reads 9 here as 2"), std::string::npos) << outOfRange.err;
    EXPECT_NE(Tool({"get", "Config", "Resolution"}).err.find("reads it as 2"), std::string::npos);
    const ToolResult tooLong =
        Tool({"set", "Config", "AutoSavePrefix", "text", std::string(70, 'p')});
    EXPECT_NE(tooLong.err.find("at most 63 characters"), std::string::npos) << tooLong.err;
    EXPECT_EQ(Tool({"set", "Config", "TargetFPS", "int", "75"}).err, "");
}

TEST_F(ConfigCommandTest, BadArgumentsExitWithUsage) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"frob"},
        {"get", "Config"},
        {"set", "Config", "A", "int"},
        {"set", "Config", "A", "int", "12x"},
        {"set", "Config", "A", "int", "4294967296"},
        {"set", "Config", "A", "real", "nan"},
        {"set", "Config", "A", "binary-hex", "abc"},
        {"set", "Config", "A", "float", "1"},
        {"set", "Config", "A", "text", "\xff"},
        {"set", "A\\\\B", "A", "int", "1"},
        {"delete", "Config", "A", "B"},
    };
    for (const std::vector<std::string>& args : bad) {
        const ToolResult result = Tool(args);
        std::string joined;
        for (const std::string& arg : args) joined += arg + " ";
        EXPECT_EQ(result.status, 2) << joined;
        EXPECT_NE(result.err.find("usage: quovis-tool config"), std::string::npos) << joined;
    }
    EXPECT_FALSE(std::filesystem::exists(m_dir.DatabasePath()));
}

TEST_F(ConfigCommandTest, UnwritableStoreFailsWithAMessage) {
    std::ofstream(m_dir / "file") << "x";
    m_configHome = m_dir / "file";
    const ToolResult set = Tool({"set", "Config", "TargetFPS", "int", "75"});
    EXPECT_EQ(set.status, 1);
    EXPECT_NE(set.err.find("could not store \"TargetFPS\""), std::string::npos) << set.err;
    EXPECT_EQ(Tool({"get", "Config", "TargetFPS"}).status, 1);
    EXPECT_EQ(Tool({"dump"}).status, 0);
}

TEST_F(ConfigCommandTest, DamagedStoreIsMovedAsideAndAFreshOneWorks) {
    std::filesystem::create_directories(m_dir / "Ferrowick Software");
    std::ofstream(m_dir.DatabasePath()) << std::string(4096, 'x');
    const ToolResult set = Tool({"set", "Config", "TargetFPS", "int", "75"});
    EXPECT_EQ(set.status, 0);
    EXPECT_NE(set.err.find("is damaged; moved it to"), std::string::npos) << set.err;
    EXPECT_EQ(m_dir.FilesContaining("damaged").size(), 1u);
    EXPECT_EQ(Tool({"get", "Config", "TargetFPS"}).out, "75\n");
}

}  // namespace
}  // namespace quovis
