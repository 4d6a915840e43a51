// Drawing files: where they live, round trips, deletion, the older profile's values, and
// stored file names that try to leave the folder.
#include "settings/drawing_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/settings_file.h"
#include "settings/text_encoding.h"
#include "tests/settings/config_test_support.h"

namespace quovis {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class DrawingFilesTest : public ::testing::Test {
  protected:
    DrawingFilesTest() { setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1); }
    ~DrawingFilesTest() override { unsetenv("XDG_DATA_HOME"); }

    std::string Folder() const { return m_dir / "data/Ferrowick Software/Quovis"; }
    std::optional<std::u16string> StoredName(std::u16string_view escapedName) {
        return m_store.ReadText(kDrawingFilesSection, escapedName);
    }
    std::string PathOf(std::u16string_view escapedName) {
        return Folder() + "/" + Utf16ToUtf8(StoredName(escapedName).value_or(u"?"));
    }
    size_t FilesInFolder() const {
        std::error_code absent;
        return std::distance(fs::directory_iterator(Folder(), absent), fs::directory_iterator());
    }

    testing::TempDir m_dir;
    ConfigStore m_store{m_dir.DatabasePath()};
};

TEST_F(DrawingFilesTest, FolderFollowsXdgDataHomeOrHome) {
    EXPECT_EQ(DrawingFolder(), Folder());
    EXPECT_TRUE(fs::is_directory(Folder()));

    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome != nullptr ? oldHome : "";
    setenv("HOME", (m_dir / "home").c_str(), 1);
    setenv("XDG_DATA_HOME", "relative/data", 1);  // not absolute: ignored
    EXPECT_EQ(DrawingFolder(), m_dir / "home/.local/share/Ferrowick Software/Quovis");
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(DrawingFolder(), m_dir / "home/.local/share/Ferrowick Software/Quovis");
    EXPECT_TRUE(fs::is_directory(m_dir / "home/.local/share/Ferrowick Software/Quovis"));
    setenv("HOME", savedHome.c_str(), 1);
}

TEST_F(DrawingFilesTest, DrawingRoundTripsThroughItsOwnFile) {
    const std::u16string strokes = u"3,100,200,300,400,500,600,";
    ASSERT_TRUE(WriteDrawing(m_store, u"Heart, Big", &strokes));
    EXPECT_EQ(ReadDrawing(m_store, u"Heart, Big"), strokes);

    // Named by the escaped preset name, file "Draw-XXXX.oru" in the folder.
    const std::optional<std::u16string> fileName = StoredName(u"Heart\u00BB Big");
    ASSERT_TRUE(fileName);
    EXPECT_TRUE(std::regex_match(Utf16ToUtf8(*fileName), std::regex("Draw-[0-9A-F]{4}\\.oru")));
    const std::vector<uint8_t> expected = Utf16LeBytes(
        u"\uFEFF[Quovis Settings]\r\n[Draw]\r\nHeart\u00BB Big,3,100,200,300,400,500,600,\r\n");
    EXPECT_EQ(ReadBytes(PathOf(u"Heart\u00BB Big")), std::string(expected.begin(), expected.end()));

    // Rewriting keeps the file name; a second preset gets a file of its own.
    const std::u16string changed = u"1,7,7,";
    const std::u16string other = u"1,9,9,";
    ASSERT_TRUE(WriteDrawing(m_store, u"Heart, Big", &changed));
    ASSERT_TRUE(WriteDrawing(m_store, u"Other", &other));
    EXPECT_EQ(StoredName(u"Heart\u00BB Big"), fileName);
    EXPECT_NE(StoredName(u"Other"), fileName);
    EXPECT_EQ(ReadDrawing(m_store, u"Heart, Big"), changed);
    EXPECT_EQ(ReadDrawing(m_store, u"Other"), other);
    EXPECT_EQ(FilesInFolder(), 2u);  // no temporary files left behind

    // A drawing file is a settings file whose drawing loads into the engine.
    struct Host : SettingsImportHost {
        ImportOutcome AddImported(PresetRecord&, std::u16string_view, bool) override {
            return ImportOutcome::Added;
        }
        void LoadStrokes(std::u16string_view s) override { loaded = s; }
        std::u16string loaded;
    } host;
    ImportSettingsFile(PathOf(u"Other"), true, host);
    EXPECT_EQ(host.loaded, other);
}

TEST_F(DrawingFilesTest, DeletingRemovesFileAndName) {
    const std::u16string strokes = u"1,5,5,";
    ASSERT_TRUE(WriteDrawing(m_store, u"Gone", &strokes));
    const std::string path = PathOf(u"Gone");
    ASSERT_TRUE(fs::exists(path));
    EXPECT_TRUE(WriteDrawing(m_store, u"Gone", nullptr));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(StoredName(u"Gone"), std::nullopt);
    EXPECT_EQ(ReadDrawing(m_store, u"Gone"), std::nullopt);
    EXPECT_TRUE(WriteDrawing(m_store, u"Never There", nullptr));

    // A name whose file has vanished reads as no drawing.
    ASSERT_TRUE(WriteDrawing(m_store, u"Lost", &strokes));
    fs::remove(PathOf(u"Lost"));
    EXPECT_EQ(ReadDrawing(m_store, u"Lost"), std::nullopt);
}

TEST_F(DrawingFilesTest, CurrentSettingsUseTheConfigValue) {
    const std::u16string strokes = u"1,2,3,";
    ASSERT_TRUE(WriteDrawing(m_store, u"*", &strokes));
    EXPECT_EQ(kConfigDrawing.Read(m_store), strokes);
    EXPECT_EQ(ReadDrawing(m_store, u"*"), strokes);
    EXPECT_EQ(FilesInFolder(), 0u);
    EXPECT_TRUE(WriteDrawing(m_store, u"*", nullptr));
    EXPECT_EQ(ReadDrawing(m_store, u"*"), std::nullopt);
}

TEST_F(DrawingFilesTest, OlderProfilesDrawingIsReadFirstAndReplacedByAWrite) {
    const std::u16string fileStrokes = u"1,1,1,";
    ASSERT_TRUE(WriteDrawing(m_store, u"Old, One", &fileStrokes));
    ASSERT_TRUE(m_store.WriteText(kOldDrawingsSection, u"Old\u00BB One", u"1,8,8,"));
    EXPECT_EQ(ReadDrawing(m_store, u"Old, One"), u"1,8,8,");

    // Names longer than 63 characters were kept under their first 63.
    const std::u16string longName(80, u'L');
    ASSERT_TRUE(m_store.WriteText(kOldDrawingsSection, longName.substr(0, 63), u"1,6,6,"));
    EXPECT_EQ(ReadDrawing(m_store, longName), u"1,6,6,");

    // A new drawing must win over the old value, or the change would be lost.
    const std::u16string changed = u"1,2,2,";
    ASSERT_TRUE(WriteDrawing(m_store, u"Old, One", &changed));
    EXPECT_EQ(ReadDrawing(m_store, u"Old, One"), changed);
    EXPECT_TRUE(WriteDrawing(m_store, longName, nullptr));
    EXPECT_EQ(ReadDrawing(m_store, longName), std::nullopt);
}

TEST_F(DrawingFilesTest, StoredNamesNeverLeaveTheFolder) {
    // A valid drawing file outside the folder, named by a tampered store.
    const std::u16string strokes = u"1,4,4,";
    ASSERT_TRUE(WriteDrawing(m_store, u"Bait", &strokes));
    const std::string victim = m_dir / "data/Ferrowick Software/victim.oru";
    fs::copy_file(PathOf(u"Bait"), victim);
    fs::create_directories(Folder() + "/sub");
    fs::copy_file(PathOf(u"Bait"), Folder() + "/sub/x.oru");

    for (std::u16string_view bad : {u"../victim.oru", u"sub/x.oru", u"..", u".", u"/etc/passwd"}) {
        ASSERT_TRUE(m_store.WriteText(kDrawingFilesSection, u"Evil", bad));
        EXPECT_EQ(ReadDrawing(m_store, u"Evil"), std::nullopt) << Utf16ToUtf8(bad);
        EXPECT_TRUE(WriteDrawing(m_store, u"Evil", nullptr));
        EXPECT_TRUE(fs::exists(victim));
        EXPECT_TRUE(fs::exists(Folder() + "/sub/x.oru"));

        // Writing picks a fresh name in the folder instead of following the stored one.
        ASSERT_TRUE(m_store.WriteText(kDrawingFilesSection, u"Evil", bad));
        const std::u16string mine = u"1,3,3,";
        ASSERT_TRUE(WriteDrawing(m_store, u"Evil", &mine));
        EXPECT_TRUE(IsSafeDrawingFileName(StoredName(u"Evil").value()));
        EXPECT_EQ(ReadDrawing(m_store, u"Evil"), mine);
        EXPECT_EQ(ReadBytes(victim), ReadBytes(PathOf(u"Bait")));
        EXPECT_TRUE(WriteDrawing(m_store, u"Evil", nullptr));
    }

    // File names longer than 15 characters are not read back at all.
    fs::copy_file(PathOf(u"Bait"), Folder() + "/Draw-12345678.oru");
    ASSERT_TRUE(m_store.WriteText(kDrawingFilesSection, u"Long", u"Draw-12345678.oru"));
    EXPECT_EQ(ReadDrawing(m_store, u"Long"), std::nullopt);
}

TEST_F(DrawingFilesTest, ADrawingTooLargeToReadBackIsRefused) {
    const std::u16string huge = u"1," + std::u16string(70000, u'5') + u",";
    EXPECT_FALSE(WriteDrawing(m_store, u"Huge", &huge));
    EXPECT_EQ(StoredName(u"Huge"), std::nullopt);
    EXPECT_EQ(FilesInFolder(), 0u);

    // The largest list the engine holds fits.
    std::u16string full = u"4096,";
    for (int i = 0; i < 4096; ++i) full += u"100000,100000,";
    ASSERT_TRUE(WriteDrawing(m_store, std::u16string(127, u'N'), &full));
    EXPECT_EQ(ReadDrawing(m_store, std::u16string(127, u'N')), full);
}

}  // namespace
}  // namespace quovis
