// First-run defaults, the maker's program list, the settings-file mailbox and the
// configuration backup.
#include "settings/config_lifecycle.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <map>
#include <set>

#include "settings/config_values.h"
#include "tests/settings/config_test_support.h"

namespace quovis {
namespace {

class ConfigLifecycleTest : public ::testing::Test {
  protected:
    testing::TempDir m_dir;
    ConfigStore m_store{m_dir.DatabasePath()};

    std::u16string Pictures() const {
        const std::string path = m_dir / "Pictures";
        return std::u16string(path.begin(), path.end());
    }

    void SetProgram(int slot, std::u16string_view name, std::optional<std::u16string_view> path) {
        ASSERT_TRUE(kCommonProgramName.Write(m_store, slot, name));
        if (path) {
            ASSERT_TRUE(kCommonProgramPath.Write(m_store, slot, *path));
        }
    }
};

TEST_F(ConfigLifecycleTest, FirstRunStoresDefaultsAndCreatesTheSnapshotFolder) {
    ApplyFirstRunDefaults(m_store, Pictures());
    EXPECT_EQ(kConfigVersion.ReadOr(m_store, -1), 0);
    EXPECT_EQ(kConfigAutoSaveDir.Read(m_store), Pictures() + u"/Quovis");
    EXPECT_TRUE(std::filesystem::is_directory(m_dir / "Pictures/Quovis"));
    EXPECT_EQ(m_store.ReadText(u"Config", u"AutoSavePrefix"), u"Q-");
}

TEST_F(ConfigLifecycleTest, LaterRunsKeepWhatIsStored) {
    ASSERT_TRUE(kConfigVersion.Write(m_store, 31));
    ASSERT_TRUE(kConfigAutoSavePrefix.Write(m_store, u"Art-"));
    // Longer than the snapshot writer reads, but the user's choice all the same.
    const std::u16string longFolder = u"/data/" + std::u16string(300, u'd');
    ASSERT_TRUE(m_store.WriteText(u"Config", u"AutoSaveDir", longFolder));
    ApplyFirstRunDefaults(m_store, Pictures());
    EXPECT_EQ(kConfigVersion.Read(m_store), 31);
    EXPECT_EQ(kConfigAutoSavePrefix.Read(m_store), u"Art-");
    EXPECT_EQ(m_store.ReadText(u"Config", u"AutoSaveDir"), longFolder);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "Pictures"));

    // An empty folder value is replaced; an unknown pictures folder leaves it alone.
    ASSERT_TRUE(kConfigAutoSaveDir.Write(m_store, u""));
    ApplyFirstRunDefaults(m_store, u"");
    EXPECT_EQ(kConfigAutoSaveDir.ReadStored(m_store), u"");
    ApplyFirstRunDefaults(m_store, Pictures());
    EXPECT_EQ(kConfigAutoSaveDir.Read(m_store), Pictures() + u"/Quovis");
}

TEST_F(ConfigLifecycleTest, ProgramRegistersOnceAndFollowsItsPath) {
    EXPECT_EQ(RegisterInProgramList(m_store, u"/usr/bin/quovis"), 1);
    EXPECT_EQ(RegisterInProgramList(m_store, u"/opt/quovis/quovis"), 1);
    EXPECT_EQ(kCommonProgramName.ReadStored(m_store, 1), u"Quovis");
    EXPECT_EQ(kCommonProgramPath.ReadStored(m_store, 1), u"/opt/quovis/quovis");
    EXPECT_EQ(kCommonProgramName.ReadStored(m_store, 2), std::nullopt);
}

TEST_F(ConfigLifecycleTest, ProgramTakesTheFirstFreeSlotOrNone) {
    SetProgram(1, u"Kellavar", u"/usr/bin/kellavar");
    SetProgram(2, u"quovis", u"/usr/bin/other");  // names compare case-sensitively
    SetProgram(4, u"Third", u"/usr/bin/third");
    EXPECT_EQ(RegisterInProgramList(m_store, u"/usr/bin/quovis"), 3);
    EXPECT_EQ(kCommonProgramPath.ReadStored(m_store, 2), u"/usr/bin/other");

    testing::TempDir full;
    ConfigStore store(full.DatabasePath());
    for (int slot = 1; slot <= kCommonProgramSlots; ++slot) {
        ASSERT_TRUE(kCommonProgramName.Write(store, slot, u"Other"));
    }
    EXPECT_EQ(RegisterInProgramList(store, u"/usr/bin/quovis"), 0);
    EXPECT_EQ(kCommonProgramName.ReadStored(store, 16), std::nullopt);
}

TEST_F(ConfigLifecycleTest, SettingsFileGoesToTheNextProgramThatCanTakeIt) {
    SetProgram(1, u"Quovis", u"/usr/bin/quovis");
    SetProgram(2, u"Kellavar", u"/usr/bin/kellavar");
    SetProgram(3, u"NoPath", std::nullopt);
    SetProgram(4, u"Empty", u"");
    SetProgram(5, u"Fifth", u"/usr/bin/fifth");
    SetProgram(7, u"AfterGap", u"/usr/bin/aftergap");

    const auto slotAfter = [&](int start) {
        const std::optional<ProgramSlot> found = FindProgramForSettingsFile(m_store, start);
        return found ? found->slot : 0;
    };
    EXPECT_EQ(slotAfter(0), 2);
    EXPECT_EQ(FindProgramForSettingsFile(m_store, 0)->path, u"/usr/bin/kellavar");
    EXPECT_EQ(slotAfter(2), 5);  // no path, empty path: passed over
    EXPECT_EQ(slotAfter(5), 0);  // slot 6 is free: the walk ends there
    EXPECT_EQ(slotAfter(-4), 2);
    EXPECT_EQ(slotAfter(15), 0);
    EXPECT_EQ(slotAfter(INT_MAX), 0);
    // Seen from another of the family: it passes itself over, not Quovis.
    EXPECT_EQ(FindProgramForSettingsFile(m_store, 0, u"Kellavar")->slot, 1);
    EXPECT_EQ(FindProgramForSettingsFile(m_store, 1, u"Kellavar")->slot, 5);
}

TEST_F(ConfigLifecycleTest, MailboxHandsOverAPathOnce) {
    EXPECT_EQ(TakeSettingsFilePath(m_store), std::nullopt);
    ASSERT_TRUE(PostSettingsFilePath(m_store, u"/home/u/Beads.oru"));
    EXPECT_EQ(TakeSettingsFilePath(m_store), u"/home/u/Beads.oru");
    EXPECT_EQ(TakeSettingsFilePath(m_store), std::nullopt);
    EXPECT_FALSE(PostSettingsFilePath(m_store, std::u16string(257, u'p')));
    ASSERT_TRUE(m_store.WriteText(u"-Common", u"Me", std::u16string(300, u'p')));
    EXPECT_EQ(TakeSettingsFilePath(m_store), std::nullopt);
    EXPECT_FALSE(m_store.ReadText(u"-Common", u"Me"));  // cleared all the same
}

TEST_F(ConfigLifecycleTest, BackupCopiesTheStoredValuesTheWindowMayChange) {
    ASSERT_TRUE(m_store.WriteInt(u"Backup", u"Stale", 1));
    ASSERT_TRUE(m_store.WriteInt(u"Config", u"TargetFPS", 5000));  // copied as stored
    ASSERT_TRUE(m_store.WriteInt(u"Config", u"ScreenResX", 1024));
    ASSERT_TRUE(m_store.WriteInt(u"Config", u"WinX", 10));  // not one of the backed-up values
    ASSERT_TRUE(m_store.WriteText(u"Config", u"Settings", u"*,1,2,3"));
    ASSERT_TRUE(m_store.WriteBinary(u"Config", u"RanArray", std::vector<uint8_t>{1, 0, 1}));

    ASSERT_TRUE(BackupConfig(m_store, BackupMode::Open));
    const std::vector<ConfigEntry> backup = m_store.Values(*SectionKeyForRead(u"Backup"));
    std::vector<std::u16string> names;
    for (const ConfigEntry& entry : backup) names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"InUse", u"RanArray", u"ScreenResX", u"Settings",
                                                  u"TargetFPS"}));
    EXPECT_EQ(m_store.ReadInt(u"Backup", u"TargetFPS", 0), 5000);
    EXPECT_EQ(m_store.ReadText(u"Backup", u"Settings"), u"*,1,2,3");
    EXPECT_EQ(m_store.ReadBinary(u"Backup", u"RanArray"), (std::vector<uint8_t>{1, 0, 1}));

    // Cancel refreshes the copy of a backup in use.
    ASSERT_TRUE(m_store.WriteText(u"Config", u"Drawing", u"strokes"));
    ASSERT_TRUE(BackupConfig(m_store, BackupMode::Refresh));
    EXPECT_EQ(m_store.ReadText(u"Backup", u"Drawing"), u"strokes");

    DeleteConfigBackup(m_store);
    EXPECT_FALSE(m_store.KeyExists(*SectionKeyForRead(u"Backup")));
    EXPECT_FALSE(BackupConfig(m_store, BackupMode::Refresh));
    EXPECT_FALSE(m_store.KeyExists(*SectionKeyForRead(u"Backup")));
}

TEST_F(ConfigLifecycleTest, BackupTakesExactlyTheValuesTheWindowMayChange) {
    // Every integer of Config stored (each a different number), and the three others the
    // backup takes; the copy must hold exactly these names, each with its own number.
    const std::set<std::u16string> expected = {
        u"Random",     u"AudioSync",     u"AudioSyncSensitivity",
        u"Clock",      u"ShowTitles",    u"PrefMonitor",
        u"Snapshots",  u"Resolution",    u"Deviations",
        u"Style",      u"CPULimit",      u"SlowAfter",
        u"Messages",   u"DirectDraw",    u"ScreenResX",
        u"ScreenResY", u"ScreenResBits", u"TargetFPS",
        u"CurrentTab", u"Settings",      u"RanArray",
        u"Drawing",    u"InUse",
    };
    std::map<std::u16string, int32_t> stored;
    int32_t next = 1000;
    for (const KnownConfigValue& known : KnownConfigValues()) {
        if (!std::holds_alternative<const IntValue*>(known)) continue;
        const IntValue* value = std::get<const IntValue*>(known);
        if (value->section != kConfigSection) continue;
        ASSERT_TRUE(m_store.WriteInt(kConfigSection, value->name, next));
        stored[std::u16string(value->name)] = next++;
    }
    ASSERT_TRUE(m_store.WriteText(u"Config", u"Settings", u"*,1,2,3"));
    ASSERT_TRUE(m_store.WriteText(u"Config", u"Drawing", u"strokes"));
    ASSERT_TRUE(m_store.WriteBinary(u"Config", u"RanArray", std::vector<uint8_t>{1}));
    ASSERT_TRUE(m_store.WriteText(u"Config", u"Author", u"not copied"));

    ASSERT_TRUE(BackupConfig(m_store, BackupMode::Open));
    std::set<std::u16string> names;
    for (const ConfigEntry& entry : m_store.Values(*SectionKeyForRead(u"Backup"))) {
        names.insert(entry.name);
    }
    EXPECT_EQ(names, expected);
    for (const std::u16string& name : names) {
        if (stored.count(name) == 0) continue;
        EXPECT_EQ(m_store.ReadInt(u"Backup", name, 0), stored[name])
            << std::string(name.begin(), name.end());
    }
}

TEST(ConfigBackupFailure, NothingIsCopiedWhenTheBackupCannotBeMarked) {
    testing::TempDir dir;
    std::ofstream(dir / "file") << "x";
    ConfigStore store(dir / "file" + "/registry.db");
    EXPECT_FALSE(BackupConfig(store, BackupMode::Open));
}

}  // namespace
}  // namespace quovis
