// Snapshot names and bookkeeping: numbering around existing files, numbers past four digits,
// "NextIndex" kept in a real (temporary) store, the base-name rule the settings file uses,
// and the confirmation lines.
#include "overlay/snapshot_naming.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <set>

#include "settings/config_values.h"
#include "settings/settings_file.h"
#include "tests/settings/config_test_support.h"

namespace quovis {
namespace {

// A folder that exists only as a set of names.
struct FakeFolder {
    std::set<std::string> names;
    PathExistsFn Exists() const {
        return [this](const std::string& path) { return names.count(path) != 0; };
    }
};

TEST(SnapshotFileName, FourDigitsAtLeastAndMoreWhenNeeded) {
    EXPECT_EQ(SnapshotFileName("/p", "Q-", 7, "jpg"), "/p/Q-0007.jpg");
    EXPECT_EQ(SnapshotFileName("/p", "Q-", 9999, "oru"), "/p/Q-9999.oru");
    // No leading zero is added to a five-digit number.
    EXPECT_EQ(SnapshotFileName("/p", "Q-", 10000, "jpg"), "/p/Q-10000.jpg");
    EXPECT_EQ(SnapshotFileName("/p", "Q-", 123456, "jpg"), "/p/Q-123456.jpg");
    EXPECT_EQ(SnapshotFileName("/p", "", 12, "jpg"), "/p/0012.jpg");
}

TEST(SnapshotFileName, FolderSlashesAreNotDoubledAndThePrefixStaysInTheFolder) {
    EXPECT_EQ(SnapshotFileName("/p/", "Q-", 1, "jpg"), "/p/Q-0001.jpg");
    EXPECT_EQ(SnapshotFileName("/p//", "Q-", 1, "jpg"), "/p/Q-0001.jpg");
    EXPECT_EQ(SnapshotFileName("/", "Q-", 1, "jpg"), "/Q-0001.jpg");
    EXPECT_EQ(SnapshotFileName("/p", "../../etc/x", 1, "jpg"), "/p/.._.._etc_x0001.jpg");
    EXPECT_EQ(SnapshotFileName("/p", std::string_view("a\0b", 3), 1, "jpg"), "/p/a_b0001.jpg");
}

TEST(FirstFreeSnapshotIndex, SkipsEveryNumberWhosePictureOrSettingsFileExists) {
    FakeFolder folder;
    folder.names = {"/p/Q-0001.jpg", "/p/Q-0002.jpg"};
    EXPECT_EQ(FirstFreeSnapshotIndex("/p", "Q-", 1, folder.Exists()), 3);
    // A settings file left without its picture keeps its number too.
    folder.names.insert("/p/Q-0003.oru");
    EXPECT_EQ(FirstFreeSnapshotIndex("/p", "Q-", 1, folder.Exists()), 4);
    // Other prefixes and folders do not count.
    folder.names.insert("/p/X-0004.jpg");
    folder.names.insert("/q/Q-0004.jpg");
    EXPECT_EQ(FirstFreeSnapshotIndex("/p", "Q-", 1, folder.Exists()), 4);
    // "NextIndex" ahead of the files: the search starts there.
    EXPECT_EQ(FirstFreeSnapshotIndex("/p", "Q-", 40, folder.Exists()), 40);
    // A number below 1 (a damaged store) starts at 1.
    EXPECT_EQ(FirstFreeSnapshotIndex("/p", "Q-", -5, folder.Exists()), 4);
}

TEST(FirstFreeSnapshotIndex, RunsOnPastFourDigitsAndStopsAtTheLastNumber) {
    FakeFolder folder;
    folder.names = {"/p/Q-9998.jpg", "/p/Q-9999.jpg"};
    EXPECT_EQ(FirstFreeSnapshotIndex("/p", "Q-", 9998, folder.Exists()), 10000);

    folder.names = {SnapshotFileName("/p", "Q-", INT_MAX - 1, "jpg"),
                    SnapshotFileName("/p", "Q-", INT_MAX, "jpg")};
    EXPECT_EQ(FirstFreeSnapshotIndex("/p", "Q-", INT_MAX - 1, folder.Exists()), std::nullopt);
    folder.names.erase(SnapshotFileName("/p", "Q-", INT_MAX, "jpg"));
    EXPECT_EQ(FirstFreeSnapshotIndex("/p", "Q-", INT_MAX - 1, folder.Exists()), INT_MAX);
}

TEST(PathOrLinkExists, CountsFilesFoldersAndDanglingLinks) {
    testing::TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    EXPECT_TRUE(PathOrLinkExists(dir.Path()));
    EXPECT_FALSE(PathOrLinkExists(dir / "Q-0001.jpg"));
    std::ofstream(dir / "Q-0001.jpg") << "x";
    EXPECT_TRUE(PathOrLinkExists(dir / "Q-0001.jpg"));
    // Writing through a dangling link would create a file elsewhere: the name is taken.
    std::filesystem::create_symlink(dir / "nowhere", dir / "Q-0002.jpg");
    EXPECT_TRUE(PathOrLinkExists(dir / "Q-0002.jpg"));
    EXPECT_EQ(FirstFreeSnapshotIndex(dir.Path(), "Q-", 1, PathOrLinkExists), 3);
}

class SnapshotConfigTest : public ::testing::Test {
  protected:
    testing::TempDir m_dir;
    ConfigStore m_store{m_dir.DatabasePath()};
};

TEST_F(SnapshotConfigTest, AnEmptyStoreGivesTheDefaults) {
    const SnapshotConfig config = ReadSnapshotConfig(m_store, u"/home/u/Pictures");
    EXPECT_EQ(config.folder, "/home/u/Pictures/Quovis");
    EXPECT_EQ(config.prefix, "Q-");
    EXPECT_EQ(config.nextIndex, 1);
    EXPECT_TRUE(config.writeSettingsFile);
    // The default is not stored by a snapshot; the keys do that.
    EXPECT_FALSE(kConfigAutoSaveDir.ReadStored(m_store).has_value());
    // Without a pictures folder the snapshot goes to the current folder, never to "/".
    EXPECT_EQ(ReadSnapshotConfig(m_store, u"").folder, ".");
}

TEST_F(SnapshotConfigTest, StoredValuesAreUsed) {
    ASSERT_TRUE(kConfigAutoSaveDir.Write(m_store, u"/data/snaps \u00e9"));
    ASSERT_TRUE(kConfigAutoSavePrefix.Write(m_store, u"art/"));
    ASSERT_TRUE(kConfigNextIndex.Write(m_store, 17));
    ASSERT_TRUE(kConfigAutoSaveOru.Write(m_store, 0));
    const SnapshotConfig config = ReadSnapshotConfig(m_store, u"/home/u/Pictures");
    EXPECT_EQ(config.folder, "/data/snaps \xC3\xA9");
    EXPECT_EQ(config.prefix, "art_");
    EXPECT_EQ(config.nextIndex, 17);
    EXPECT_FALSE(config.writeSettingsFile);
}

TEST_F(SnapshotConfigTest, NextIndexIsRememberedAcrossStoresAndNeverOverflows) {
    ASSERT_TRUE(StoreNextSnapshotIndex(m_store, 3));
    {
        ConfigStore reopened(m_dir.DatabasePath());
        EXPECT_EQ(ReadSnapshotConfig(reopened, u"/p").nextIndex, 4);
    }
    ASSERT_TRUE(StoreNextSnapshotIndex(m_store, 9999));
    EXPECT_EQ(kConfigNextIndex.Read(m_store), 10000);
    EXPECT_FALSE(StoreNextSnapshotIndex(m_store, INT_MAX));
    EXPECT_EQ(kConfigNextIndex.Read(m_store), 10000);
    // A stored 0 or negative number (edited by hand) reads as 1.
    ASSERT_TRUE(m_store.WriteInt(kConfigNextIndex.section, kConfigNextIndex.name, -3));
    EXPECT_EQ(ReadSnapshotConfig(m_store, u"/p").nextIndex, 1);
}

TEST(SnapshotBaseName, IsTheFileNameWithoutFolderAndExtension) {
    EXPECT_EQ(SnapshotBaseName("/home/u/Pictures/Quovis/Q-0012.jpg"), u"Q-0012");
    EXPECT_EQ(SnapshotBaseName("Q-0012.jpg"), u"Q-0012");
    EXPECT_EQ(SnapshotBaseName("/p.d/Q-0012"), u"Q-0012");
    EXPECT_EQ(SnapshotBaseName("/p/my.art.0001.jpg"), u"my.art.0001");
    EXPECT_EQ(SnapshotBaseName("/p/.0001"), u".0001");
    EXPECT_EQ(SnapshotBaseName("/p/\xC3\xA9t\xC3\xA9-0001.jpg"), u"\u00e9t\u00e9-0001");
}

// The settings file written beside a picture must name the preset by the same rule.
TEST(SnapshotPresetName, AgreesWithTheSettingsFileWriter) {
    EXPECT_EQ(SnapshotPresetName(u"Q-0012", u"Beads"), u"Q-0012 (Beads)");
    EXPECT_EQ(SnapshotPresetName(u"Q-0012", u"*Current"), u"Q-0012");
    for (std::u16string_view preset : {u"Beads", u"*", u"Star*"}) {
        SnapshotSettings settings;
        settings.lastPattern = std::u16string(preset) + u",1,18,18999";
        settings.jpegPath = "/p/Q-0012.jpg";
        const std::u16string text = BuildSnapshotSettingsText(settings);
        const std::u16string expected =
            std::u16string(u"\uFEFF[Quovis Settings]\r\n") +
            SnapshotPresetName(SnapshotBaseName(settings.jpegPath), preset) + u",1,18,18999";
        EXPECT_EQ(text.substr(0, expected.size()), expected);
    }
}

TEST(ShowSnapshotConfirmation, SaysWhereThePictureWentOrThatItWasNotSaved) {
    struct Case {
        bool saved;
        std::u16string_view line;
    };
    for (const Case& c :
         {Case{true, u"Saved screenshot to"}, Case{false, u"Could not save screenshot to"}}) {
        TextWindow window;
        window.SetTitleLines(u"\u201CSilk\u201D", u"Ann", u"Oslo");
        ShowSnapshotConfirmation(window, u"/p/Q-0003.jpg", c.saved);
        window.OnFrame(5000.0, false);
        const TextShown shown = window.Shown();
        EXPECT_EQ(shown.lines, (TextLines{u"", std::u16string(c.line), u"/p/Q-0003.jpg"}))
            << "the confirmation replaces the title while it shows";
        EXPECT_GT(shown.alpha, 0);
        EXPECT_NEAR(window.InfoFade(), 1.49, 1e-9) << "a short fade-out, no fade-in";
    }
}

}  // namespace
}  // namespace quovis
