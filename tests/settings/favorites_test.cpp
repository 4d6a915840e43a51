// Favorites: seeding a fresh and an older profile, slot states, finding, adding with the
// same-name questions, removing, and long texts that must not hide later favorites.
#include "settings/favorites.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "settings/builtin_presets.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/drawing_files.h"
#include "settings/favorite_transfer.h"
#include "tests/settings/config_test_support.h"

namespace quovis {
namespace {

// Answers the collection's questions from a script and counts them.
struct ScriptedQuestions final : FavoriteQuestions {
    std::vector<ReplaceAnswer> replaceAnswers;
    bool tickRepeat = false;
    std::vector<std::u16string> newNames;
    bool confirmRemove = true;
    int replaceAsked = 0, namesAsked = 0, removeAsked = 0;

    ReplaceAnswer AskReplace(std::u16string_view, bool inBatch, bool* repeatForAll) override {
        ++replaceAsked;
        if (inBatch) *repeatForAll = tickRepeat;
        if (replaceAnswers.empty()) return ReplaceAnswer::Cancel;
        const ReplaceAnswer a = replaceAnswers.front();
        replaceAnswers.erase(replaceAnswers.begin());
        return a;
    }
    std::optional<std::u16string> AskNewName(std::u16string_view) override {
        ++namesAsked;
        if (newNames.empty()) return std::nullopt;
        std::u16string name = newNames.front();
        newNames.erase(newNames.begin());
        return name;
    }
    bool ConfirmRemove(std::u16string_view) override {
        ++removeAsked;
        return confirmRemove;
    }
};

class FavoritesTest : public ::testing::Test {
  protected:
    FavoritesTest() { setenv("XDG_DATA_HOME", m_dir.Path().c_str(), 1); }
    ~FavoritesTest() override { unsetenv("XDG_DATA_HOME"); }

    std::u16string Slot(int n) {
        return kFavoritesSlot.ReadStored(m_store, n).value_or(u"<absent>");
    }
    PresetRecord Preset(std::u16string_view text) {
        PresetRecord r;
        EXPECT_TRUE(ReadPresetString(text, r));
        return r;
    }

    testing::TempDir m_dir;
    ConfigStore m_store{m_dir.DatabasePath()};
    std::u16string m_pictures = u"/nonexistent-pictures";
};

TEST_F(FavoritesTest, AFreshProfileGetsEveryBuiltInInOrderOnce) {
    EXPECT_EQ(CountFavorites(m_store), 0);
    ASSERT_TRUE(SeedFavorites(m_store, m_pictures));
    EXPECT_EQ(kConfigVersion.Read(m_store), kFavoritesVersion);
    EXPECT_EQ(CountFavorites(m_store), kBuiltinPresetCount);
    for (int i = 0; i < kBuiltinPresetCount; ++i) EXPECT_EQ(Slot(i), BuiltinPreset(i)) << i;
    EXPECT_EQ(Slot(kBuiltinPresetCount), u"<absent>");
    // The drawing preset's strokes are there to be shown.
    EXPECT_EQ(ReadDrawing(m_store, u"Valentine"), std::u16string(BuiltinDrawing(u"Valentine")));
    // Seeding again changes nothing, even after the user edited a slot.
    ASSERT_TRUE(kFavoritesSlot.Write(m_store, 5, u"Mine,1,2"));
    EXPECT_FALSE(SeedFavorites(m_store, m_pictures));
    EXPECT_EQ(Slot(5), u"Mine,1,2");
}

TEST_F(FavoritesTest, AnUpgradeRefreshesBuiltInsByWholeNameAndAddsTheMissingOnes) {
    ASSERT_TRUE(kConfigVersion.Write(m_store, 5));
    const std::vector<std::u16string> user = {
        u"Sunrise,1,2,1000", u"Time,3,4,5000", u"Swirl,1,5,2000", u"Beads,1,6,30000",
        u"Night,1,7,100",    u"Drops,1,8,200", u"Rays,1,9,300",   u"Haze,1,10,400",
        u"Loops,1,11,500",   u"Waves,1,12,600"};
    for (std::size_t n = 0; n < user.size(); ++n) {
        ASSERT_TRUE(kFavoritesSlot.Write(m_store, static_cast<int>(n), user[n]));
    }
    ASSERT_TRUE(SeedFavorites(m_store, m_pictures));
    EXPECT_EQ(Slot(3), BuiltinPreset(FindBuiltinPreset(u"Beads")));
    EXPECT_EQ(Slot(1), u"Time,3,4,5000") << "a user's Time is not Time Explosion";
    EXPECT_EQ(Slot(0), u"Sunrise,1,2,1000");
    // The other 72 built-ins follow in table order, Beads skipped.
    int slot = 10;
    for (int i = 0; i < kBuiltinPresetCount; ++i) {
        if (BuiltinPresetName(i) == u"Beads") continue;
        EXPECT_EQ(Slot(slot), BuiltinPreset(i)) << "slot " << slot;
        ++slot;
    }
    EXPECT_EQ(slot, 82);
    EXPECT_EQ(CountFavorites(m_store), 82);
    EXPECT_EQ(kConfigVersion.Read(m_store), kFavoritesVersion);
}

TEST_F(FavoritesTest, SlotsAreAbsentRemovedOrFilled) {
    ASSERT_TRUE(SeedFavorites(m_store, m_pictures));
    PresetRecord r;
    ASSERT_TRUE(LoadFavorite(m_store, 6, r));
    EXPECT_EQ(r.Valid, 1);
    EXPECT_EQ(r.Name, u"Beads");
    EXPECT_EQ(r.Author, kMakerAuthor);
    EXPECT_EQ(r.Location, kMakerLocation);

    ASSERT_TRUE(kFavoritesSlot.Write(m_store, 6, u"Empty"));
    ASSERT_TRUE(LoadFavorite(m_store, 6, r));
    EXPECT_EQ(r.Valid, 0) << "removed";
    EXPECT_FALSE(LoadFavorite(m_store, 500, r)) << "absent";
    EXPECT_EQ(CountFavorites(m_store), kBuiltinPresetCount) << "removed slots still count";

    // The last pattern shown is read like a favorite.
    ASSERT_TRUE(kConfigLastPattern.Write(m_store, BuiltinPreset(2)));
    ASSERT_TRUE(LoadFavorite(m_store, kLastPatternSlot, r));
    EXPECT_EQ(r.Name, BuiltinPresetName(2));
}

TEST_F(FavoritesTest, ALongStoredPresetDoesNotHideTheFavoritesAfterIt) {
    std::u16string longPreset(BuiltinPreset(0));
    longPreset.replace(0, 14, std::u16string(120, u'L'));
    longPreset.replace(longPreset.find(u",-,-,"), 5, u"," + std::u16string(200, u'a') + u",-,");
    ASSERT_GT(longPreset.size(), 255u);
    ASSERT_TRUE(kFavoritesSlot.Write(m_store, 0, BuiltinPreset(1)));
    ASSERT_TRUE(kFavoritesSlot.Write(m_store, 1, longPreset));
    ASSERT_TRUE(kFavoritesSlot.Write(m_store, 2, BuiltinPreset(2)));
    EXPECT_EQ(CountFavorites(m_store), 3);
    const std::vector<FavoriteEntry> list = ListFavorites(m_store);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].record.Name, std::u16string(120, u'L'));
    EXPECT_EQ(list[2].slot, 2);
}

TEST_F(FavoritesTest, FindingIgnoresNamesTextsAndCase) {
    ASSERT_TRUE(SeedFavorites(m_store, m_pictures));
    PresetRecord mine = Preset(BuiltinPreset(20));
    mine.Name = u"Something Else";
    mine.Author = u"Someone";
    std::u16string text;
    ASSERT_TRUE(WritePresetString(mine, true, text));
    EXPECT_EQ(FindFavorite(m_store, text), 20);
    mine.Grains += 1;
    ASSERT_TRUE(WritePresetString(mine, true, text));
    EXPECT_EQ(FindFavorite(m_store, text), -1);
    EXPECT_EQ(FindFavorite(m_store, u""), -1);
}

TEST_F(FavoritesTest, RemovingFreesTheSlotForTheNextAddition) {
    ASSERT_TRUE(SeedFavorites(m_store, m_pictures));
    const std::vector<uint8_t> all(kBuiltinPresetCount, 1);
    ASSERT_TRUE(kConfigRanArray.Write(m_store, all));
    ScriptedQuestions q;
    q.confirmRemove = false;
    EXPECT_FALSE(RemoveFavorite(m_store, 3, q));
    EXPECT_EQ(Slot(3), BuiltinPreset(3)) << "declined";
    q.confirmRemove = true;
    ASSERT_TRUE(RemoveFavorite(m_store, 3, q));
    EXPECT_EQ(Slot(3), u"Empty");
    EXPECT_EQ(kConfigRanArray.ReadStored(m_store)->at(3), 0) << "out of the slideshow";
    EXPECT_FALSE(RemoveFavorite(m_store, 3, q)) << "nothing left to remove";

    const AddFavoriteResult added =
        AddFavorite(m_store, u"My Own", Preset(BuiltinPreset(0)), nullptr, q);
    EXPECT_EQ(added.outcome, AddOutcome::Added);
    EXPECT_EQ(added.slot, 3);
    PresetRecord r;
    ASSERT_TRUE(LoadFavorite(m_store, 3, r));
    EXPECT_EQ(r.Name, u"My Own");
    EXPECT_EQ(q.replaceAsked, 0);
}

TEST_F(FavoritesTest, ASameNameAsksWhetherToReplace) {
    ASSERT_TRUE(kFavoritesSlot.Write(m_store, 0, BuiltinPreset(0)));
    ASSERT_TRUE(kFavoritesSlot.Write(m_store, 1, BuiltinPreset(6)));  // Beads
    PresetRecord candidate = Preset(BuiltinPreset(20));
    candidate.Origin = 1;

    ScriptedQuestions q;
    q.replaceAnswers = {ReplaceAnswer::Yes};
    AddFavoriteResult r = AddFavorite(m_store, u"Beads", candidate, nullptr, q);
    EXPECT_EQ(r.outcome, AddOutcome::Replaced);
    EXPECT_EQ(r.slot, 1);
    EXPECT_EQ(Preset(Slot(1)).Style, candidate.Style);
    EXPECT_EQ(FavoriteDisplayName(Preset(Slot(1))), u"Beads *");

    q.replaceAnswers = {ReplaceAnswer::No};
    q.newNames = {u"Beads Again"};
    r = AddFavorite(m_store, u"Beads", candidate, nullptr, q);
    EXPECT_EQ(r.outcome, AddOutcome::Added);
    EXPECT_EQ(r.slot, 2);
    EXPECT_EQ(Preset(Slot(2)).Name, u"Beads Again");

    q.replaceAnswers = {ReplaceAnswer::Cancel};
    r = AddFavorite(m_store, u"Beads", candidate, nullptr, q);
    EXPECT_EQ(r.outcome, AddOutcome::Cancelled);
    EXPECT_EQ(Slot(3), u"<absent>");
}

TEST_F(FavoritesTest, ABatchCanRepeatOneAnswerOrKeepEverythingThatExists) {
    ASSERT_TRUE(kFavoritesSlot.Write(m_store, 0, BuiltinPreset(0)));
    ASSERT_TRUE(kFavoritesSlot.Write(m_store, 1, BuiltinPreset(6)));
    ScriptedQuestions q;
    q.replaceAnswers = {ReplaceAnswer::Yes};
    q.tickRepeat = true;
    FavoriteBatch batch;
    batch.inBatch = true;
    for (int i : {0, 6}) {
        PresetRecord r = Preset(BuiltinPreset(i));
        r.Origin = 2;
        EXPECT_EQ(AddFavorite(m_store, r.Name, r, nullptr, q, &batch).outcome,
                  AddOutcome::Replaced);
    }
    EXPECT_EQ(q.replaceAsked, 1) << "the ticked answer is reused";
    EXPECT_EQ(FavoriteDisplayName(Preset(Slot(0))), u"Into The Light  [web]");

    FavoriteBatch keep;
    keep.inBatch = true;
    keep.repeated = ReplaceAnswer::No;
    const AddFavoriteResult kept =
        AddFavorite(m_store, u"Beads", Preset(BuiltinPreset(30)), nullptr, q, &keep);
    EXPECT_EQ(kept.outcome, AddOutcome::Kept);
    EXPECT_EQ(q.namesAsked, 0);
    EXPECT_EQ(Slot(2), u"<absent>");
}

TEST_F(FavoritesTest, AFullCollectionRefusesAnAddition) {
    ASSERT_TRUE(kConfigMaxFav.Write(m_store, 2));
    ASSERT_TRUE(kFavoritesSlot.Write(m_store, 0, BuiltinPreset(0)));
    ASSERT_TRUE(kFavoritesSlot.Write(m_store, 1, BuiltinPreset(1)));
    ScriptedQuestions q;
    EXPECT_EQ(AddFavorite(m_store, u"New", Preset(BuiltinPreset(2)), nullptr, q).outcome,
              AddOutcome::NoRoom);
}

TEST_F(FavoritesTest, ExportedFavoritesArriveElsewhereWithTheirDrawingsAndOnlyOnce) {
    ASSERT_TRUE(SeedFavorites(m_store, m_pictures));
    const std::string file = m_dir / "three.oru";
    std::string error;
    ASSERT_TRUE(ExportFavorites(m_store, file, {0, 6, 67}, error)) << error;

    testing::TempDir otherDir;
    ConfigStore other(otherDir.DatabasePath());
    ScriptedQuestions q;
    FavoritesImport first(other, q);
    const ImportReport report = ImportSettingsFile(file, true, first);
    EXPECT_EQ(report.added, 3);
    ASSERT_EQ(first.Entries().size(), 3u);
    EXPECT_EQ(first.Entries()[2].name, u"Valentine");
    PresetRecord r;
    ASSERT_TRUE(LoadFavorite(other, 2, r));
    EXPECT_EQ(r.Name, u"Valentine");
    EXPECT_EQ(r.Origin, 2);
    EXPECT_EQ(r.Author, kMakerAuthor) << "the maker's presets keep their credits";
    EXPECT_EQ(ReadDrawing(other, u"Valentine"), std::u16string(BuiltinDrawing(u"Valentine")));

    // A second import of the same file among several keeps what is there.
    FavoritesImport again(other, q);
    const ImportReport second = ImportSettingsFile(file, false, again);
    EXPECT_EQ(second.added, 0);
    EXPECT_EQ(second.kept, 3);
    EXPECT_EQ(q.replaceAsked, 0);
    EXPECT_EQ(CountFavorites(other), 3);

    EXPECT_FALSE(ExportFavorites(m_store, m_dir / "x.oru", {500}, error));
    EXPECT_FALSE(ExportFavorites(m_store, m_dir / "x.oru", {13}, error)) << "randomised";
    EXPECT_NE(error.find("randomised"), std::string::npos);
}

}  // namespace
}  // namespace quovis
