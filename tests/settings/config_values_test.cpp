// The table of values: names, checks at the boundary, and the lookup quovis-tool relies on.
#include "settings/config_values.h"

#include <gtest/gtest.h>

#include <set>

#include "tests/settings/config_test_support.h"

namespace quovis {
namespace {

class ConfigValuesTest : public ::testing::Test {
  protected:
    testing::TempDir m_dir;
    ConfigStore m_store{m_dir.DatabasePath()};
};

TEST_F(ConfigValuesTest, IntegersAreCheckedAsTheyAreRead) {
    EXPECT_EQ(kConfigMaxFav.Read(m_store), 1024);
    for (const auto& [stored, expected] :
         std::vector<std::pair<int32_t, int32_t>>{{0, 1024}, {-3, 1024}, {200, 200}}) {
        ASSERT_TRUE(m_store.WriteInt(u"Config", u"MaxFav", stored));
        EXPECT_EQ(kConfigMaxFav.Read(m_store), expected) << "stored " << stored;
    }
    ASSERT_TRUE(m_store.WriteInt(u"Config", u"Resolution", 8));
    EXPECT_EQ(kConfigResolution.Read(m_store), 2);
    ASSERT_TRUE(m_store.WriteInt(u"Config", u"Deviations", 150));
    EXPECT_EQ(kConfigDeviations.Read(m_store), 99);
    ASSERT_TRUE(m_store.WriteInt(u"Config", u"FadeType", -1));
    EXPECT_EQ(kConfigFadeType.Read(m_store), 0);
    ASSERT_TRUE(m_store.WriteText(u"Config", u"TargetFPS", u"75"));  // wrong type: the default
    EXPECT_EQ(kConfigTargetFPS.Read(m_store), 60);
}

TEST_F(ConfigValuesTest, FrameRateIsWrittenClamped) {
    ASSERT_TRUE(kConfigTargetFPS.Write(m_store, 1));
    EXPECT_EQ(m_store.ReadInt(u"Config", u"TargetFPS", 0), 3);
    ASSERT_TRUE(kConfigTargetFPS.Write(m_store, 5000));
    EXPECT_EQ(m_store.ReadInt(u"Config", u"TargetFPS", 0), 1000);
    ASSERT_TRUE(kConfigTargetFPS.Write(m_store, 75));
    EXPECT_EQ(kConfigTargetFPS.Read(m_store), 75);
}

TEST_F(ConfigValuesTest, ReadOrTellsAbsenceFromAStoredValue) {
    // The engine reads "Random" with -1 to recognise a first run.
    EXPECT_EQ(kConfigRandom.ReadOr(m_store, -1), -1);
    EXPECT_FALSE(kConfigRandom.IsStored(m_store));
    ASSERT_TRUE(kConfigRandom.Write(m_store, 1));
    EXPECT_EQ(kConfigRandom.ReadOr(m_store, -1), 1);
    EXPECT_TRUE(kConfigRandom.IsStored(m_store));
    // The configuration window's own default for a value the saver defaults differently.
    EXPECT_EQ(kConfigAudioSyncSensitivity.Read(m_store), 600);
    EXPECT_EQ(kConfigAudioSyncSensitivity.ReadOr(m_store, kAudioSyncSensitivityWindowDefault), 500);
}

TEST_F(ConfigValuesTest, TextsLongerThanTheirReadersTakeAreRefusedAndReadAsDefault) {
    EXPECT_EQ(kConfigAutoSavePrefix.Read(m_store), u"Q-");
    EXPECT_FALSE(kConfigAutoSavePrefix.Write(m_store, std::u16string(64, u'p')));
    EXPECT_FALSE(m_store.ReadText(u"Config", u"AutoSavePrefix"));
    ASSERT_TRUE(kConfigAutoSavePrefix.Write(m_store, std::u16string(63, u'p')));
    EXPECT_EQ(kConfigAutoSavePrefix.Read(m_store), std::u16string(63, u'p'));

    // Preset texts are read whole: a long favorite must not read as absent, which would end
    // the scan of the collection and hide every favorite after it.
    const std::u16string longPreset = u"Long," + std::u16string(600, u'1');
    ASSERT_TRUE(m_store.WriteText(u"Config", u"Settings", longPreset));
    EXPECT_EQ(kConfigSettings.ReadStored(m_store), longPreset);
    EXPECT_TRUE(kFavoritesSlot.Write(m_store, 2, longPreset));
    EXPECT_EQ(kFavoritesSlot.ReadStored(m_store, 2), longPreset);
    EXPECT_TRUE(kFavoritesSlot.Write(m_store, 3, u"Beads,1,2"));
    EXPECT_EQ(kFavoritesSlot.ReadStored(m_store, 3), u"Beads,1,2");
    EXPECT_EQ(m_store.ReadText(u"Favorites", u"Fav003"), u"Beads,1,2");
}

TEST_F(ConfigValuesTest, RealsFollowTheirStoredText) {
    EXPECT_EQ(kConfigClockX.Read(m_store), 0.5);
    ASSERT_TRUE(m_store.WriteText(u"Config", u"ClockX", u"0.25"));
    EXPECT_EQ(kConfigClockX.Read(m_store), 0.25);
    ASSERT_TRUE(m_store.WriteInt(u"Config", u"ClockX", 1));
    EXPECT_EQ(kConfigClockX.Read(m_store), 0.5);
    ASSERT_TRUE(kAudioStat.Write(m_store, 17, 0.625));
    EXPECT_EQ(m_store.ReadText(u"Audio", u"Stat17"), u"0.625");
    EXPECT_EQ(kAudioStat.ReadOr(m_store, 17, 0.6), 0.625);
    EXPECT_EQ(kAudioStat.ReadOr(m_store, 6, 0.0), 0.0);
}

TEST(ConfigValueNames, SeriesNameTheirMembersLikePrintf) {
    EXPECT_EQ(kFavoritesSlot.Name(0), u"Fav000");
    EXPECT_EQ(kFavoritesSlot.Name(999), u"Fav999");
    EXPECT_EQ(kFavoritesSlot.Name(1000), u"Fav1000");
    EXPECT_EQ(kCommonProgramName.Name(1), u"Oru01");
    EXPECT_EQ(kCommonProgramPath.Name(15), u"Loc15");
    EXPECT_EQ(kMessagesMessage.Name(0), u"Message0");
    EXPECT_EQ(kAudioStat.Name(12), u"Stat12");
    EXPECT_EQ(kFavoritesSlot.Name(-5), u"Fav-05");
}

TEST(ConfigValueNames, EveryKnownValueIsListedOnceAndFoundByItsName) {
    std::set<std::u16string> seen;
    for (const KnownConfigValue& known : KnownConfigValues()) {
        const auto [section, name] = std::visit(
            [](const auto* value) {
                if constexpr (requires { value->prefix; }) {
                    return std::pair(std::u16string(value->section),
                                     std::u16string(value->prefix) + u"7");
                } else {
                    return std::pair(std::u16string(value->section), std::u16string(value->name));
                }
            },
            known);
        EXPECT_TRUE(seen.insert(section + u"\\" + name).second);
        const std::optional<KnownConfigValue> found = FindKnownConfigValue(section, name);
        ASSERT_TRUE(found);
        EXPECT_EQ(*found, known);
    }
    EXPECT_EQ(FindKnownConfigValue(u"config", u"targetfps"), KnownConfigValue(&kConfigTargetFPS));
    EXPECT_EQ(FindKnownConfigValue(u"Favorites", u"Fav1000"), KnownConfigValue(&kFavoritesSlot));
    EXPECT_EQ(FindKnownConfigValue(u"Favorites", u"Fav"), std::nullopt);
    EXPECT_EQ(FindKnownConfigValue(u"Favorites", u"Fav1x"), std::nullopt);
    EXPECT_EQ(FindKnownConfigValue(u"Messages", u"TargetFPS"), std::nullopt);
    // "Messages" is both a Config flag and a section; each is found where it lives.
    EXPECT_EQ(FindKnownConfigValue(u"Config", u"Messages"), KnownConfigValue(&kConfigMessages));
}

// Every value the program stores, as the store's documentation names it, with the type it is
// stored as and the default a reader gets from an empty store. Each must be a value of the
// table that the lookup finds under that name; and the table may hold nothing more, so a
// value added to it comes with its default checked here.
struct DocumentedInt {
    std::u16string_view section;
    std::u16string_view name;
    int32_t defaultValue;
};
struct DocumentedReal {
    std::u16string_view section;
    std::u16string_view name;
    double defaultValue;
};
struct DocumentedText {
    std::u16string_view section;
    std::u16string_view name;
    std::u16string_view defaultValue;
};
// Numbered values: a member's name and what it must be called.
struct DocumentedSeries {
    std::u16string_view section;
    std::u16string_view member;
    bool real;
};

constexpr DocumentedInt kDocumentedInts[] = {
    {u"Config", u"LastId", -1},        {u"Config", u"Random", 1},
    {u"Config", u"Deviations", 18},    {u"Config", u"RanCur", 0},
    {u"Config", u"Clock", 0},          {u"Config", u"Style", 0},
    {u"Config", u"ShowTitles", 1},     {u"Config", u"UseGDI", 1},
    {u"Config", u"Messages", 0},       {u"Config", u"AutoSave", 0},
    {u"Config", u"CPULimit", 97},      {u"Config", u"SlowAfter", 120},
    {u"Config", u"TargetFPS", 60},     {u"Config", u"Drift", 0},
    {u"Config", u"AudioSync", 0},      {u"Config", u"AudioSyncSensitivity", 600},
    {u"Config", u"AudioSyncQ", 300},   {u"Config", u"PrefMonitor", 0},
    {u"Config", u"Snapshots", 1},      {u"Config", u"Resolution", 2},
    {u"Config", u"FadeType", 0},       {u"Config", u"AccuratePreview", 0},
    {u"Config", u"CurrentTab", 0},     {u"Config", u"WinX", -1},
    {u"Config", u"WinY", -1},          {u"Config", u"MaxFav", 1024},
    {u"Config", u"Version", -1},       {u"Config", u"AutoSaveOru", 1},
    {u"Config", u"NextIndex", 1},      {u"Config", u"DirectDraw", -1},
    {u"Config", u"ScreenResX", -1},    {u"Config", u"ScreenResY", -1},
    {u"Config", u"ScreenResBits", -1}, {u"Messages", u"Num", 0},
    {u"Messages", u"Bold", 0},         {u"Messages", u"Italic", 0},
    {u"Messages", u"MinTime", 60},     {u"Messages", u"MaxTime", 120},
    {u"Backup", u"InUse", 0},          {u"Config", u"LibraryAccount", 0},
};

constexpr DocumentedReal kDocumentedReals[] = {
    {u"Config", u"ClockX", 0.5},
    {u"Config", u"ClockY", 0.5},
    {u"Config", u"ClockSize", 0.9},
    {u"Audio", u"AGC", 0.0},
};

// Defaults that depend on the machine (folders, the first built-in preset) are supplied by
// their readers; the table's own default for them is empty.
constexpr DocumentedText kDocumentedTexts[] = {
    {u"Config", u"Settings", u""},
    {u"Config", u"Drawing", u""},
    {u"Config", u"LastPattern", u""},
    {u"Config", u"AutoSaveDir", u""},
    {u"Config", u"AutoSavePrefix", u"Q-"},
    {u"Config", u"SaveDir", u""},
    {u"Config", u"SavePrefix", u""},
    {u"Config", u"Author", u""},
    {u"Config", u"Location", u""},
    {u"Config", u"FromWeb", u""},
    {u"Config", u"FromWebA", u""},
    {u"Config", u"FromWebL", u""},
    {u"Config", u"EULA", u""},
    {u"Config", u"MRUDir", u""},
    {u"Config", u"AudioSource", u""},
    {u"Config", u"LibraryServer", u""},
    {u"Config", u"LibraryKey", u""},
    {u"Config", u"LibraryAccountServer", u""},
    {u"Messages", u"Font", u"Arial"},
    {u"-Common", u"Me", u""},
};

constexpr DocumentedSeries kDocumentedSeries[] = {
    {u"Favorites", u"Fav000", false},  {u"Favorites", u"Fav1000", false},
    {u"Messages", u"Message0", false}, {u"Audio", u"Stat17", true},
    {u"-Common", u"Oru01", false},     {u"-Common", u"Loc15", false},
};

std::string Narrow(std::u16string_view text) {
    return std::string(text.begin(), text.end());
}

TEST_F(ConfigValuesTest, EveryDocumentedValueIsInTheTableWithItsTypeAndDefault) {
    std::set<KnownConfigValue> documented;
    for (const DocumentedInt& value : kDocumentedInts) {
        SCOPED_TRACE(Narrow(value.section) + "\\" + Narrow(value.name));
        const std::optional<KnownConfigValue> found =
            FindKnownConfigValue(value.section, value.name);
        ASSERT_TRUE(found && std::holds_alternative<const IntValue*>(*found));
        EXPECT_EQ(std::get<const IntValue*>(*found)->Read(m_store), value.defaultValue);
        documented.insert(*found);
    }
    for (const DocumentedReal& value : kDocumentedReals) {
        SCOPED_TRACE(Narrow(value.section) + "\\" + Narrow(value.name));
        const std::optional<KnownConfigValue> found =
            FindKnownConfigValue(value.section, value.name);
        ASSERT_TRUE(found && std::holds_alternative<const RealValue*>(*found));
        EXPECT_EQ(std::get<const RealValue*>(*found)->Read(m_store), value.defaultValue);
        documented.insert(*found);
    }
    for (const DocumentedText& value : kDocumentedTexts) {
        SCOPED_TRACE(Narrow(value.section) + "\\" + Narrow(value.name));
        const std::optional<KnownConfigValue> found =
            FindKnownConfigValue(value.section, value.name);
        ASSERT_TRUE(found && std::holds_alternative<const TextValue*>(*found));
        EXPECT_EQ(std::get<const TextValue*>(*found)->Read(m_store), value.defaultValue);
        documented.insert(*found);
    }
    {
        const std::optional<KnownConfigValue> found = FindKnownConfigValue(u"Config", u"RanArray");
        ASSERT_TRUE(found && std::holds_alternative<const BinaryValue*>(*found));
        EXPECT_EQ(std::get<const BinaryValue*>(*found)->ReadStored(m_store), std::nullopt);
        documented.insert(*found);
    }
    for (const DocumentedSeries& series : kDocumentedSeries) {
        SCOPED_TRACE(Narrow(series.section) + "\\" + Narrow(series.member));
        const std::optional<KnownConfigValue> found =
            FindKnownConfigValue(series.section, series.member);
        ASSERT_TRUE(found);
        EXPECT_EQ(std::holds_alternative<const RealSeries*>(*found), series.real);
        EXPECT_TRUE(series.real || std::holds_alternative<const TextSeries*>(*found));
        documented.insert(*found);
    }

    for (const KnownConfigValue& known : KnownConfigValues()) {
        const std::u16string name = std::visit(
            [](const auto* value) {
                if constexpr (requires { value->prefix; }) {
                    return std::u16string(value->section) + u"\\" + std::u16string(value->prefix);
                } else {
                    return std::u16string(value->section) + u"\\" + std::u16string(value->name);
                }
            },
            known);
        EXPECT_TRUE(documented.count(known) == 1)
            << Narrow(name) << " is in the table but not documented here";
    }
}

}  // namespace
}  // namespace quovis
