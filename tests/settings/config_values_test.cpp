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

}  // namespace
}  // namespace quovis
